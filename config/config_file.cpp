// Kelvo.ini: eight "Btn<index>=<button>" lines in key order, then
// "Axis threshold=<value>", read back with fscanf's rules so that a hand-edited
// file loads the way it always has.
#include "config/config_file.h"

#include <sys/file.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "config/file_lookup.h"
#include "config/file_replace.h"
#include "input/key_map.h"
#include "plugin/kelvo_class.h"
#include "plugin/message.h"

namespace {

std::atomic<bool> confLoaded{false};
// Not thread_local: LeakSanitizer reads a library's thread-local block even
// after dlclose unmapped it. Saves are made on the GTK thread only.
std::atomic<int> automaticSaves{0};

// Numbers are scanned as long and saturated to the int range, so that the
// 64-bit build reads an out-of-range number as the 32-bit build does.
int32_t Saturated(long value) {
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int32_t>(value);
}

// There is something at the path, but not a regular file this process can read.
bool ExistsButUnreadable(const char* name) {
  FileKind kind;
  return !OpenForReading(name, &kind) && kind != FileKind::kMissing;
}

void ShowOpenError() { Message("Error : could not open config file"); }

}  // namespace

AutomaticSaves::AutomaticSaves() { ++automaticSaves; }
AutomaticSaves::~AutomaticSaves() { --automaticSaves; }

void LoadConfIfNeverLoaded() {
  if (!confLoaded.load()) Kelvo.LoadConf();
}

// The name and its NUL: 10 bytes, a fixed length, into the caller's buffer
// of 256.
void KelvoClass::MakeCfgFileName(char* buffer) {
  static constexpr char kName[] = "Kelvo.ini";
  std::memcpy(buffer, kName, sizeof(kName));
}

void SaveKeyMap(bool askedByUser) {
  if (askedByUser) {
    Kelvo.SaveConf();
  } else {
    const AutomaticSaves automatic;
    Kelvo.SaveConf();
  }
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

  // A file that is there but cannot be read was reported when it was
  // loaded; only the user's own change may replace it.
  if (automaticSaves > 0 && ExistsButUnreadable(name)) return;
  if (!ReplaceFileContents(name, text, static_cast<size_t>(length))) ShowOpenError();
}

void KelvoClass::LoadConf() {
  confLoaded = true;
  {
    JoyGuard guard(joyLock);
    axis_thresh = 1000;
  }
  char name[256];
  MakeCfgFileName(name);
  // Only a file that does not exist is created; one that exists but cannot
  // be read (permissions, a directory, a FIFO or device, an I/O error) is
  // reported and left alone, and the key map keeps its values.
  FileKind kind;
  UniqueFd fd = OpenForReading(name, &kind);
  if (kind == FileKind::kMissing) {
    const AutomaticSaves automatic;
    SaveConf();
    return;
  }
  // Waits for a save in progress in another process to end.
  while (fd && flock(fd.get(), LOCK_SH) != 0 && errno == EINTR) {
  }
  FILE* file = fd ? fdopen(fd.get(), "r") : nullptr;
  if (file == nullptr) {
    ShowOpenError();
    return;
  }
  fd.release();

  // Scanned into a copy so the file is read without holding the lock. A scan
  // that fails leaves its key as it was; once one stops inside a line, every
  // later scan stops at the same character.
  KeyMapSnapshot map = SnapshotKeyMap();
  for (int key = 0; key < KEY_COUNT; ++key) {
    long index = 0;
    long value = map.buttons[key];
    (void)std::fscanf(file, "Btn%li=%li\n", &index, &value);
    map.buttons[key] = Saturated(value);
  }
  long threshold = map.threshold;
  (void)std::fscanf(file, "Axis threshold=%li\n", &threshold);
  map.threshold = Saturated(threshold);
  const bool readFailed = std::ferror(file) != 0;
  std::fclose(file);
  if (readFailed) {
    ShowOpenError();
    return;
  }

  JoyGuard guard(joyLock);
  std::memcpy(btn, map.buttons, sizeof(btn));
  axis_thresh = map.threshold;
}
