// The one place where a test's expectation differs between classic SDL 1.2
// and sdl12-compat, each with the reason. Everything else the joystick suites
// check is expected alike on both.
#ifndef KELVO_TESTS_SUPPORT_SDL_DIFFERENCES_H
#define KELVO_TESTS_SUPPORT_SDL_DIFFERENCES_H

#include "virtual_joystick/test_joystick.h"
#include "virtual_joystick/uinput_device.h"

struct SdlDifferences {
  // SDL12COMPAT_USE_GAME_CONTROLLERS=1 is a user setting of sdl12-compat: it
  // then shows a game controller in SDL 2's controller layout, 22 buttons,
  // 7 axes and no hat, and lists no other joystick. Classic SDL has no such
  // setting.
  bool gameControllerSettingHidesTheHat;
  // Classic SDL's read of a removed device fails at the next update, so the
  // plug-in sees the removal in that poll; SDL 2 reports a removal to whoever
  // asks, which the plug-in does at its next device check, a few
  // milliseconds later.
  bool removalSeenInTheNextPoll;
  // Only classic SDL on the simulated pad reads the joystick through a file
  // the test made (the FIFO), so only there can a test see SDL holding it
  // open; a kernel pad's node is the kernel's.
  bool joystickReadThroughTheTestsFifo;
  // Classic SDL's open reads the pad's name by opening its node a second
  // time and uses the name unchecked: a node that goes between the two opens
  // (microseconds) crashes SDL, and no caller of SDL can prevent it. A test
  // unplugging at random while another thread polls keeps its unplugs out of
  // the plug-in's calls there; SDL 2 opens a pad once and checks.
  bool crashesIfAPadGoesWhileOpening;
};

inline SdlDifferences ExpectedDifferences(SdlImplementation sdl) {
  const bool classic = sdl == SdlImplementation::kClassic;
  SdlDifferences expected{};
  expected.gameControllerSettingHidesTheHat = !classic;
  expected.removalSeenInTheNextPoll = classic;
  expected.joystickReadThroughTheTestsFifo = classic && !UinputPadsRequested();
  expected.crashesIfAPadGoesWhileOpening = classic;
  return expected;
}

// The differences for the SDL this process loaded.
inline SdlDifferences ExpectedDifferences() { return ExpectedDifferences(LinkedSdlImplementation()); }

#endif
