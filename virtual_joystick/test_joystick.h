// A joystick for tests that the real SDL 1.2 in this process reads, whichever
// SDL 1.2 that is:
// - classic SDL 1.2: a FIFO carrying Linux joystick events (VirtualJoystick,
//   virtual_joystick.h);
// - sdl12-compat, the SDL 1.2 API on SDL 2: an SDL 2 virtual joystick, made
//   through the libSDL2 that sdl12-compat loaded (sdl2_virtual_joystick.h);
// - either, with KELVO_TEST_PAD=uinput: a kernel pad made through
//   /dev/uinput (uinput_device.h), read through evdev or joydev as a user's
//   pad is. The kernel stage's VM sets it; the tests are the same.
//
// Usage:
//   // Before the code under test starts SDL (sdl12-compat lists joysticks
//   // only when its joystick subsystem starts, and only if nothing started
//   // SDL 2 first):
//   std::unique_ptr<TestJoystick> stick = MakeTestJoystick(dir + "/js0", {12, 2, 1});
//   ASSERT_TRUE(stick->ok());
//   stick->SetButton(0, true);    // buttons count from 0
//   stick->SetAxis(1, -32767);
//   stick->SetHat(0x01);          // SDL_HAT_UP
//   stick->Unplug();              // the device goes away
//   stick->Plug({16, 2, 1});      // comes back, possibly with another shape
// A device plugged in while SDL's joystick subsystem runs is listed when the
// subsystem next starts from stopped, as a real one would be. Setters return
// false when the device is unplugged or the number is outside its shape.
#ifndef KELVO_VIRTUAL_JOYSTICK_TEST_JOYSTICK_H
#define KELVO_VIRTUAL_JOYSTICK_TEST_JOYSTICK_H

#include <cstdint>
#include <memory>
#include <string>

struct JoystickShape {
  int buttons;
  int axes;
  int hats;  // 0 or 1
};

class TestJoystick {
 public:
  virtual ~TestJoystick() = default;

  // Plugged in and ready to take input.
  virtual bool ok() const = 0;
  const JoystickShape& shape() const { return shape_; }

  // Button numbers count from 0; a number outside the shape is refused,
  // because SDL 1.2 would write past its button array.
  virtual bool SetButton(int button, bool held) = 0;
  virtual bool SetAxis(int axis, int16_t value) = 0;
  // SDL_HAT_* bits of hat 0.
  virtual bool SetHat(uint8_t hatBits) = 0;
  // Releases every button and centres the axes and the hat.
  bool Reset();

  // Removes the device, as pulling its cable would.
  virtual bool Unplug() = 0;
  // Attaches the device again with this shape (after Unplug, or to change
  // the shape of a plugged-in device).
  virtual bool Plug(JoystickShape shape) = 0;

 protected:
  explicit TestJoystick(JoystickShape shape) : shape_(shape) {}
  JoystickShape shape_;
};

// The SDL 1.2 implementation this process runs on, told by SDL_Linked_Version:
// sdl12-compat reports 1.2.50 or later, classic SDL 1.2.15.
enum class SdlImplementation { kClassic, kCompat };
SdlImplementation LinkedSdlImplementation();
// "classic" or "sdl12-compat".
const char* SdlImplementationName(SdlImplementation implementation);

// The joystick backend for the linked SDL: a FIFO at fifoPath on classic SDL,
// an SDL 2 virtual joystick on sdl12-compat, a uinput pad on either when the
// environment asks for kernel pads. Check ok() on the result.
std::unique_ptr<TestJoystick> MakeTestJoystick(const std::string& fifoPath, JoystickShape shape);
// The same with a device name of the test's choice: the FIFO is made under
// folder with that name (classic SDL names it by its whole path); the SDL 2
// device is given the name.
std::unique_ptr<TestJoystick> MakeNamedTestJoystick(const std::string& folder, const std::string& name,
                                                    JoystickShape shape);

#endif
