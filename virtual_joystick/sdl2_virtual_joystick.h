// A joystick that sdl12-compat reads: an SDL 2 virtual joystick, attached
// through the libSDL2 that sdl12-compat loaded into this process.
//
// SDL 2 frees every virtual joystick when its joystick subsystem stops, which
// a real device survives. So while the device is plugged in, this backend
// keeps it attached: once SDL 2's joystick subsystem runs, it holds a
// reference of its own on it (as any other SDL 2 user in the process could),
// so that the code under test stopping and starting the subsystem to list
// the devices again finds the device still there. Before SDL 2 runs it holds
// none: sdl12-compat builds its list only when it starts SDL 2's joystick
// subsystem itself.
#ifndef KELVO_VIRTUAL_JOYSTICK_SDL2_VIRTUAL_JOYSTICK_H
#define KELVO_VIRTUAL_JOYSTICK_SDL2_VIRTUAL_JOYSTICK_H

#include <cstdint>

#include "virtual_joystick/test_joystick.h"

struct Sdl2Api;

class Sdl2VirtualJoystick : public TestJoystick {
 public:
  // Attaches the device. Call before the code under test starts SDL.
  explicit Sdl2VirtualJoystick(JoystickShape shape);
  ~Sdl2VirtualJoystick() override;
  Sdl2VirtualJoystick(const Sdl2VirtualJoystick&) = delete;
  Sdl2VirtualJoystick& operator=(const Sdl2VirtualJoystick&) = delete;

  bool ok() const override;

  bool SetButton(int button, bool held) override;
  bool SetAxis(int axis, int16_t value) override;
  bool SetHat(uint8_t hatBits) override;

  // Detaches the device: SDL 2 recentres it for whoever has it open.
  bool Unplug() override;
  bool Plug(JoystickShape shape) override;

  // The name SDL reports for the device.
  static const char* Name();

 private:
  // The SDL 2 handle of the device, attaching it again if SDL 2 freed it;
  // null when unplugged or when SDL 2 cannot be reached.
  void* Handle();
  bool Attach();

  const Sdl2Api* api_;
  bool plugged_ = false;
  bool holdsSubsystem_ = false;
  void* handle_ = nullptr;
  int32_t instance_ = -1;
};

#endif
