#include "input/key_map.h"

#include <cstring>

int32_t btn[KEY_COUNT] = {0, 0, 0, 0, 0, 0, 0, 0};
// L is bit 9 and R bit 8, although L comes first in key order.
const uint32_t btnVal[KEY_COUNT] = {0x00001, 0x00002, 0x00004, 0x00008, 0x00200, 0x00100, 0x10000, 0x20000};
const char btnName[KEY_COUNT][32] = {"A", "B", "Select", "Start", "L", "R", "X", "Y"};
int32_t axis_thresh = 0;
SDL_Joystick* joy = nullptr;

JoyLock::JoyLock() {
  pthread_mutexattr_t attributes;
  bool made = false;
  if (pthread_mutexattr_init(&attributes) == 0) {
    made = pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT) == 0 &&
           pthread_mutex_init(&mutex_, &attributes) == 0;
    pthread_mutexattr_destroy(&attributes);
  }
  if (!made) pthread_mutex_init(&mutex_, nullptr);
}

JoyLock joyLock;

KeyMapSnapshot SnapshotKeyMap() {
  KeyMapSnapshot snapshot;
  JoyGuard guard(joyLock);
  std::memcpy(snapshot.buttons, btn, sizeof(btn));
  snapshot.threshold = axis_thresh;
  return snapshot;
}
