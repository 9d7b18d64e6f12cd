// The joystick the on-screen gamepad drives. The gamepad, a process of its
// own, writes Linux joystick events into a FIFO that the host makes:
// - on classic SDL 1.2, SDL reads that FIFO as joystick 0;
// - on sdl12-compat, which reads no FIFO, the host attaches an SDL 2 virtual
//   joystick in its own process and relays the FIFO's events to it.
// Every call into SDL 2 is made with sdlLock held, the lock under which the
// host polls the plug-in.
#ifndef KELVO_HOST_GAMEPAD_JOYSTICK_H
#define KELVO_HOST_GAMEPAD_JOYSTICK_H

#include <memory>
#include <mutex>
#include <string>

#include "virtual_joystick/joystick_relay.h"
#include "virtual_joystick/virtual_joystick.h"

class GamepadJoystick {
 public:
  // Makes the joystick at folder/js0. Call before the plug-in starts SDL's
  // joystick subsystem, which lists the devices once. False, and nothing
  // made, on failure.
  bool Make(const std::string& folder, JoystickShape shape, std::mutex* sdlLock);
  ~GamepadJoystick() { Remove(); }

  bool made() const { return fifo_ != nullptr; }
  bool plugged() const { return fifo_ != nullptr && fifo_->ok(); }
  const std::string& fifoPath() const { return fifo_->path(); }
  const JoystickShape& shape() const { return fifo_->shape(); }
  // What the host shows for it: the name SDL reports (classic SDL names a
  // FIFO joystick by its path), marked as the virtual gamepad.
  std::string Describe() const;

  // As a pulled cable: the device goes away (the FIFO's node and the host's
  // writer; the SDL 2 joystick detached).
  void Unplug();
  // The device again, with the same shape.
  bool Plug();
  // Lets go of every button, axis and hat.
  void Reset();
  void Remove();

 private:
  std::unique_ptr<VirtualJoystick> fifo_;
  std::unique_ptr<TestJoystick> sdl2_;  // on sdl12-compat only
  JoystickRelay relay_;
  std::mutex* sdlLock_ = nullptr;
};

#endif
