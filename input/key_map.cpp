#include "input/key_map.h"

#include <pthread.h>

#include <cstring>

int32_t btn[KEY_COUNT] = {0, 0, 0, 0, 0, 0, 0, 0};
// L is bit 9 and R bit 8, although L comes first in key order.
const uint32_t btnVal[KEY_COUNT] = {0x00001, 0x00002, 0x00004, 0x00008, 0x00200, 0x00100, 0x10000, 0x20000};
const char btnName[KEY_COUNT][32] = {"A", "B", "Select", "Start", "L", "R", "X", "Y"};
int32_t axis_thresh = 0;
SDL_Joystick* joy = nullptr;

std::mutex joyLock;

namespace {

// joyLock with priority inheritance: a poll waiting for the lock lends its
// priority to the thread that holds it. Without it, a capture on the GTK
// thread that is preempted while holding the lock keeps a high-priority
// polling thread waiting for as long as other processes run, for tens of
// milliseconds on a busy machine. The mutex is re-made before anything can
// use it (at load, while nothing holds it); where the system lacks
// priority-inheritance locks it stays a plain mutex.
struct InheritPriority {
  InheritPriority() {
    pthread_mutexattr_t attributes;
    if (pthread_mutexattr_init(&attributes) != 0) return;
    if (pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT) == 0) {
      pthread_mutex_t* handle = joyLock.native_handle();
      pthread_mutex_destroy(handle);
      if (pthread_mutex_init(handle, &attributes) != 0) pthread_mutex_init(handle, nullptr);
    }
    pthread_mutexattr_destroy(&attributes);
  }
} inheritPriority;

}  // namespace

KeyMapSnapshot SnapshotKeyMap() {
  KeyMapSnapshot snapshot;
  std::lock_guard<std::mutex> guard(joyLock);
  std::memcpy(snapshot.buttons, btn, sizeof(btn));
  snapshot.threshold = axis_thresh;
  return snapshot;
}
