// Kelvo.ini: eight "Btn<index>=<button>" lines in key order, then "Axis threshold=<value>", read
// back with fscanf's rules so that a hand-edited file loads the way it always has.
#include "config/config_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "config/file_replace.h"
#include "input/key_map.h"
#include "plugin/kelvo_class.h"
#include "plugin/message.h"

namespace {

std::atomic<bool> confLoaded{false};

std::mutex unreadLock;
UnreadText unreadText{};  // guarded by unreadLock

void Remember(const UnreadText& found) {
  const std::lock_guard<std::mutex> guard(unreadLock);
  unreadText = found;
}

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
                       : problem == kReadOnlyFile     ? "Kelvo.ini is read-only"
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

// The line the stop offset lies in, read again from the start of the file.
void FindLine(FILE* file, long stop, UnreadText* unread) {
  long start = 0;
  unread->line = 1;
  std::rewind(file);
  for (long at = 0; at < stop; ++at) {
    const int c = std::getc(file);
    if (c == EOF) break;
    if (c == '\n') {
      start = at + 1;
      ++unread->line;
    }
  }
  const size_t n = std::fseek(file, start, SEEK_SET) == 0
                       ? std::fread(unread->text, 1, sizeof(unread->text) - 1, file)
                       : 0;
  unread->text[n] = '\0';
  if (char* end = static_cast<char*>(std::memchr(unread->text, '\n', n))) *end = '\0';
}

// The nine scans over map, and where the text they did not read starts. A
// scan that fails leaves its key as it was; once one stops inside a line,
// every later scan stops at the same character. Returns 0, or why the file
// could not be read.
int ScanFile(FILE* file, KeyMapSnapshot* map, UnreadText* unread) {
  *unread = UnreadText{};
  errno = 0;
  for (int key = 0; key < KEY_COUNT; ++key) {
    long index = 0;
    long value = map->buttons[key];
    if (std::fscanf(file, "Btn%li=%li\n", &index, &value) != 2) unread->keys |= 1u << key;
    map->buttons[key] = Saturated(value);
  }
  long threshold = map->threshold;
  (void)std::fscanf(file, "Axis threshold=%li\n", &threshold);
  map->threshold = Saturated(threshold);
  int c = EOF;
  while ((c = std::getc(file)) != EOF && std::isspace(c)) {
  }
  if (std::ferror(file) != 0) return errno != 0 ? errno : EIO;
  if (c != EOF) FindLine(file, std::ftell(file) - 1, unread);
  return 0;
}

// Whether an automatic save leaves the file as it is: it cannot be read,
// it holds this text already, or it holds text the scans do not read.
bool LeaveAsItIs(const char* name, const char* text, size_t length) {
  int problem = 0;
  const int fd = OpenForReading(name, true, &problem);
  if (fd < 0) return problem != ENOENT;
  struct stat st;
  char old[512];
  if (fstat(fd, &st) == 0 && st.st_size == static_cast<off_t>(length) &&
      pread(fd, old, length, 0) == static_cast<ssize_t>(length) && std::memcmp(old, text, length) == 0) {
    close(fd);
    return true;
  }
  FILE* file = fdopen(fd, "r");
  if (file == nullptr) {
    close(fd);
    return true;
  }
  KeyMapSnapshot map = SnapshotKeyMap();
  UnreadText unread;
  problem = ScanFile(file, &map, &unread);
  std::fclose(file);
  if (problem == 0) Remember(unread);
  return problem != 0 || unread.line != 0;
}

}  // namespace

UnreadText LastUnreadText() {
  const std::lock_guard<std::mutex> guard(unreadLock);
  return unreadText;
}

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

  // A file that cannot be read was reported when it was loaded, and text
  // the scans do not read is the user's: only the user's own save may
  // replace either.
  if (!askedByUser && LeaveAsItIs(name, text, static_cast<size_t>(length))) return;
  const int problem = ReplaceFileContents(name, text, static_cast<size_t>(length));
  if (problem == 0) Remember(UnreadText{});
  // A file its user made read-only is no failure of a save nobody asked for.
  if (problem != 0 && (askedByUser || problem != kReadOnlyFile)) ShowOpenError(name, problem, true);
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
  Remember(UnreadText{});
  if (fd < 0 && problem == ENOENT) return SaveKeyMap(false);
  FILE* file = fd >= 0 ? fdopen(fd, "r") : nullptr;
  if (file == nullptr && fd >= 0) close(fd);
  if (file == nullptr) return ShowOpenError(name, fd >= 0 ? ENOMEM : problem);

  // Scanned into a copy so the file is read without holding the lock.
  KeyMapSnapshot map = SnapshotKeyMap();
  UnreadText unread;
  problem = ScanFile(file, &map, &unread);
  std::fclose(file);
  if (problem != 0) return ShowOpenError(name, problem);
  Remember(unread);

  JoyGuard guard(joyLock);
  std::memcpy(btn, map.buttons, sizeof(btn));
  axis_thresh = map.threshold;
}
