#include "host/command_channel.h"

#include <glib.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

namespace {

CommandHandlers handlers;
std::mutex queueLock;
std::deque<std::string> queue;

gboolean RunQueued(gpointer) {
  std::string line;
  {
    std::lock_guard<std::mutex> hold(queueLock);
    if (queue.empty()) return FALSE;
    line = std::move(queue.front());
    queue.pop_front();
  }
  handlers.mainLoop(line);
  return FALSE;
}

gboolean EndOfInput(gpointer) {
  handlers.endOfInput();
  return FALSE;
}

void ReadCommands() {
  char buffer[8192];
  while (std::fgets(buffer, sizeof(buffer), stdin) != nullptr) {
    std::string line = buffer;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.compare(0, 5, "vjoy ") == 0) {
      handlers.gamepad(line.substr(5));
    } else if (line.compare(0, 6, "sleep ") == 0) {
      g_usleep(static_cast<gulong>(std::atof(line.c_str() + 6) * 1e6));
    } else if (!line.empty()) {
      {
        std::lock_guard<std::mutex> hold(queueLock);
        queue.push_back(line);
      }
      g_idle_add(RunQueued, nullptr);
    }
  }
  g_idle_add(EndOfInput, nullptr);
}

}  // namespace

void StartCommandChannel(const CommandHandlers& given) {
  handlers = given;
  std::thread(ReadCommands).detach();
}
