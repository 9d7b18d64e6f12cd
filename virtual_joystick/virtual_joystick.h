// A joystick that the real SDL 1.2 reads: a FIFO named in SDL_JOYSTICK_DEVICE
// carrying Linux joystick events. SDL lists it as joystick 0 at its next
// joystick scan; its counts come from SDL_LINUX_JOYSTICK and from the ioctl
// answers of joystick_ioctl.c. A hat is fed by the two axes after the real ones.
#ifndef KELVO_VIRTUAL_JOYSTICK_VIRTUAL_JOYSTICK_H
#define KELVO_VIRTUAL_JOYSTICK_VIRTUAL_JOYSTICK_H

#include <cstdint>
#include <string>

struct JoystickShape {
  int buttons;
  int axes;
  int hats;  // 0 or 1
};

class VirtualJoystick {
 public:
  // Creates the FIFO at path and points SDL's environment at it. Call before
  // SDL's joystick subsystem starts (or restarts).
  VirtualJoystick(const std::string& path, JoystickShape shape);
  ~VirtualJoystick();
  VirtualJoystick(const VirtualJoystick&) = delete;
  VirtualJoystick& operator=(const VirtualJoystick&) = delete;

  bool ok() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }
  const JoystickShape& shape() const { return shape_; }

  // Button numbers count from 0; a number outside the shape is refused,
  // because SDL 1.2 would write past its button array.
  bool SetButton(int button, bool held);
  bool SetAxis(int axis, int16_t value);
  // SDL_HAT_* bits of hat 0.
  bool SetHat(uint8_t hatBits);
  // Releases every button and centres the axes and the hat.
  bool Reset();

 private:
  bool Send(uint8_t type, uint8_t number, int16_t value);

  std::string path_;
  JoystickShape shape_;
  int fd_ = -1;
};

// Writes one Linux joystick event to an open joystick FIFO.
bool WriteJoystickEvent(int fd, uint8_t type, uint8_t number, int16_t value);

// The values of the two axes that stand for a hat with these SDL_HAT_* bits:
// x from Left/Right, y from Up/Down, each -32767, 0 or 32767.
void HatAxisValues(uint8_t hatBits, int16_t* x, int16_t* y);

#endif
