// The key map (which joystick button drives each console key, and how far the
// stick must be pushed to count as a direction) and the open joystick.
//
// The host may poll on its own thread while the settings page runs on the GTK
// thread, so every SDL joystick call and every change of these variables is
// made while holding joyLock. It is held only for short, bounded work: never
// across a message box, Kelvo.ini's reading or writing, or a wait for the
// user (device scans and opens of a listing do happen under it).
#ifndef KELVO_INPUT_KEY_MAP_H
#define KELVO_INPUT_KEY_MAP_H

#include <SDL.h>

#include <pthread.h>

#include <cstdint>
#include <mutex>

constexpr int KEY_COUNT = 8;

// Key order everywhere: A, B, Select, Start, L, R, X, Y.
extern int32_t btn[KEY_COUNT];             // button per key, from 1; 0 for none
extern const uint32_t btnVal[KEY_COUNT];   // the key's pad-word bit
extern const char btnName[KEY_COUNT][32];  // "A", "B", "Select", ...
extern int32_t axis_thresh;                // in SDL axis units
extern SDL_Joystick* joy;                  // null until a joystick opens

// A mutex whose holder inherits the priority of a thread waiting for it: a
// capture on the GTK thread that is preempted while holding it must not keep
// a high-priority polling thread waiting for as long as other processes run.
// Where the system lacks priority-inheritance mutexes it is a plain one.
class JoyLock {
 public:
  JoyLock();
  JoyLock(const JoyLock&) = delete;
  JoyLock& operator=(const JoyLock&) = delete;
  void lock() { pthread_mutex_lock(&mutex_); }
  void unlock() { pthread_mutex_unlock(&mutex_); }

 private:
  pthread_mutex_t mutex_;
};

extern JoyLock joyLock;
using JoyGuard = std::lock_guard<JoyLock>;

// A consistent copy of the key map, for work done outside the lock.
struct KeyMapSnapshot {
  int32_t buttons[KEY_COUNT];
  int32_t threshold;
};
KeyMapSnapshot SnapshotKeyMap();

#endif
