#include "input/key_map.h"

#include <cstring>

int32_t btn[KEY_COUNT] = {0, 0, 0, 0, 0, 0, 0, 0};
// L is bit 9 and R bit 8, although L comes first in key order.
const uint32_t btnVal[KEY_COUNT] = {0x00001, 0x00002, 0x00004, 0x00008,
                                    0x00200, 0x00100, 0x10000, 0x20000};
const char btnName[KEY_COUNT][32] = {"A", "B", "Select", "Start", "L", "R", "X", "Y"};
int32_t axis_thresh = 0;
SDL_Joystick* joy = nullptr;

std::mutex joyLock;

KeyMapSnapshot SnapshotKeyMap() {
  KeyMapSnapshot snapshot;
  std::lock_guard<std::mutex> guard(joyLock);
  std::memcpy(snapshot.buttons, btn, sizeof(btn));
  snapshot.threshold = axis_thresh;
  return snapshot;
}
