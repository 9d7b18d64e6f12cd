// kelvo-host --commands: commands on standard input, one a line, read on a
// thread of their own. "vjoy ..." lines go to the gamepad and "sleep S"
// pauses the reading, both at once whatever the main loop is doing (a
// message box or a capture may be running a main loop of its own); every
// other line queues for the main loop and runs there in the order read.
#ifndef KELVO_HOST_COMMAND_CHANNEL_H
#define KELVO_HOST_COMMAND_CHANNEL_H

#include <string>

struct CommandHandlers {
  void (*gamepad)(const std::string& line);  // the line after "vjoy "
  void (*mainLoop)(const std::string& line);
  void (*endOfInput)();  // on the main loop
};

void StartCommandChannel(const CommandHandlers& handlers);

#endif
