#include "virtual_joystick/virtual_joystick.h"

#include <fcntl.h>
#include <linux/joystick.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "virtual_joystick/joystick_ioctl.h"

bool WriteJoystickEvent(int fd, uint8_t type, uint8_t number, int16_t value) {
  js_event event{};
  event.type = type;
  event.number = number;
  event.value = value;
  return WriteAll(fd, &event, sizeof(event));
}

bool WriteAll(int fd, const void* data, size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

VirtualJoystick::VirtualJoystick(const std::string& path, JoystickShape shape)
    : TestJoystick(shape), path_(path) {
  MakeFifo(shape);
}

VirtualJoystick::~VirtualJoystick() { RemoveFifo(); }

bool VirtualJoystick::Plug(JoystickShape shape) { return MakeFifo(shape); }

bool VirtualJoystick::Unplug() { return RemoveFifo(); }

bool VirtualJoystick::MakeFifo(JoystickShape shape) {
  RemoveFifo();
  shape_ = shape;
  if (mkfifo(path_.c_str(), 0600) != 0) return false;
  // Opened for reading and writing so that SDL's read-only open never waits
  // for a writer, and so that the FIFO never reports end of file.
  fd_ = open(path_.c_str(), O_RDWR | O_CLOEXEC);
  if (fd_ < 0) return false;
  kelvo_vjoy_register_fifo(path_.c_str(), shape_.buttons, shape_.axes + 2 * shape_.hats);
  setenv("SDL_JOYSTICK_DEVICE", path_.c_str(), 1);
  const std::string counts =
      "'" + path_ + "' " + std::to_string(shape_.axes) + " " + std::to_string(shape_.hats) + " 0";
  setenv("SDL_LINUX_JOYSTICK", counts.c_str(), 1);
  return true;
}

// The node goes before the writer closes: once it is gone no open can
// find it, whereas a reader opening it between the close and the removal
// would wait for a writer that never comes.
bool VirtualJoystick::RemoveFifo() {
  kelvo_vjoy_unregister_fifo(path_.c_str());
  const bool wasPlugged = fd_ >= 0;
  unlink(path_.c_str());
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  return wasPlugged;
}

bool VirtualJoystick::Send(uint8_t type, uint8_t number, int16_t value) {
  return fd_ >= 0 && WriteJoystickEvent(fd_, type, number, value);
}

bool VirtualJoystick::SetButton(int button, bool held) {
  if (button < 0 || button >= shape_.buttons) return false;
  return Send(JS_EVENT_BUTTON, static_cast<uint8_t>(button), held ? 1 : 0);
}

bool VirtualJoystick::SetAxis(int axis, int16_t value) {
  if (axis < 0 || axis >= shape_.axes) return false;
  return Send(JS_EVENT_AXIS, static_cast<uint8_t>(axis), value);
}

void HatAxisValues(uint8_t hatBits, int16_t* x, int16_t* y) {
  *x = static_cast<int16_t>((hatBits & kHatLeft) ? -32767 : (hatBits & kHatRight) ? 32767 : 0);
  *y = static_cast<int16_t>((hatBits & kHatUp) ? -32767 : (hatBits & kHatDown) ? 32767 : 0);
}

uint8_t HatBitsFromAxes(int16_t x, int16_t y) {
  return static_cast<uint8_t>((x < 0   ? kHatLeft
                               : x > 0 ? kHatRight
                                       : 0) |
                              (y < 0   ? kHatUp
                               : y > 0 ? kHatDown
                                       : 0));
}

bool WriteHatEvents(int fd, const JoystickShape& shape, uint8_t hatBits) {
  if (shape.hats < 1) return false;
  int16_t x, y;
  HatAxisValues(hatBits, &x, &y);
  const uint8_t first = static_cast<uint8_t>(shape.axes);
  return WriteJoystickEvent(fd, JS_EVENT_AXIS, first, x) &&
         WriteJoystickEvent(fd, JS_EVENT_AXIS, static_cast<uint8_t>(first + 1), y);
}

bool VirtualJoystick::SetHat(uint8_t hatBits) { return fd_ >= 0 && WriteHatEvents(fd_, shape_, hatBits); }
