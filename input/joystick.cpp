#include "input/joystick.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <mutex>

#include "input/device_watch.h"
#include "input/key_map.h"
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

// Set once the plug-in has switched on; a joystick that comes and goes is
// then followed by the polls. Cleared when the host stops or restarts SDL's
// joystick subsystem: nothing is opened again until the next switch-on.
bool following = false;

// Whether joy is still the joystick SDL has open as device 0. Asked at every
// poll without a system call: a host that stops SDL's joystick subsystem
// frees the joystick, and one that starts it again gets a new one (which
// SDL_JoystickOpen returns while it is open, without opening anything).
bool StillOpen() {
  if (joy == nullptr || !SDL_WasInit(SDL_INIT_JOYSTICK) || !SDL_JoystickOpened(0)) return false;
  SDL_Joystick* current = SDL_JoystickOpen(0);
  SDL_JoystickClose(current);
  return current == joy;
}

void CloseJoystick() {
  if (StillOpen()) SDL_JoystickClose(joy);
  joy = nullptr;
}

// The host stopped or restarted SDL's joystick subsystem: its joystick is
// gone, and nothing is opened again until the next switch-on.
void LeaveToTheHost() {
  joy = nullptr;
  following = false;
  ForgetJoystickSubsystem();
  StopWatchingDevices();
}

// Lists the joysticks again (restarting the subsystem only if the plug-in
// started it) and opens the first.
void ListAndOpen() {
  CloseJoystick();
  if (!ListJoysticks()) return;
  KeepJoystickEventsOnlyForAReader();
  joy = OpenFirstJoystickAndWatch();
}

void CheckDevicesNow() {
  if (joy != nullptr && OpenedDeviceReplaced()) return LeaveToTheHost();
  KeepJoystickEventsOnlyForAReader();
  switch (CheckDevices(joy != nullptr)) {
    case DeviceChange::kGone:
      CloseJoystick();
      break;
    case DeviceChange::kArrived:
      ListAndOpen();
      break;
    case DeviceChange::kNone:
      break;
  }
}

// Keeps joy pointing at a live joystick: cheap checks at every poll, the
// device checks when due, or always (force).
void FollowDevices(bool force) {
  if (joy != nullptr && !StillOpen()) return LeaveToTheHost();
  if (following && (force || DeviceCheckDue(joy != nullptr))) CheckDevicesNow();
}

// Updates the open joystick; returns whether it is still there. On classic
// SDL the update reads the device until nothing is left (EAGAIN): a read
// ending otherwise may mean the device is gone, checked at once. The host's
// errno is left as it was.
bool UpdateJoystick() {
  const int hostErrno = errno;
  errno = 0;
  SDL_JoystickUpdate();
  const bool readEndedOtherwise = errno != EAGAIN;
  errno = hostErrno;
  if (readEndedOtherwise && following && !RunningOnSdl2() && FailedReadCheckDue()) CheckDevicesNow();
  return joy != nullptr;
}

// A live joystick stays open through a switch-on, held keys and all; a dead
// one, or none, makes the plug-in list the joysticks afresh. Returns whether
// a joystick is open and, through found, how many SDL lists.
bool SwitchOnJoystick(int* found) {
  JoyGuard guard(joyLock);
  FollowDevices(true);
  following = true;
  if (joy == nullptr) ListAndOpen();
  *found = SDL_WasInit(SDL_INIT_JOYSTICK) ? SDL_NumJoysticks() : 0;
  return joy != nullptr;
}

}  // namespace

int32_t KelvoClass::Init() {
  int found = 0;
  // The message box waits for the user, so it comes after the lock is released.
  if (!SwitchOnJoystick(&found)) Message("Error %i opening the joystick", found);
  LoadConf();
  return 1;
}

int32_t KelvoClass::Run(unsigned long* padWord) {
  if (padWord == nullptr) return 0;
  unsigned long word = *padWord;
  {
    JoyGuard guard(joyLock);
    FollowDevices(false);
    const bool readable = joy != nullptr && UpdateJoystick();
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

    const int buttons = readable ? SDL_JoystickNumButtons(joy) : 0;
    // Buttons below 64 already read in this poll, and which of those are
    // held. (A button past 64, which no pad has in practice, is read per key.)
    uint64_t read = 0, held = 0;
    for (int key = 0; key < KEY_COUNT; ++key) {
      const int32_t b = btn[key];
      if (b < 1 || b > buttons) continue;  // no usable button: the host's bit stays
      const int index = b - 1;
      bool down;
      if (index < 64) {
        const uint64_t mask = uint64_t{1} << index;
        if ((read & mask) == 0) {
          read |= mask;
          if (SDL_JoystickGetButton(joy, index)) held |= mask;
        }
        down = (held & mask) != 0;
      } else {
        down = SDL_JoystickGetButton(joy, index) != 0;
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
  FollowDevices(true);
  if (joy == nullptr) return NO_JOYSTICK_TO_READ;
  const int buttons = SDL_JoystickNumButtons(joy);
  if (buttons <= 0 || !UpdateJoystick()) return NO_JOYSTICK_TO_READ;
  for (int i = 0; i < buttons; ++i) {
    if (SDL_JoystickGetButton(joy, i)) return i;
  }
  return NO_BUTTON_HELD;
}

uint64_t HeldButtons() {
  JoyGuard guard(joyLock);
  FollowDevices(false);
  if (joy == nullptr || !UpdateJoystick()) return 0;
  const int buttons = std::min(SDL_JoystickNumButtons(joy), 64);
  uint64_t held = 0;
  for (int i = 0; i < buttons; ++i) {
    if (SDL_JoystickGetButton(joy, i)) held |= uint64_t{1} << i;
  }
  return held;
}

bool OpenJoystickName(char* name, size_t size) {
  if (size == 0) return false;
  name[0] = '\0';
  JoyGuard guard(joyLock);
  FollowDevices(false);
  const char* sdlName = joy != nullptr ? SDL_JoystickName(0) : nullptr;
  if (joy == nullptr) return false;
  std::snprintf(name, size, "%s", sdlName != nullptr ? sdlName : "");
  return true;
}

void ReleaseJoystickAtUnload() {
  JoyGuard guard(joyLock);
  // A host that already stopped or restarted SDL has closed the joystick.
  if (joy != nullptr && (!StillOpen() || OpenedDeviceReplaced())) LeaveToTheHost();
  CloseJoystick();
  following = false;
  StopWatchingDevices();
  LeaveSdlAsFound();
}
