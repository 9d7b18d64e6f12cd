// Replays the Linux joystick events written into a joystick FIFO on another
// joystick. This is how the on-screen gamepad, a process of its own that
// writes such events, drives an SDL 2 virtual joystick, which exists only
// inside the process that attached it: that process relays. Buttons and axes
// go across as they are; the two axes after the real ones stand for the hat,
// as on classic SDL's FIFO joystick (WriteHatEvents).
#ifndef KELVO_VIRTUAL_JOYSTICK_JOYSTICK_RELAY_H
#define KELVO_VIRTUAL_JOYSTICK_JOYSTICK_RELAY_H

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "virtual_joystick/test_joystick.h"

class JoystickRelay {
 public:
  JoystickRelay() = default;
  ~JoystickRelay() { Stop(); }
  JoystickRelay(const JoystickRelay&) = delete;
  JoystickRelay& operator=(const JoystickRelay&) = delete;

  // Reads fifo on a thread of its own and calls target's setters, each with
  // lock held (whoever else uses target, or the SDL behind it, holds it too).
  // False when the FIFO cannot be opened. Restarts a relay that runs.
  bool Start(const std::string& fifo, TestJoystick* target, std::mutex* lock);
  // Ends the thread (within a tenth of a second) and closes the FIFO.
  void Stop();
  bool running() const { return thread_.joinable(); }

 private:
  void Loop();
  void Replay(uint8_t type, uint8_t number, int16_t value);

  int fd_ = -1;
  TestJoystick* target_ = nullptr;
  std::mutex* lock_ = nullptr;
  int16_t hatX_ = 0, hatY_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

#endif
