#include "host/gamepad_process.h"

#include <fcntl.h>
#include <glib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "host/say.h"

namespace {

// In the child, before it runs the gamepad: the signals this process blocks
// (to read them from a signalfd) are not the gamepad's to block.
void UnblockSignals(gpointer) {
  sigset_t none;
  sigemptyset(&none);
  pthread_sigmask(SIG_SETMASK, &none, nullptr);
}

}  // namespace

bool GamepadProcess::Start(const std::string& program, const std::vector<std::string>& arguments) {
  if (running()) return true;
  if (watcher_.joinable()) watcher_.join();
  std::vector<gchar*> argv(arguments.size() + 2, nullptr);
  argv[0] = const_cast<gchar*>(program.c_str());
  std::transform(arguments.begin(), arguments.end(), argv.begin() + 1,
                 [](const std::string& argument) { return const_cast<gchar*>(argument.c_str()); });
  GPid pid = 0;
  gint input = -1, output = -1;
  GError* error = nullptr;
  const GSpawnFlags flags = static_cast<GSpawnFlags>(
      G_SPAWN_DO_NOT_REAP_CHILD | (program.find('/') == std::string::npos ? G_SPAWN_SEARCH_PATH : 0));
  if (!g_spawn_async_with_pipes(nullptr, argv.data(), nullptr, flags, UnblockSignals, nullptr, &pid, &input,
                                &output, nullptr, &error)) {
    Say("gamepad: cannot start %s: %s", program.c_str(), error ? error->message : "?");
    if (error) g_error_free(error);
    return false;
  }
  fcntl(input, F_SETFD, FD_CLOEXEC);
  fcntl(output, F_SETFD, FD_CLOEXEC);
  {
    std::lock_guard<std::mutex> hold(lock_);
    pid_ = pid;
    input_ = input;
  }
  Say("gamepad: pid %d", static_cast<int>(pid));
  watcher_ = std::thread(&GamepadProcess::Watch, this, static_cast<pid_t>(pid), output);
  return true;
}

// Passes the gamepad's lines on until its output ends, then waits for it.
// A thread of its own, so that this goes on whatever the main loop is doing.
void GamepadProcess::Watch(pid_t pid, int output) {
  FILE* lines = fdopen(output, "r");
  char buffer[1024];
  while (lines != nullptr && std::fgets(buffer, sizeof(buffer), lines) != nullptr) {
    std::string line = buffer;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    onLine_(line);
  }
  if (lines != nullptr) std::fclose(lines);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  {
    std::lock_guard<std::mutex> hold(lock_);
    pid_ = -1;
    if (input_ >= 0) close(input_);
    input_ = -1;
  }
  if (WIFSIGNALED(status)) Say("gamepad: ended by signal %d", WTERMSIG(status));
  onEnd_();
}

void GamepadProcess::Stop() {
  pid_t pid = -1;
  {
    std::lock_guard<std::mutex> hold(lock_);
    pid = pid_;
    if (input_ >= 0) close(input_);
    input_ = -1;
  }
  if (pid >= 0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (running() && std::chrono::steady_clock::now() < deadline) g_usleep(10000);
    std::lock_guard<std::mutex> hold(lock_);
    if (pid_ >= 0) kill(pid_, SIGTERM);
  }
  if (watcher_.joinable()) watcher_.join();
}

bool GamepadProcess::running() const {
  std::lock_guard<std::mutex> hold(lock_);
  return pid_ >= 0;
}

bool GamepadProcess::Tell(const std::string& line) {
  std::lock_guard<std::mutex> hold(lock_);
  if (input_ < 0) return false;
  const std::string text = line + "\n";
  return write(input_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}
