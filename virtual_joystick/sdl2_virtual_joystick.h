// A joystick that sdl12-compat reads: an SDL 2 virtual joystick, attached
// through the libSDL2 that sdl12-compat loaded into this process.
//
// SDL 2 frees every virtual joystick when its joystick subsystem stops
// (someone's last SDL_QuitSubSystem), where a real device would be listed
// again at the next start. The backend then attaches the device again at its
// next use, and SDL lists it when its joystick subsystem next starts from
// stopped. It never starts SDL itself: sdl12-compat would then list nothing
// when the code under test starts it.
#ifndef KELVO_VIRTUAL_JOYSTICK_SDL2_VIRTUAL_JOYSTICK_H
#define KELVO_VIRTUAL_JOYSTICK_SDL2_VIRTUAL_JOYSTICK_H

#include <cstdint>
#include <string>

#include "virtual_joystick/test_joystick.h"

struct Sdl2Api;

class Sdl2VirtualJoystick : public TestJoystick {
 public:
  // Attaches the device. Call before the code under test starts SDL. A game
  // controller is a device SDL 2 maps to its standard controller layout.
  // Without a name the device has Name().
  explicit Sdl2VirtualJoystick(JoystickShape shape, bool gameController = false, const char* name = nullptr);
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
  bool Detach();

  const Sdl2Api* api_;
  bool gameController_;
  std::string name_;
  bool plugged_ = false;
  void* handle_ = nullptr;
  int32_t instance_ = -1;
};

#endif
