#include "config/file_replace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

constexpr char kPrefix[] = ".Kelvo.ini.";
constexpr char kSuffix[] = ".tmp";
constexpr int kRaced = -100;  // the file changed between two looks: look again
constexpr int kOpenFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// One per call, so that all its waits together end within about a second.
class Deadline {
 public:
  Deadline() : end_(Now() + 1000) {}
  bool Passed() const { return Now() >= end_; }

 private:
  static long long Now() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
  }
  long long end_;
};

// A descriptor closed when it goes out of scope.
struct Fd {
  explicit Fd(int descriptor = -1) : fd(descriptor) {}
  ~Fd() { Reset(-1); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  void Reset(int descriptor) {
    if (fd >= 0) close(fd);
    fd = descriptor;
  }
  int fd;
};

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

int Lock(int fd, int operation, const Deadline& deadline) {
  // Another save holds the lock for a moment; a stopped one must not stop the host.
  for (;;) {
    if (flock(fd, operation | LOCK_NB) == 0) return 0;
    if (errno != EWOULDBLOCK && errno != EINTR) return errno;
    if (deadline.Passed()) return kLockedTooLong;
    const timespec pause{0, 2000000};
    nanosleep(&pause, nullptr);
  }
}

// The directory holding the file a path ends at, opened here, and the name
// in it: saving works through names relative to it at any depth.
struct Target {
  Fd dir;
  char leaf[NAME_MAX + 1];
  struct stat status;
  bool exists = false;
};

// Opens path's directory part relative to from and keeps its last name.
int Step(int from, char* path, Target* target) {
  char* slash = std::strrchr(path, '/');
  const char* name = slash != nullptr ? slash + 1 : path;
  if (std::strlen(name) > NAME_MAX) return ENAMETOOLONG;
  std::strcpy(target->leaf, name[0] != '\0' ? name : ".");
  const char* directory = slash == nullptr ? "." : slash == path ? "/" : path;
  if (slash != nullptr && slash != path) *slash = '\0';
  const int dir = openat(from, directory, O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return errno;
  target->dir.Reset(dir);
  return 0;
}

// The kernel resolves the path first, under its rules; the links are then
// followed here, and what was found must be what the kernel found.
int Resolve(const char* path, Target* target) {
  const Fd handle(open(path, O_PATH | O_CLOEXEC));
  if (handle.fd < 0 && errno != ENOENT) return errno;
  char link[PATH_MAX];
  if (std::strlen(path) >= sizeof(link)) return ENAMETOOLONG;
  std::strcpy(link, path);
  int error = Step(AT_FDCWD, link, target);
  // As many links as the kernel follows; more fail as a loop.
  for (int hop = 0; error == 0 && hop <= 40; ++hop) {
    struct stat& st = target->status;
    if (fstatat(target->dir.fd, target->leaf, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) return errno;
      return handle.fd < 0 ? 0 : kRaced;
    }
    if (!S_ISLNK(st.st_mode)) {
      struct stat found;
      target->exists = true;
      if (handle.fd < 0 || fstat(handle.fd, &found) != 0 || !SameFile(found, st)) return kRaced;
      return S_ISREG(st.st_mode) ? 0 : kNotRegularFile;
    }
    const ssize_t n = readlinkat(target->dir.fd, target->leaf, link, sizeof(link) - 1);
    if (n < 0) return errno;
    link[n] = '\0';
    error = Step(target->dir.fd, link, target);
  }
  return error != 0 ? error : ELOOP;
}

// Opens the regular file found, if the name still leads to it.
int OpenFound(const Target& target, int flags, Fd* fd) {
  fd->Reset(openat(target.dir.fd, target.leaf, flags | kOpenFlags));
  struct stat st;
  if (fd->fd < 0) return (errno == ENOENT || errno == ELOOP) ? kRaced : errno;
  return fstat(fd->fd, &st) == 0 && SameFile(st, target.status) ? 0 : kRaced;
}

// Every byte, or false with errno set.
bool Transfer(bool write, int fd, char* data, size_t size, size_t* done) {
  // A signal may end a call part-way; the rest follows.
  for (*done = 0; *done < size;) {
    const ssize_t n = write ? pwrite(fd, data + *done, size - *done, static_cast<off_t>(*done))
                            : pread(fd, data + *done, size - *done, static_cast<off_t>(*done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = write ? ENOSPC : EIO;
      return false;
    }
    *done += static_cast<size_t>(n);
  }
  return true;
}

bool IsTemporaryName(const char* name) {
  const size_t length = std::strlen(name), prefix = sizeof(kPrefix) - 1, suffix = sizeof(kSuffix) - 1;
  return length > prefix + suffix && std::strncmp(name, kPrefix, prefix) == 0 &&
         std::strcmp(name + length - suffix, kSuffix) == 0 &&
         std::strspn(name + prefix, "0123456789.") >= length - prefix - suffix;
}

// A save killed part-way leaves its temporary behind. A live save holds a
// lock on its temporary from the moment it is made; what is removed is this
// user's own regular file with that name, unlocked and older than a save.
void RemoveAbandonedTemporaries(int dir) {
  const int listing = openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* entries = listing >= 0 ? fdopendir(listing) : nullptr;
  if (entries == nullptr) {
    if (listing >= 0) close(listing);
    return;
  }
  const time_t old = std::time(nullptr) - 10;
  while (const dirent* entry = readdir(entries)) {
    struct stat before, now;
    if (!IsTemporaryName(entry->d_name) || fstatat(dir, entry->d_name, &before, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(before.st_mode) || before.st_uid != geteuid() || before.st_mtime > old) {
      continue;
    }
    const Fd fd(openat(dir, entry->d_name, O_RDONLY | kOpenFlags));
    if (fd.fd >= 0 && fstat(fd.fd, &now) == 0 && SameFile(now, before) && flock(fd.fd, LOCK_EX | LOCK_NB) == 0 &&
        fstatat(dir, entry->d_name, &now, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(now, before)) {
      unlinkat(dir, entry->d_name, 0);
    }
  }
  closedir(entries);
}

// Removes the temporary only while its name still leads to this save's file.
void RemoveTemporary(int dir, const char* name, int fd) {
  struct stat mine, there;
  if (fstat(fd, &mine) == 0 && fstatat(dir, name, &there, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(mine, there)) {
    unlinkat(dir, name, 0);
  }
}

// Writes the text to a new file beside the target and renames it into
// place; a new file is made with mode 0666, so the umask gives it what fopen
// would, and one that replaces another takes its permission bits and owner.
int WriteAndRename(const Target& target, const char* data, size_t size) {
  const int dir = target.dir.fd;
  RemoveAbandonedTemporaries(dir);
  static std::atomic<unsigned> counter{0};
  char name[64];
  Fd fd;
  // A name taken by another process (the same PID in another namespace) is skipped.
  for (int attempt = 0; attempt < 100 && fd.fd < 0; ++attempt) {
    std::snprintf(name, sizeof(name), "%s%ld.%u%s", kPrefix, static_cast<long>(getpid()), counter++, kSuffix);
    fd.Reset(openat(dir, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.fd < 0 && errno != EEXIST) return errno;
  }
  if (fd.fd < 0 || flock(fd.fd, LOCK_EX | LOCK_NB) != 0) return fd.fd < 0 ? EEXIST : errno;

  int error = 0;
  size_t written = 0;
  if (target.exists && fchmod(fd.fd, target.status.st_mode & 07777) != 0) error = errno;
  // Keeps the owner where this process has the right to; harmless otherwise.
  if (target.exists && error == 0) (void)!fchown(fd.fd, target.status.st_uid, target.status.st_gid);
  if (error == 0 && !Transfer(true, fd.fd, const_cast<char*>(data), size, &written)) error = errno;
  if (error == 0 && fsync(fd.fd) != 0) error = errno;
  if (error == 0 && target.exists) {
    if (renameat(dir, name, dir, target.leaf) == 0) return 0;
    error = errno;
  } else if (error == 0) {
    // Only while the file is still missing; a hard link does the same where
    // the file system cannot rename that way.
    int result = renameat2(dir, name, dir, target.leaf, RENAME_NOREPLACE);
    if (result == 0) return 0;
    if (errno == EINVAL || errno == ENOSYS) result = linkat(dir, name, dir, target.leaf, 0);
    error = result == 0 ? 0 : errno == EEXIST ? kRaced : errno;
  }
  RemoveTemporary(dir, name, fd.fd);
  return error;
}

// Rewrites the locked file in place. A rollback needs only the old bytes
// the text covers and the old length: the file is cut last, once the text
// is flushed.
int RewriteInPlace(const Target& target, int fd, off_t length, const char* data, size_t size) {
  char old[4096];
  if (size > sizeof(old)) return EFBIG;
  const size_t kept = length < static_cast<off_t>(size) ? static_cast<size_t>(length) : size;
  size_t done = 0;
  {
    Fd reader;
    const int error = OpenFound(target, O_RDONLY, &reader);
    if (error != 0) return error;
    if (!Transfer(false, reader.fd, old, kept, &done)) return errno;
  }
  if (kept < size && fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) != 0 &&
      errno != EOPNOTSUPP && errno != ENOSYS) {
    return errno;
  }
  size_t written = 0;
  if (Transfer(true, fd, const_cast<char*>(data), size, &written) && fsync(fd) == 0 &&
      (kept == static_cast<size_t>(length) || ftruncate(fd, static_cast<off_t>(size)) == 0)) {
    (void)fsync(fd);  // once cut, there is nothing left to put back
    return 0;
  }
  const int error = errno;
  (void)Transfer(true, fd, old, written < kept ? written : kept, &done);
  struct stat st;
  if (fstat(fd, &st) == 0 && st.st_size != length) (void)ftruncate(fd, length);
  (void)fsync(fd);
  return error;
}

// Replaces a regular file this process may write, once it holds its lock
// and sees it still in place.
int ReplaceExisting(const Target& target, const char* data, size_t size, const Deadline& deadline) {
  Fd fd;
  int error = OpenFound(target, O_WRONLY, &fd);
  if (error != 0) return error;
  // Where the file system has no locks (some network ones), only the
  // rename, which is whole whoever wins, is used.
  const int locked = Lock(fd.fd, LOCK_EX, deadline);
  if (locked == kLockedTooLong) return locked;
  struct stat now;
  if (fstatat(target.dir.fd, target.leaf, &now, AT_SYMLINK_NOFOLLOW) != 0 || !SameFile(now, target.status)) {
    return kRaced;
  }
  error = WriteAndRename(target, data, size);
  // Only a directory that refuses new files, not a full one, is worked round.
  if (locked != 0 || (error != EACCES && error != EPERM && error != EROFS)) return error;
  return RewriteInPlace(target, fd.fd, now.st_size, data, size);
}

}  // namespace

int OpenForReading(const char* path, bool lock, int* problem) {
  const Deadline deadline;
  // Another save may rename its file into place between the look and the open.
  for (int attempt = 0; attempt < 100; ++attempt) {
    Target target;
    Fd fd;
    int error = Resolve(path, &target);
    if (error == 0) error = target.exists ? OpenFound(target, O_RDONLY, &fd) : ENOENT;
    if (error == 0 && lock) error = Lock(fd.fd, LOCK_SH, deadline);
    // A file system without locks is read as it is.
    if (error == 0 || (error > 0 && fd.fd >= 0)) {
      const int opened = fd.fd;
      fd.fd = -1;
      return opened;
    }
    if (error != kRaced) {
      *problem = error;
      return -1;
    }
  }
  *problem = kReplacedTooOften;
  return -1;
}

int ReplaceFileContents(const char* path, const char* data, size_t size) {
  const Deadline deadline;
  // Another save may create or replace the file between the look and the lock.
  for (int attempt = 0; attempt < 100; ++attempt) {
    Target target;
    int error = Resolve(path, &target);
    if (error == 0) error = target.exists ? ReplaceExisting(target, data, size, deadline) : WriteAndRename(target, data, size);
    if (error != kRaced) return error;
  }
  return kReplacedTooOften;
}
