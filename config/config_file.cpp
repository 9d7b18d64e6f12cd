// Kelvo.ini: eight "Btn<index>=<button>" lines in key order, then "Axis threshold=<value>", read
// back with fscanf's rules so that a hand-edited file loads the way it always has.
#include "config/config_file.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "config/file_replace.h"
#include "input/key_map.h"
#include "plugin/kelvo_class.h"
#include "plugin/message.h"

namespace {

std::atomic<bool> confLoaded{false};

// Numbers are scanned as long and saturated to the int range, so that the
// 64-bit build reads an out-of-range number as the 32-bit build does.
int32_t Saturated(long value) {
  return static_cast<int32_t>(value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : value);
}

// The box's second line: the file's full path, shortened from the left to
// keep the line within about 120 characters, whether it was the write that
// failed, and why.
void ShowOpenError(const char* name, int problem, bool writing = false) {
  const char* reason = problem > 0                    ? std::strerror(problem)
                       : problem == kLockedTooLong    ? "another program kept Kelvo.ini locked"
                       : problem == kReplacedTooOften ? "other programs kept replacing Kelvo.ini"
                                                      : "Kelvo.ini is not a regular file";
  char path[PATH_MAX + 256];
  // In a folder too deep for getcwd, the relative name is all there is to show.
  if (getcwd(path, PATH_MAX) == nullptr) path[0] = '\0';
  const size_t used = std::strlen(path);
  std::snprintf(path + used, sizeof(path) - used, "%s%s", used > 1 ? "/" : "", name);
  const char* failed = writing ? " could not be written" : "";
  const size_t length = std::strlen(path), room = 118 - std::strlen(reason) - std::strlen(failed);
  const char* shown = length > room ? path + length - room + 1 : path;
  while (shown != path && (*shown & 0xC0) == 0x80) ++shown;  // not inside a UTF-8 character
  char advice[256];
  std::snprintf(advice, sizeof(advice), "%s%.118s%s: %s", shown != path ? "\u2026" : "", shown, failed,
                reason);
  MessageWithAdvice(advice, "Error : could not open config file");
}

}  // namespace

void LoadConfIfNeverLoaded() {
  if (!confLoaded.load()) Kelvo.LoadConf();
}

// The name and its NUL: 10 bytes, into the caller's buffer of 256.
void KelvoClass::MakeCfgFileName(char* buffer) {
  static constexpr char kName[] = "Kelvo.ini";
  std::memcpy(buffer, kName, sizeof(kName));
}

void SaveKeyMap(bool askedByUser) {
  char name[256];
  Kelvo.MakeCfgFileName(name);
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
  int problem = 0;
  const int fd = askedByUser ? -1 : OpenForReading(name, false, &problem);
  if (fd >= 0) close(fd);
  if (!askedByUser && fd < 0 && problem != ENOENT) return;
  problem = ReplaceFileContents(name, text, static_cast<size_t>(length));
  if (problem != 0) ShowOpenError(name, problem, true);
}

void KelvoClass::SaveConf() { SaveKeyMap(true); }

void KelvoClass::LoadConf() {
  confLoaded = true;
  {
    JoyGuard guard(joyLock);
    axis_thresh = 1000;
  }
  char name[256];
  MakeCfgFileName(name);
  // Only a missing file is created; one that cannot be read (permissions, a
  // FIFO, an I/O error, a lock kept too long...) is reported and left alone.
  int problem = 0;
  const int fd = OpenForReading(name, true, &problem);
  if (fd < 0 && problem == ENOENT) return SaveKeyMap(false);
  FILE* file = fd >= 0 ? fdopen(fd, "r") : nullptr;
  if (file == nullptr && fd >= 0) close(fd);
  if (file == nullptr) return ShowOpenError(name, fd >= 0 ? ENOMEM : problem);

  // Scanned into a copy so the file is read without holding the lock. A scan
  // that fails leaves its key as it was; once one stops inside a line, every
  // later scan stops at the same character.
  KeyMapSnapshot map = SnapshotKeyMap();
  errno = 0;
  for (int key = 0; key < KEY_COUNT; ++key) {
    long index = 0;
    long value = map.buttons[key];
    (void)std::fscanf(file, "Btn%li=%li\n", &index, &value);
    map.buttons[key] = Saturated(value);
  }
  long threshold = map.threshold;
  (void)std::fscanf(file, "Axis threshold=%li\n", &threshold);
  map.threshold = Saturated(threshold);
  problem = std::ferror(file) != 0 ? (errno != 0 ? errno : EIO) : 0;
  std::fclose(file);
  if (problem != 0) return ShowOpenError(name, problem);

  JoyGuard guard(joyLock);
  std::memcpy(btn, map.buttons, sizeof(btn));
  axis_thresh = map.threshold;
}
