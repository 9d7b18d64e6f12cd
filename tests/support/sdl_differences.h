// The one place where a test's expectation differs between classic SDL 1.2
// and sdl12-compat, each with the reason. Everything else the joystick suites
// check is expected alike on both.
#ifndef KELVO_TESTS_SUPPORT_SDL_DIFFERENCES_H
#define KELVO_TESTS_SUPPORT_SDL_DIFFERENCES_H

#include "virtual_joystick/test_joystick.h"

struct SdlDifferences {
  // SDL12COMPAT_USE_GAME_CONTROLLERS=1 is a user setting of sdl12-compat: it
  // then shows a game controller in SDL 2's controller layout, 22 buttons,
  // 7 axes and no hat, and lists no other joystick. Classic SDL has no such
  // setting.
  bool gameControllerSettingHidesTheHat;
};

inline SdlDifferences ExpectedDifferences(SdlImplementation sdl) {
  SdlDifferences expected{};
  expected.gameControllerSettingHidesTheHat = sdl == SdlImplementation::kCompat;
  return expected;
}

#endif
