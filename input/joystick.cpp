#include "input/joystick.h"

#include <cstdint>
#include <mutex>

#include "input/key_map.h"
#include "plugin/kelvo_class.h"
#include "plugin/message.h"

namespace {

struct Direction {
  unsigned long padBit;
  Uint8 hatBit;
  int axis;
  bool towardNegative;  // held at or below -threshold, else at or above +threshold
};

// Up, Down, Left, Right.
constexpr Direction kDirections[4] = {
    {0x40, SDL_HAT_UP, 1, true},
    {0x80, SDL_HAT_DOWN, 1, false},
    {0x20, SDL_HAT_LEFT, 0, true},
    {0x10, SDL_HAT_RIGHT, 0, false},
};

// SDL_JoystickUpdate walks SDL's joystick list, which only exists while the
// joystick subsystem runs; without an open joystick nothing may be asked.
bool JoystickReadable() { return joy != nullptr && SDL_WasInit(SDL_INIT_JOYSTICK) != 0; }

// Opens device 0, listing the joysticks again first when none is open, so
// that one plugged in after an earlier switch-on is found. Returns whether a
// joystick is open and, through found, how many SDL lists.
bool OpenFirstJoystick(int* found) {
  JoyGuard guard(joyLock);
  if (SDL_WasInit(SDL_INIT_JOYSTICK) && !(joy != nullptr && SDL_JoystickOpened(0))) {
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    joy = nullptr;
  }
  SDL_Init(SDL_INIT_JOYSTICK);
  if (!SDL_WasInit(SDL_INIT_JOYSTICK)) {
    joy = nullptr;
    *found = 0;
    return false;
  }
  joy = SDL_JoystickOpen(0);
  *found = SDL_NumJoysticks();
  return SDL_JoystickOpened(0) != 0;
}

}  // namespace

int32_t KelvoClass::Init() {
  int found = 0;
  // The message box waits for the user, so it comes after the lock is released.
  if (!OpenFirstJoystick(&found)) Message("Error %i opening the joystick", found);
  LoadConf();
  return 1;
}

int32_t KelvoClass::Run(unsigned long* padWord) {
  unsigned long word = *padWord;
  {
    JoyGuard guard(joyLock);
    const bool readable = JoystickReadable();
    if (readable) SDL_JoystickUpdate();
    // 64-bit so that negating any stored threshold is defined.
    const int64_t threshold = axis_thresh;

    for (const Direction& d : kDirections) {
      bool held = readable && (SDL_JoystickGetHat(joy, 0) & d.hatBit) != 0;
      if (!held) {
        const int64_t value = readable ? SDL_JoystickGetAxis(joy, d.axis) : 0;
        held = d.towardNegative ? value <= -threshold : value >= threshold;
      }
      word = held ? (word & ~d.padBit) : (word | d.padBit);
    }

    const int buttons = readable ? SDL_JoystickNumButtons(joy) : 0;
    for (int key = 0; key < KEY_COUNT; ++key) {
      const int32_t b = btn[key];
      if (b < 1 || b > buttons) continue;  // no usable button: the host's bit stays
      // Widened before inverting, so the host's upper bits of a 64-bit word stay.
      const unsigned long bit = btnVal[key];
      word = SDL_JoystickGetButton(joy, b - 1) ? (word & ~bit) : (word | bit);
    }
  }
  *padWord = word;
  return 1;
}

int PollLowestHeldButton() {
  JoyGuard guard(joyLock);
  if (!JoystickReadable()) return NO_JOYSTICK_TO_READ;
  const int buttons = SDL_JoystickNumButtons(joy);
  if (buttons <= 0) return NO_JOYSTICK_TO_READ;
  SDL_JoystickUpdate();
  for (int i = 0; i < buttons; ++i) {
    if (SDL_JoystickGetButton(joy, i)) return i;
  }
  return NO_BUTTON_HELD;
}
