#include "virtual_joystick/uinput_device.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "virtual_joystick/virtual_joystick.h"

namespace {

bool WriteEvent(int fd, int type, int code, int value) {
  input_event event{};
  event.type = static_cast<uint16_t>(type);
  event.code = static_cast<uint16_t>(code);
  event.value = value;
  return WriteAll(fd, &event, sizeof(event));
}

// The event and joystick nodes under the device's sysfs folder.
std::vector<std::string> NodesOf(int fd) {
  std::vector<std::string> nodes;
  char sysname[64] = {};
  if (ioctl(fd, UI_GET_SYSNAME(sizeof(sysname) - 1), sysname) < 0) return nodes;
  const std::string folder = std::string("/sys/devices/virtual/input/") + sysname;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return nodes;
  while (const dirent* entry = readdir(dir)) {
    if (std::strncmp(entry->d_name, "event", 5) == 0 || std::strncmp(entry->d_name, "js", 2) == 0) {
      nodes.push_back(std::string("/dev/input/") + entry->d_name);
    }
  }
  closedir(dir);
  return nodes;
}

}  // namespace

bool UinputDevice::Create(const UinputLayout& layout) {
  Destroy();
  const int fd = open("/dev/uinput", O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  uinput_user_dev setup{};
  std::snprintf(setup.name, sizeof(setup.name), "%s", layout.name.c_str());
  setup.id.bustype = BUS_VIRTUAL;
  setup.id.vendor = 0x1209;
  setup.id.product = 0x4b56;
  setup.id.version = 1;
  bool ok = true;
  if (!layout.keys.empty()) ok = ok && ioctl(fd, UI_SET_EVBIT, EV_KEY) == 0;
  for (int key : layout.keys) ok = ok && ioctl(fd, UI_SET_KEYBIT, key) == 0;
  if (!layout.rels.empty()) ok = ok && ioctl(fd, UI_SET_EVBIT, EV_REL) == 0;
  for (int rel : layout.rels) ok = ok && ioctl(fd, UI_SET_RELBIT, rel) == 0;
  if (!layout.abs.empty()) ok = ok && ioctl(fd, UI_SET_EVBIT, EV_ABS) == 0;
  for (const UinputLayout::Abs& abs : layout.abs) {
    ok = ok && ioctl(fd, UI_SET_ABSBIT, abs.code) == 0;
    setup.absmin[abs.code] = abs.minimum;
    setup.absmax[abs.code] = abs.maximum;
  }
  ok = ok && WriteAll(fd, &setup, sizeof(setup)) && ioctl(fd, UI_DEV_CREATE) == 0;
  if (!ok) {
    close(fd);
    return false;
  }
  fd_ = fd;
  nodes_ = NodesOf(fd);
  return true;
}

bool UinputDevice::Destroy() {
  if (fd_ < 0) return false;
  ioctl(fd_, UI_DEV_DESTROY);
  close(fd_);
  fd_ = -1;
  nodes_.clear();
  return true;
}

bool UinputDevice::Emit(int type, int code, int value) {
  return fd_ >= 0 && WriteEvent(fd_, type, code, value) && WriteEvent(fd_, EV_SYN, SYN_REPORT, 0);
}

int UinputButtonCode(int button) {
  // BTN_DIGI and above until BTN_TRIGGER_HAPPY are a tablet's or a remote's.
  constexpr int kJoystickRange = BTN_DIGI - BTN_JOYSTICK;
  return button < kJoystickRange ? BTN_JOYSTICK + button : BTN_TRIGGER_HAPPY + (button - kJoystickRange);
}

UinputJoystick::UinputJoystick(JoystickShape shape, std::string name)
    : TestJoystick(shape), name_(std::move(name)) {
  Create(shape);
}

bool UinputJoystick::Plug(JoystickShape shape) { return Create(shape); }

bool UinputJoystick::Create(JoystickShape shape) {
  device_.Destroy();
  shape_ = shape;
  UinputLayout layout;
  layout.name = name_;
  for (int b = 0; b < shape.buttons && b < kUinputMaxButtons; ++b) layout.keys.push_back(UinputButtonCode(b));
  layout.abs = {{ABS_X, -32768, 32767}, {ABS_Y, -32768, 32767}};
  if (shape.hats > 0) {
    layout.abs.push_back({ABS_HAT0X, -1, 1});
    layout.abs.push_back({ABS_HAT0Y, -1, 1});
  }
  // Classic SDL reading the joydev node learns the hat from this setting;
  // on an event node it reads the hat from the device itself.
  const std::string counts = "'" + name_ + "' 2 " + std::to_string(shape.hats) + " 0";
  setenv("SDL_LINUX_JOYSTICK", counts.c_str(), 1);
  return device_.Create(layout);
}

bool UinputJoystick::Unplug() { return device_.Destroy(); }

bool UinputJoystick::SetButton(int button, bool held) {
  if (button < 0 || button >= shape_.buttons || button >= kUinputMaxButtons) return false;
  return device_.Emit(EV_KEY, UinputButtonCode(button), held ? 1 : 0);
}

bool UinputJoystick::SetAxis(int axis, int16_t value) {
  if (axis < 0 || axis >= shape_.axes) return false;
  return device_.Emit(EV_ABS, axis == 0 ? ABS_X : ABS_Y, value);
}

bool UinputJoystick::SetHat(uint8_t hatBits) {
  if (shape_.hats < 1) return false;
  int16_t x, y;
  HatAxisValues(hatBits, &x, &y);
  return device_.Emit(EV_ABS, ABS_HAT0X, x / 32767) && device_.Emit(EV_ABS, ABS_HAT0Y, y / 32767);
}

UinputLayout UinputKeyboardLayout() {
  UinputLayout layout;
  layout.name = "Kelvo uinput keyboard";
  for (int key = KEY_ESC; key <= KEY_KPDOT; ++key) layout.keys.push_back(key);
  return layout;
}

UinputLayout UinputMouseLayout() {
  UinputLayout layout;
  layout.name = "Kelvo uinput mouse";
  layout.keys = {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE};
  layout.rels = {REL_X, REL_Y, REL_WHEEL};
  return layout;
}

bool UinputPadsRequested() {
  const char* pad = std::getenv("KELVO_TEST_PAD");
  return pad != nullptr && std::strcmp(pad, "uinput") == 0;
}
