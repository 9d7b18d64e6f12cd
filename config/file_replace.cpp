#include "config/file_replace.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config/file_lookup.h"

namespace {

enum class Outcome { kStored, kFailed, kRaced };

constexpr char kTemporaryPrefix[] = ".Kelvo.ini.";
constexpr char kTemporarySuffix[] = ".tmp";

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Writes at offset; *done counts the bytes that reached the file.
bool WriteAt(int fd, const char* data, size_t size, off_t offset, size_t* done) {
  *done = 0;
  while (*done < size) {
    const ssize_t n = pwrite(fd, data + *done, size - *done, offset + static_cast<off_t>(*done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    *done += static_cast<size_t>(n);
  }
  return true;
}

bool ReadAll(int fd, std::string* text) {
  char chunk[4096];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof(chunk));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    text->append(chunk, static_cast<size_t>(n));
  }
}

// The process id in ".Kelvo.ini.<pid>.<count>.tmp", or 0 for another name.
long TemporaryOwner(const char* name) {
  const size_t prefix = sizeof(kTemporaryPrefix) - 1;
  const size_t suffix = sizeof(kTemporarySuffix) - 1;
  const size_t length = std::strlen(name);
  if (length <= prefix + suffix || std::strncmp(name, kTemporaryPrefix, prefix) != 0 ||
      std::strcmp(name + length - suffix, kTemporarySuffix) != 0) {
    return 0;
  }
  char* end = nullptr;
  const long pid = std::strtol(name + prefix, &end, 10);
  if (pid <= 0 || *end != '.') return 0;
  const char* count = end + 1;
  std::strtoul(count, &end, 10);
  return (end != count && std::strcmp(end, kTemporarySuffix) == 0) ? pid : 0;
}

// A save that was killed part-way leaves its temporary file behind; the
// next save in that directory removes those whose process has ended.
void RemoveAbandonedTemporaries(const std::string& directory) {
  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = readdir(dir)) {
    const long pid = TemporaryOwner(entry->d_name);
    if (pid == 0 || pid == static_cast<long>(getpid())) continue;
    if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    struct stat st;
    if (fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) {
      unlinkat(dirfd(dir), entry->d_name, 0);
    }
  }
  closedir(dir);
}

// Creates a new, uniquely named file beside the target. Created with mode
// 0666 so the umask gives it what fopen would give a new file.
UniqueFd CreateSibling(const std::string& directory, std::string* name) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    char leaf[64];
    std::snprintf(leaf, sizeof(leaf), "%s%ld.%u%s", kTemporaryPrefix, static_cast<long>(getpid()), counter++,
                  kTemporarySuffix);
    *name = directory + "/" + leaf;
    UniqueFd fd(open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd || errno != EEXIST) return fd;
  }
  return UniqueFd();
}

// A directory that refuses new files, as opposed to one that is full.
bool RefusesNewFiles(int error) { return error == EACCES || error == EPERM || error == EROFS; }

// Writes the text to a new file and renames it onto target; old, when
// given, is the file being replaced, whose permission bits and owner the
// new one takes. Without old, the target must still be missing.
Outcome WriteAndRename(const std::string& target, const struct stat* old, const char* data, size_t size,
                       int* createError) {
  const std::string directory = DirectoryOf(target);
  RemoveAbandonedTemporaries(directory);
  std::string temporary;
  UniqueFd fd = CreateSibling(directory, &temporary);
  *createError = fd ? 0 : errno;
  if (!fd) return Outcome::kFailed;

  bool ok = true;
  if (old != nullptr) {
    ok = fchmod(fd.get(), old->st_mode & 07777) == 0;
    // Keeps the owner when run with the right to; harmless to fail otherwise.
    if (ok) (void)!fchown(fd.get(), old->st_uid, old->st_gid);
  }
  size_t written = 0;
  ok = ok && WriteAt(fd.get(), data, size, 0, &written);
  ok = ok && fsync(fd.get()) == 0;
  ok = (close(fd.release()) == 0) && ok;
  Outcome outcome = ok ? Outcome::kStored : Outcome::kFailed;
  if (ok && old != nullptr) {
    if (rename(temporary.c_str(), target.c_str()) != 0) outcome = Outcome::kFailed;
  } else if (ok) {
    // Creates the file only if it is still missing: whatever appeared
    // meanwhile is looked at again first. A hard link does the same where
    // the file system cannot rename that way.
    int result = renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
    if (result != 0 && (errno == EINVAL || errno == ENOSYS)) result = link(temporary.c_str(), target.c_str());
    if (result != 0) outcome = (errno == EEXIST) ? Outcome::kRaced : Outcome::kFailed;
  }
  // After a rename there is nothing left under the temporary name.
  unlink(temporary.c_str());
  return outcome;
}

// Rewrites the locked file in place: space for the new text is reserved
// first, and if a write, the truncation or the flush still fails, the old
// bytes are written back over whatever was changed.
bool RewriteInPlace(int fd, const FoundFile& found, const std::string& real, const char* data, size_t size) {
  std::string old;
  {
    const UniqueFd reader = OpenFound(found, real.c_str(), O_RDONLY);
    if (!reader || !ReadAll(reader.get(), &old)) return false;
  }
  const int reserved =
      size > old.size() ? fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) : 0;
  if (reserved != 0 && errno != EOPNOTSUPP && errno != ENOSYS) return false;

  size_t written = 0;
  bool ok = WriteAt(fd, data, size, 0, &written);
  const bool cut = ok && size < old.size();
  ok = ok && (!cut || ftruncate(fd, static_cast<off_t>(size)) == 0);
  ok = ok && fsync(fd) == 0;
  if (ok) return true;

  // Only the bytes written over can differ, unless the file was cut.
  const size_t restore = cut ? old.size() : std::min(old.size(), written);
  size_t restored = 0;
  (void)WriteAt(fd, old.data(), restore, 0, &restored);
  struct stat st;
  if (fstat(fd, &st) == 0 && st.st_size != static_cast<off_t>(old.size())) {
    (void)ftruncate(fd, static_cast<off_t>(old.size()));
  }
  (void)fsync(fd);
  return false;
}

bool LockExclusive(int fd) {
  for (;;) {
    if (flock(fd, LOCK_EX) == 0) return true;
    if (errno != EINTR) return false;
  }
}

// A file that is there: only a regular file this process may write is
// replaced, after this process holds its lock and sees it still in place.
Outcome ReplaceExisting(const char* path, const FoundFile& found, const char* data, size_t size) {
  std::string real;
  UniqueFd writable;
  if (RealPathOf(found, path, &real)) writable = OpenFound(found, real.c_str(), O_WRONLY);
  if (!writable) return ReplacedSince(path, found) ? Outcome::kRaced : Outcome::kFailed;
  // Where the file system has no locks (some network ones), only the
  // rename, which is whole whoever wins, may be used.
  const bool locked = LockExclusive(writable.get());
  struct stat now;
  if (lstat(real.c_str(), &now) != 0 || !SameFile(now, found.status)) return Outcome::kRaced;

  int createError = 0;
  const Outcome outcome = WriteAndRename(real, &found.status, data, size, &createError);
  if (outcome != Outcome::kFailed || !RefusesNewFiles(createError) || !locked) return outcome;
  return RewriteInPlace(writable.get(), found, real, data, size) ? Outcome::kStored : Outcome::kFailed;
}

Outcome TryReplace(const char* path, const char* data, size_t size) {
  FoundFile found = FindFile(path);
  if (found.kind == FileKind::kUnusable) return Outcome::kFailed;
  if (found.kind == FileKind::kMissing && !IsSymbolicLink(path)) {
    int createError = 0;
    return WriteAndRename(path, nullptr, data, size, &createError);
  }
  if (found.kind == FileKind::kRegular) return ReplaceExisting(path, found, data, size);

  // A link to a missing file: the kernel creates its target, where and if
  // its rules allow. That empty file is removed again if the save fails.
  const UniqueFd created(open(path, O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666));
  if (!created) return Outcome::kFailed;
  found = FindFile(path);
  struct stat st;
  if (fstat(created.get(), &st) != 0 || found.kind != FileKind::kRegular || !SameFile(st, found.status)) {
    return Outcome::kRaced;
  }
  const Outcome outcome = ReplaceExisting(path, found, data, size);
  std::string real;
  if (outcome == Outcome::kFailed && st.st_size == 0 && RealPathOf(found, path, &real)) unlink(real.c_str());
  return outcome;
}

}  // namespace

bool ReplaceFileContents(const char* path, const char* data, size_t size) {
  // Another process may replace or create the file between the look-up and
  // the lock; the look-up is then made again.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const Outcome outcome = TryReplace(path, data, size);
    if (outcome != Outcome::kRaced) return outcome == Outcome::kStored;
  }
  return false;
}
