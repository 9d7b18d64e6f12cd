// How a pad is listed, opened and followed: classic SDL 1.2 and sdl12-compat
// (SDL 1.2 on SDL 2) differ in each. Neither tells a program that a pad came
// or went, since SDL 1.2's joystick list is fixed when its subsystem starts,
// so each side keeps track in its own way, in a file of its own
// (classic_pads.cpp, compat_pads.cpp). The library chooses one when it
// loads. Every function is called with joyLock held.
#ifndef KELVO_INPUT_PAD_BACKEND_H
#define KELVO_INPUT_PAD_BACKEND_H

#include <SDL.h>

#include <cstdint>
#include <ctime>

struct PadBackend {
  // Classic SDL's joystick list is gone while its subsystem is stopped, so
  // SDL_WasInit is asked first; sdl12-compat's answers anyway.
  bool listGoneWhileStopped;
  // The subsystem runs, started by someone else, yet SDL 1.2 lists fewer
  // pads than there are.
  bool (*ListMissing)();
  // Stops and starts the plug-in's own joystick subsystem, so that SDL lists
  // the pads afresh. Returns whether it runs.
  bool (*Restart)();
  // Starts following the joystick just opened as device 0 (if opened) under
  // SDL's name for it. False when it went as it opened.
  bool (*Follow)(bool opened, const char* name);
  // Updates the open pad, if any, and says whether to list again: it went,
  // or with none open, one may have arrived. With look, the devices are
  // looked at now rather than at the next tick.
  bool (*UpdateAndLook)(bool padOpen, bool look);
  // Listing had to stop short (too few descriptors): list again in about a
  // second.
  void (*ListLater)();
  // Stops following; at unload also lets go of what it loaded.
  void (*Forget)(bool unloading);
};

// The side for the SDL 1.2 that this process runs.
extern const PadBackend& pads;
extern const PadBackend classicPads;
extern const PadBackend compatPads;

// The devices are looked at about once per tick, from the polls themselves.
// The one clock of these looks: coarse monotonic time, read without a system
// call.
struct DeviceLooks {
  static constexpr int64_t kTickNs = 4000000;
  // A node just made may not be ready (udev sets its permissions after).
  static constexpr int64_t kSettleNs = 20000000;
  static constexpr int64_t kRetryNs = 1000000000;

  static int64_t Now() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
  }
  // With a pad open on classic SDL, whose reads tell of it going, the clock
  // is read at every 16th poll only.
  bool SkipClock(bool padOpen, bool look) { return padOpen && !look && ++polls % 16 != 0; }
  // Whether a look is due at now; with look, always.
  bool Due(int64_t now, bool look) {
    if (!look && now - lastLook < kTickNs) return false;
    lastLook = now;
    return true;
  }
  void ListAfter(int64_t now, int64_t delay) {
    if (listAt < 0 || now + delay < listAt) listAt = now + delay;
  }
  // Whether a listing asked for earlier is due; it is then taken.
  bool ListDue(int64_t now) {
    if (listAt < 0 || now < listAt) return false;
    listAt = -1;
    return true;
  }
  void Reset() { *this = DeviceLooks(); }

  int64_t lastLook = INT64_MIN / 2;
  int64_t listAt = -1;
  unsigned polls = 0;
};

#endif
