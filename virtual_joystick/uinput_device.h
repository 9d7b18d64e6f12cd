// Kernel input devices made through /dev/uinput: a pad that both SDL 1.2s
// read through the kernel's own drivers (evdev and joydev), and a keyboard
// and a mouse that come and go beside it. Creating a device is plugging it
// in (devtmpfs makes its /dev/input nodes before UI_DEV_CREATE returns);
// destroying it is pulling it out (its nodes are removed).
//
// Only where /dev/uinput exists and this process may write it: the kernel
// stage's VM (scripts/kernel-test), chosen by KELVO_TEST_PAD=uinput.
#ifndef KELVO_VIRTUAL_JOYSTICK_UINPUT_DEVICE_H
#define KELVO_VIRTUAL_JOYSTICK_UINPUT_DEVICE_H

#include <cstdint>
#include <string>
#include <vector>

#include "virtual_joystick/test_joystick.h"

// What a device reports: its name and the event codes it has.
struct UinputLayout {
  std::string name;
  std::vector<int> keys;  // EV_KEY codes
  std::vector<int> rels;  // EV_REL codes
  struct Abs {
    int code, minimum, maximum;
  };
  std::vector<Abs> abs;
};

class UinputDevice {
 public:
  UinputDevice() = default;
  ~UinputDevice() { Destroy(); }
  UinputDevice(const UinputDevice&) = delete;
  UinputDevice& operator=(const UinputDevice&) = delete;

  bool Create(const UinputLayout& layout);
  // True when a device was there to destroy.
  bool Destroy();
  bool created() const { return fd_ >= 0; }

  // One event followed by a report (EV_SYN), as a driver sends it.
  bool Emit(int type, int code, int value);
  // The device's /dev/input nodes (eventN, and jsN for a pad), from sysfs.
  const std::vector<std::string>& nodes() const { return nodes_; }

 private:
  int fd_ = -1;
  std::vector<std::string> nodes_;
};

// The pad's button codes: SDL 1.2 and SDL 2 on evdev and the kernel's joydev
// all number buttons in code order from BTN_JOYSTICK, so button i is the
// i-th code of the joystick range (BTN_JOYSTICK, 32 codes) followed by the
// extra buttons (BTN_TRIGGER_HAPPY, 40 codes).
constexpr int kUinputMaxButtons = 72;
int UinputButtonCode(int button);

// A pad of the test shape. Both stick axes are always there: SDL and udev
// list an input device as a joystick only with ABS_X and ABS_Y, so a
// one-axis shape keeps ABS_Y centred. On classic SDL's joydev path the hat
// is two axes after the stick, which SDL_LINUX_JOYSTICK names for the pad.
class UinputJoystick : public TestJoystick {
 public:
  explicit UinputJoystick(JoystickShape shape, std::string name = DefaultName());

  bool ok() const override { return device_.created(); }
  bool SetButton(int button, bool held) override;
  bool SetAxis(int axis, int16_t value) override;
  bool SetHat(uint8_t hatBits) override;
  bool Unplug() override;
  bool Plug(JoystickShape shape) override;

  const std::vector<std::string>& nodes() const { return device_.nodes(); }
  static std::string DefaultName() { return "Kelvo uinput pad"; }

 private:
  // Makes the device afresh with this shape (Plug, which the constructor
  // must not call: it is virtual).
  bool Create(JoystickShape shape);

  std::string name_;
  UinputDevice device_;
};

UinputLayout UinputKeyboardLayout();
UinputLayout UinputMouseLayout();

// The environment asks for kernel pads (KELVO_TEST_PAD=uinput).
bool UinputPadsRequested();

#endif
