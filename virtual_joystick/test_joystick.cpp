#include "virtual_joystick/test_joystick.h"

#include <dlfcn.h>

#include "virtual_joystick/sdl2_virtual_joystick.h"
#include "virtual_joystick/uinput_device.h"
#include "virtual_joystick/virtual_joystick.h"

bool TestJoystick::Reset() {
  bool all = true;
  for (int b = 0; b < shape_.buttons; ++b) all = SetButton(b, false) && all;
  for (int a = 0; a < shape_.axes; ++a) all = SetAxis(a, 0) && all;
  if (shape_.hats > 0) all = SetHat(0) && all;
  return all;
}

SdlImplementation LinkedSdlImplementation() {
  // The SDL 1.2 the plug-in will load: the same soname, found the same way.
  struct Version {
    uint8_t major, minor, patch;
  };
  static const SdlImplementation linked = [] {
    void* library = dlopen("libSDL-1.2.so.0", RTLD_NOW | RTLD_GLOBAL);
    auto linkedVersion = library != nullptr
                             ? reinterpret_cast<const Version* (*)()>(dlsym(library, "SDL_Linked_Version"))
                             : nullptr;
    const Version* version = linkedVersion != nullptr ? linkedVersion() : nullptr;
    return version != nullptr && version->major == 1 && version->minor == 2 && version->patch >= 50
               ? SdlImplementation::kCompat
               : SdlImplementation::kClassic;
  }();
  return linked;
}

const char* SdlImplementationName(SdlImplementation implementation) {
  return implementation == SdlImplementation::kCompat ? "sdl12-compat" : "classic";
}

std::unique_ptr<TestJoystick> MakeTestJoystick(const std::string& fifoPath, JoystickShape shape) {
  if (UinputPadsRequested()) return std::make_unique<UinputJoystick>(shape);
  if (LinkedSdlImplementation() == SdlImplementation::kCompat) {
    return std::make_unique<Sdl2VirtualJoystick>(shape);
  }
  return std::make_unique<VirtualJoystick>(fifoPath, shape);
}

std::unique_ptr<TestJoystick> MakeNamedTestJoystick(const std::string& folder, const std::string& name,
                                                    JoystickShape shape) {
  if (LinkedSdlImplementation() == SdlImplementation::kCompat) {
    return std::make_unique<Sdl2VirtualJoystick>(shape, false, name.c_str());
  }
  return std::make_unique<VirtualJoystick>(folder + "/" + name, shape);
}
