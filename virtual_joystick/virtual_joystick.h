// A joystick that classic SDL 1.2 reads: a FIFO named in SDL_JOYSTICK_DEVICE
// carrying Linux joystick events. SDL lists it as joystick 0 at its next
// joystick scan; its counts come from SDL_LINUX_JOYSTICK and from the ioctl
// answers of joystick_ioctl.c. A hat is fed by the two axes after the real ones.
// Unplugged, the FIFO's node is removed and its writer closed: SDL's next
// read of it fails and a new scan no longer finds it.
#ifndef KELVO_VIRTUAL_JOYSTICK_VIRTUAL_JOYSTICK_H
#define KELVO_VIRTUAL_JOYSTICK_VIRTUAL_JOYSTICK_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "virtual_joystick/test_joystick.h"

// SDL_HAT_* bits, for code that does not include SDL.
constexpr uint8_t kHatUp = 0x01, kHatRight = 0x02, kHatDown = 0x04, kHatLeft = 0x08;

class VirtualJoystick : public TestJoystick {
 public:
  // Creates the FIFO at path and points SDL's environment at it. Call before
  // SDL's joystick subsystem starts (or restarts).
  VirtualJoystick(const std::string& path, JoystickShape shape);
  ~VirtualJoystick() override;
  VirtualJoystick(const VirtualJoystick&) = delete;
  VirtualJoystick& operator=(const VirtualJoystick&) = delete;

  bool ok() const override { return fd_ >= 0; }
  const std::string& path() const { return path_; }

  bool SetButton(int button, bool held) override;
  bool SetAxis(int axis, int16_t value) override;
  bool SetHat(uint8_t hatBits) override;

  // Removes the FIFO's node, then closes the writer.
  bool Unplug() override;
  // Makes the FIFO again at the same path with this shape.
  bool Plug(JoystickShape shape) override;

 private:
  bool MakeFifo(JoystickShape shape);
  bool RemoveFifo();
  bool Send(uint8_t type, uint8_t number, int16_t value);

  std::string path_;
  int fd_ = -1;
};

// Writes one Linux joystick event to an open joystick FIFO.
bool WriteJoystickEvent(int fd, uint8_t type, uint8_t number, int16_t value);

// Writes all of data to fd, going on after a signal; false on a failure.
bool WriteAll(int fd, const void* data, size_t size);

// Writes the two axis events that set hat 0 of a joystick of this shape to
// these SDL_HAT_* bits; false when the shape has no hat or the write fails.
bool WriteHatEvents(int fd, const JoystickShape& shape, uint8_t hatBits);

// The values of the two axes that stand for a hat with these SDL_HAT_* bits:
// x from Left/Right, y from Up/Down, each -32767, 0 or 32767.
void HatAxisValues(uint8_t hatBits, int16_t* x, int16_t* y);
// The other way: the SDL_HAT_* bits that two such axis values stand for.
uint8_t HatBitsFromAxes(int16_t x, int16_t y);

#endif
