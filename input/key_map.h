// The key map (which joystick button drives each console key, and how far the
// stick must be pushed to count as a direction) and the open joystick.
//
// The host may poll on its own thread while the settings page runs on the GTK
// thread, so every SDL joystick call and every change of these variables is
// made while holding joyLock. It is held only for short, bounded work: never
// across a message box, file I/O or a wait for the user.
#ifndef KELVO_INPUT_KEY_MAP_H
#define KELVO_INPUT_KEY_MAP_H

#include <SDL.h>

#include <cstdint>
#include <mutex>

constexpr int KEY_COUNT = 8;

// Key order everywhere: A, B, Select, Start, L, R, X, Y.
extern int32_t btn[KEY_COUNT];             // button per key, from 1; 0 for none
extern const uint32_t btnVal[KEY_COUNT];   // the key's pad-word bit
extern const char btnName[KEY_COUNT][32];  // "A", "B", "Select", ...
extern int32_t axis_thresh;                // in SDL axis units
extern SDL_Joystick* joy;                  // null until a joystick opens

extern std::mutex joyLock;

// A consistent copy of the key map, for work done outside the lock.
struct KeyMapSnapshot {
  int32_t buttons[KEY_COUNT];
  int32_t threshold;
};
KeyMapSnapshot SnapshotKeyMap();

#endif
