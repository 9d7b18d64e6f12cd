#include "input/joystick.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "input/key_map.h"
#include "input/pad_backend.h"
#include "input/sdl_session.h"
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

// Classic SDL's own open crashes when the descriptor it takes is the last
// one the process may have; the watch on device folders needs one more.
constexpr int kSpareDescriptors = 3;

// Set by a switch-on: the polls then follow a joystick that comes and goes.
// Cleared when the host stops or restarts SDL's joystick subsystem.
bool following = false;
// The process that switched the plug-in on. A forked child inherits the flag
// but neither SDL's threads nor the lock's holder: it leaves both alone.
pid_t switchedOnIn = 0;
// SDL's name for the pad opened: classic SDL opens the device for every
// SDL_JoystickName, so it is asked once.
char openedName[128] = "";

// Whether joy is still the joystick SDL has open as device 0: a host that
// stops SDL's joystick subsystem frees it, and one that starts it again gets
// a new one (which SDL_JoystickOpen returns, without opening anything, while
// it is open). The one test of SDL being as the plug-in left it.
bool StillOurs() {
  if (joy == nullptr) return true;
  if (pads.listGoneWhileStopped && !SDL_WasInit(SDL_INIT_JOYSTICK)) return false;
  if (!SDL_JoystickOpened(0)) return false;
  SDL_Joystick* current = SDL_JoystickOpen(0);
  SDL_JoystickClose(current);
  return current == joy;
}

void LeaveToTheHost() {
  joy = nullptr;
  following = false;
  ForgetJoystickSubsystem();
  pads.Forget(false);
}

// Opens and closes descriptors of its own: no other way tells how many the
// process may still open without reading /proc.
bool DescriptorsToSpare() {
  int fds[kSpareDescriptors];
  int opened = 0;
  while (opened < kSpareDescriptors && (fds[opened] = open("/", O_PATH | O_CLOEXEC)) >= 0) ++opened;
  for (int i = 0; i < opened; ++i) close(fds[i]);
  return opened == kSpareDescriptors;
}

// Opens joystick 0 when SDL lists one, and follows it.
SDL_Joystick* OpenFirstAndFollow() {
  SDL_Joystick* opened = SDL_NumJoysticks() > 0 ? SDL_JoystickOpen(0) : nullptr;
  const char* name = opened != nullptr ? SDL_JoystickName(0) : nullptr;
  std::snprintf(openedName, sizeof(openedName), "%s", name != nullptr ? name : "");
  if (!pads.Follow(opened != nullptr, name) && opened != nullptr) {
    SDL_JoystickClose(opened);
    opened = nullptr;
  }
  return opened;
}

// Lists the joysticks again (restarting the subsystem only if the plug-in
// started it) and opens the first. Returns false when descriptors ran short.
bool ListAndOpen() {
  if (joy != nullptr) SDL_JoystickClose(joy);
  joy = nullptr;
  if (!DescriptorsToSpare()) {
    pads.ListLater();
    return false;
  }
  if (ListJoysticks()) {
    KeepJoystickEventsOnlyForAReader();
    joy = OpenFirstAndFollow();
  }
  return true;
}

// Keeps joy on a live joystick and updates it; with look, the devices are
// checked now rather than when the clock says. Returns whether there is a
// joystick to read.
bool FollowAndUpdate(bool look) {
  if (!StillOurs()) LeaveToTheHost();
  // A pad is open only while following.
  if (following && pads.UpdateAndLook(joy != nullptr, look)) {
    ListAndOpen();
    if (joy != nullptr) SDL_JoystickUpdate();
  }
  return joy != nullptr;
}

// A live joystick stays open through a switch-on, held keys and all; a dead
// one, or none, makes the plug-in list the joysticks afresh. Returns whether
// a joystick is open; otherwise found and advice tell why.
bool SwitchOnJoystick(int* found, char* advice, size_t size) {
  if (AnotherCopyLoadedFirst()) {
    std::snprintf(
        advice, size,
        "Another copy of the Kelvo plug-in is already loaded in this program: this copy stays off.");
    return false;
  }
  JoyGuard guard(joyLock);
  switchedOnIn = getpid();
  FollowAndUpdate(true);
  following = true;
  const bool spare = joy != nullptr || ListAndOpen();
  *found = spare && SDL_WasInit(SDL_INIT_JOYSTICK) ? SDL_NumJoysticks() : 0;
  if (joy != nullptr) return true;
  const char* reason = SDL_GetError();
  if (!spare) {
    reason =
        "Too few file descriptors are left in this program to open a joystick. "
        "Close some files or windows: the plug-in tries again by itself.";
  } else if (*found == 0) {
    reason = "No joystick was found. Plug one in: the plug-in picks it up by itself.";
  } else if (reason == nullptr || reason[0] == '\0') {
    reason = "it went away as it was opened.";
  }
  std::snprintf(advice, size, "%s%s", spare && *found > 0 ? "Joystick 0 could not be opened: " : "", reason);
  return false;
}

}  // namespace

int32_t KelvoClass::Init() {
  int found = 0;
  char advice[256];
  // The message box waits for the user, so it comes after the lock is released.
  if (!SwitchOnJoystick(&found, advice, sizeof(advice))) {
    MessageWithAdvice(advice, "Error %i opening the joystick", found);
  }
  LoadConf();
  return 1;
}

int32_t KelvoClass::Run(unsigned long* padWord) {
  if (padWord == nullptr) return 0;
  unsigned long word = *padWord;
  {
    JoyGuard guard(joyLock);
    const bool readable = FollowAndUpdate(false);
    // A stick at rest is never a direction, whatever threshold was stored.
    // 64-bit so that negating any stored threshold is defined.
    const int64_t threshold = std::max<int64_t>(axis_thresh, 1);

    // Each input is read once per poll, so the word is one moment's state
    // even when the pad changes mid-poll (SDL 2 recentres a removed pad on
    // whichever thread removes it).
    const Uint8 hat = readable ? SDL_JoystickGetHat(joy, 0) : SDL_HAT_CENTERED;
    const int64_t axes[2] = {readable ? SDL_JoystickGetAxis(joy, 0) : 0,
                             readable ? SDL_JoystickGetAxis(joy, 1) : 0};
    for (const Direction& d : kDirections) {
      const int64_t value = axes[d.axis];
      const bool held =
          (hat & d.hatBit) != 0 || (d.towardNegative ? value <= -threshold : value >= threshold);
      word = held ? (word & ~d.padBit) : (word | d.padBit);
    }

    const uint32_t buttons = readable ? static_cast<uint32_t>(std::max(SDL_JoystickNumButtons(joy), 0)) : 0;
    // Buttons up to 64 already read in this poll, and which of those are
    // held: keys sharing a button read alike even when another thread (a
    // host pumping SDL's events) updates the pad mid-poll. A button past 64,
    // which no pad has in practice, is read per key.
    uint64_t read = 0, held = 0;
    for (int key = 0; key < KEY_COUNT; ++key) {
      // From 0; a number of 0 or less wraps past every count.
      const uint32_t b = static_cast<uint32_t>(btn[key]) - 1u;
      if (b >= buttons) continue;  // no usable button: the host's bit stays
      bool down;
      if (b < 64) {
        const uint64_t mask = uint64_t{1} << b;
        if ((read & mask) == 0) {
          read |= mask;
          if (SDL_JoystickGetButton(joy, static_cast<int>(b)) != 0) held |= mask;
        }
        down = (held & mask) != 0;
      } else {
        down = SDL_JoystickGetButton(joy, static_cast<int>(b)) != 0;
      }
      // Widened before inverting, so the host's upper bits of a 64-bit word stay.
      const unsigned long bit = btnVal[key];
      word = down ? (word & ~bit) : (word | bit);
    }
  }
  *padWord = word;
  return 1;
}

int PollLowestHeldButton() {
  JoyGuard guard(joyLock);
  // Checked every time: a capture must never take a button from a pad that
  // was unplugged a moment ago.
  const int buttons = FollowAndUpdate(true) ? SDL_JoystickNumButtons(joy) : 0;
  for (int i = 0; i < buttons; ++i) {
    if (SDL_JoystickGetButton(joy, i)) return i;
  }
  return buttons > 0 ? NO_BUTTON_HELD : NO_JOYSTICK_TO_READ;
}

uint64_t HeldButtons() {
  JoyGuard guard(joyLock);
  const int buttons = FollowAndUpdate(false) ? std::min(SDL_JoystickNumButtons(joy), 64) : 0;
  uint64_t held = 0;
  for (int i = 0; i < buttons; ++i) held |= uint64_t{SDL_JoystickGetButton(joy, i) != 0} << i;
  return held;
}

bool OpenJoystickName(char* name, size_t size) {
  if (size == 0) return false;
  name[0] = '\0';
  JoyGuard guard(joyLock);
  if (!FollowAndUpdate(false)) return false;
  std::snprintf(name, size, "%s", openedName);
  return true;
}

bool FollowingJoysticks() {
  JoyGuard guard(joyLock);
  return following;
}

void ReleaseJoystickAtUnload() {
  if (switchedOnIn != getpid()) return;
  JoyGuard guard(joyLock);
  if (!StillOurs()) LeaveToTheHost();
  if (joy != nullptr) SDL_JoystickClose(joy);
  joy = nullptr;
  following = false;
  LeaveSdlAsFound();
}
