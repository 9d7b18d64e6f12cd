// Kelvo.ini: eight "Btn<index>=<button>" lines in key order, then
// "Axis threshold=<value>", read back with fscanf's rules so that a hand-edited
// file loads the way it always has.
#include <cstdio>
#include <cstring>
#include <mutex>

#include "config/file_replace.h"
#include "input/key_map.h"
#include "plugin/kelvo_class.h"
#include "plugin/message.h"

// The name and its NUL: 10 bytes, a fixed length, into the caller's buffer
// of 256.
void KelvoClass::MakeCfgFileName(char* buffer) {
  static constexpr char kName[] = "Kelvo.ini";
  std::memcpy(buffer, kName, sizeof(kName));
}

void KelvoClass::SaveConf() {
  char name[256];
  MakeCfgFileName(name);
  const KeyMapSnapshot map = SnapshotKeyMap();

  // Nine lines of at most 27 characters each.
  char text[512];
  int length = 0;
  for (int key = 0; key < KEY_COUNT; ++key) {
    length += std::snprintf(text + length, sizeof(text) - length, "Btn%i=%i\n", key, map.buttons[key]);
  }
  length += std::snprintf(text + length, sizeof(text) - length, "Axis threshold=%i\n", map.threshold);

  if (!ReplaceFileContents(name, text, static_cast<size_t>(length))) {
    Message("Error : could not open config file");
  }
}

void KelvoClass::LoadConf() {
  {
    JoyGuard guard(joyLock);
    axis_thresh = 1000;
  }
  char name[256];
  MakeCfgFileName(name);
  FILE* file = std::fopen(name, "r");
  if (file == nullptr) {
    SaveConf();
    return;
  }

  // Scanned into a copy so the file is read without holding the lock. A scan
  // that fails leaves its key as it was; once one stops inside a line, every
  // later scan stops at the same character.
  KeyMapSnapshot map = SnapshotKeyMap();
  for (int key = 0; key < KEY_COUNT; ++key) {
    int index;
    (void)std::fscanf(file, "Btn%i=%i\n", &index, &map.buttons[key]);
  }
  (void)std::fscanf(file, "Axis threshold=%i\n", &map.threshold);
  std::fclose(file);

  JoyGuard guard(joyLock);
  std::memcpy(btn, map.buttons, sizeof(btn));
  axis_thresh = map.threshold;
}
