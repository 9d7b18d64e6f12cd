// The on-screen gamepad, kelvo-vjoy, as a child process. It writes into the
// virtual joystick's FIFO itself; the host talks to it through its standard
// input and reads its standard output, which it passes on line by line.
#ifndef KELVO_HOST_GAMEPAD_PROCESS_H
#define KELVO_HOST_GAMEPAD_PROCESS_H

#include <sys/types.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

class GamepadProcess {
 public:
  // onLine gets each line the gamepad prints, and onEnd is called once it
  // has ended, however it ended (closed, killed, or stopped by Stop). Both
  // run on a thread of the gamepad's own.
  GamepadProcess(void (*onLine)(const std::string&), void (*onEnd)()) : onLine_(onLine), onEnd_(onEnd) {}
  ~GamepadProcess() { Stop(); }
  GamepadProcess(const GamepadProcess&) = delete;
  GamepadProcess& operator=(const GamepadProcess&) = delete;

  // Starts program with these arguments (after the program's name), unless
  // the gamepad runs already. False, with the reason printed, on failure.
  bool Start(const std::string& program, const std::vector<std::string>& arguments);
  // Ends the gamepad: its input is closed, at which it quits by itself; one
  // that does not within five seconds (a loaded machine, an emulator) is
  // terminated. Waits until it has ended.
  void Stop();
  bool running() const;
  // Passes one command line to the gamepad; false when it is not running or
  // does not listen. Any thread; never waits for the main loop.
  bool Tell(const std::string& line);

 private:
  void Watch(pid_t pid, int output);

  void (*onLine_)(const std::string&);
  void (*onEnd_)();
  mutable std::mutex lock_;  // guards pid_ and input_
  pid_t pid_ = -1;
  int input_ = -1;
  std::thread watcher_;
};

#endif
