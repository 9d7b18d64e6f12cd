#include "config/file_replace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>

namespace {

constexpr int kRaced = -100;  // the file changed between two looks: look again
constexpr int kOpenFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
constexpr char kAccessAcl[] = "system.posix_acl_access";
constexpr int kNoAcl = -1, kAclUnknown = -2;  // where a new file's ACL comes from

// Milliseconds that never go back. Each call has one deadline, a second
// away, that all its waits together keep.
long long Now() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

// A descriptor closed when it goes out of scope.
struct Fd {
  explicit Fd(int descriptor = -1) : fd(descriptor) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Reset(-1); }
  void Reset(int descriptor) {
    if (fd >= 0) close(fd);
    fd = descriptor;
  }
  int fd;
};

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int Lock(int fd, int operation, long long deadline) {
  // Another save holds the lock for a moment; a stopped one must not stop the host.
  while (flock(fd, operation | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) return errno;
    if (Now() >= deadline) return kLockedTooLong;
    usleep(2000);
  }
  return 0;
}

// Where the path leads: a directory opened here, to work at any depth, and a name in it.
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
  const int length = std::snprintf(target->leaf, sizeof(target->leaf), "%s", name[0] != '\0' ? name : ".");
  if (length > NAME_MAX) return ENAMETOOLONG;
  const char* directory = slash == nullptr ? "." : slash == path ? "/" : path;
  if (slash != nullptr && slash != path) *slash = '\0';
  target->dir.Reset(openat(from, directory, O_PATH | O_DIRECTORY | O_CLOEXEC));
  return target->dir.fd >= 0 ? 0 : errno;
}

// The kernel resolves the path first, under its rules; the links are then
// followed here, and what is found must be what the kernel found.
int Resolve(const char* path, Target* target) {
  const Fd handle(open(path, O_PATH | O_CLOEXEC));
  char link[PATH_MAX];
  if (handle.fd < 0 && errno != ENOENT) return errno;
  if (std::snprintf(link, sizeof(link), "%s", path) >= static_cast<int>(sizeof(link))) return ENAMETOOLONG;
  int error = Step(AT_FDCWD, link, target);
  // As many links as the kernel follows; one more is a loop.
  for (int hop = 0; error == 0 && hop <= 40; ++hop) {
    struct stat& st = target->status;
    if (fstatat(target->dir.fd, target->leaf, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      return errno != ENOENT ? errno : handle.fd < 0 ? 0 : kRaced;
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

// Whether the process may write a file up to this size. A write past
// RLIMIT_FSIZE raises SIGXFSZ, which by default ends the host: such a save
// fails before it writes, as a full disk would.
bool SizeAllowed(size_t size) {
  struct rlimit limit;
  return getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || size <= limit.rlim_cur;
}

// Writes from the start; *done counts the bytes that reached the file.
bool WriteAll(int fd, const char* data, size_t size, size_t* done) {
  *done = 0;
  if (!SizeAllowed(size)) {
    errno = EFBIG;
    return false;
  }
  // A signal may end a write part-way; the rest follows.
  while (*done < size) {
    const ssize_t n = pwrite(fd, data + *done, size - *done, static_cast<off_t>(*done));
    if (n <= 0 && (n == 0 || errno != EINTR)) return false;
    *done += n > 0 ? static_cast<size_t>(n) : 0;
  }
  return true;
}

// A save killed part-way leaves its temporary behind. A live save holds its
// temporary's lock from the moment it makes it, so what is removed is this
// user's own regular file of that name, unlocked and older than any save.
void RemoveAbandonedTemporaries(int dir) {
  const int listing = openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* entries = listing >= 0 ? fdopendir(listing) : nullptr;
  if (entries == nullptr && listing >= 0) close(listing);
  while (const dirent* entry = entries != nullptr ? readdir(entries) : nullptr) {
    const char* name = entry->d_name;
    int end = 0;
    struct stat mine, now;
    std::sscanf(name, ".Kelvo.ini.%*u.%*u.tmp%n", &end);
    // Looked at before it is opened: a FIFO, a device or another user's file never is.
    const bool candidate = end > 0 && name[end] == '\0' &&
                           fstatat(dir, name, &now, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(now.st_mode) &&
                           now.st_uid == geteuid();
    const Fd fd(candidate ? openat(dir, name, O_RDONLY | kOpenFlags) : -1);
    if (fd.fd >= 0 && fstat(fd.fd, &mine) == 0 && SameFile(now, mine) &&
        mine.st_mtime <= std::time(nullptr) - 10 && flock(fd.fd, LOCK_EX | LOCK_NB) == 0 &&
        fstatat(dir, name, &now, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(now, mine)) {
      unlinkat(dir, name, 0);
    }
  }
  if (entries != nullptr) closedir(entries);
}

// Writes the text to a new file beside the target and renames it into place.
// Mode 0666 gives a new file what fopen would; a replacing one takes the
// old, with the ACL read from aclSource, if it has one.
int WriteAndRename(const Target& t, const char* data, size_t size, int aclSource = kNoAcl) {
  static std::atomic<unsigned> counter{0};
  const int dir = t.dir.fd;
  char name[64];
  Fd fd;
  RemoveAbandonedTemporaries(dir);
  // A name may be taken by a save with the same PID in another namespace.
  for (int attempt = 0; attempt < 100 && fd.fd < 0; ++attempt) {
    std::snprintf(name, sizeof(name), ".Kelvo.ini.%ld.%u.tmp", static_cast<long>(getpid()), counter++);
    fd.Reset(openat(dir, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.fd < 0 && errno != EEXIST) return errno;
  }
  if (fd.fd < 0) return EEXIST;
  (void)flock(fd.fd, LOCK_EX | LOCK_NB);  // marks it live, where the file system has locks

  // Under an ACL the group bits are its mask, which may be wider than the
  // owning group's entry: the ACL goes over whole, and where it cannot be
  // read the group gets nothing.
  char acl[1024];
  const ssize_t aclSize = aclSource >= 0 ? fgetxattr(aclSource, kAccessAcl, acl, sizeof(acl)) : -1;
  const bool aclUnknown = aclSource == kAclUnknown || (aclSize < 0 && aclSource >= 0 && errno == ERANGE);
  const mode_t mode = t.exists ? t.status.st_mode & (aclUnknown ? 07707 : 07777) : 0;
  size_t written = 0;
  int error = t.exists && fchmod(fd.fd, mode) != 0 ? errno : 0;
  if (error == 0 && aclSize > 0 && fsetxattr(fd.fd, kAccessAcl, acl, static_cast<size_t>(aclSize), 0) != 0)
    error = errno;
  // Keeps the owner where this process has the right to; harmless otherwise.
  if (t.exists && error == 0) (void)!fchown(fd.fd, t.status.st_uid, t.status.st_gid);
  if (error == 0 && (!WriteAll(fd.fd, data, size, &written) || fsync(fd.fd) != 0)) error = errno;
  if (error == 0 && renameat2(dir, name, dir, t.leaf, t.exists ? 0 : RENAME_NOREPLACE) == 0) return 0;
  // A missing file is made only while still missing; a hard link does the
  // same where the file system cannot rename that way.
  const bool linked = error == 0 && !t.exists && (errno == EINVAL || errno == ENOSYS) &&
                      linkat(dir, name, dir, t.leaf, 0) == 0;
  if (error == 0 && !linked) error = errno == EEXIST && !t.exists ? kRaced : errno;
  // Not renamed: the name is still this save's, which holds its lock.
  unlinkat(dir, name, 0);
  return error;
}

// Rewrites the locked file in place. A rollback needs only the old bytes the
// text covers and the old length: the file is cut last, after the flush.
int RewriteInPlace(const Target& target, int fd, off_t length, const char* data, size_t size) {
  char old[4096];
  const size_t kept = length < static_cast<off_t>(size) ? static_cast<size_t>(length) : size;
  Fd reader;
  int error = size > sizeof(old) ? EFBIG : OpenFound(target, O_RDONLY, &reader);
  if (error != 0) return error;
  if (pread(reader.fd, old, kept, 0) != static_cast<ssize_t>(kept)) return EIO;
  size_t written = 0;
  if (WriteAll(fd, data, size, &written) && fsync(fd) == 0 &&
      (kept == static_cast<size_t>(length) || ftruncate(fd, static_cast<off_t>(size)) == 0)) {
    (void)fsync(fd);  // once cut, nothing is left to put back
    return 0;
  }
  error = errno;
  (void)WriteAll(fd, old, written < kept ? written : kept, &written);
  struct stat st;
  if (fstat(fd, &st) == 0 && st.st_size != length) (void)ftruncate(fd, length);
  (void)fsync(fd);
  return error;
}

// What a new file in its place would lose: a second name, its owner, ACL
// entries or extended attributes (a security label is given anew).
bool MoreThanItsBytes(int fd, const struct stat& st) {
  if (st.st_nlink > 1 || st.st_uid != geteuid()) return true;
  char names[4096];
  const ssize_t n = flistxattr(fd, names, sizeof(names));
  if (n < 0) return errno == ERANGE;
  for (ssize_t at = 0; at < n; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
    if (std::strncmp(names + at, "security.", 9) != 0) return true;
  }
  return false;
}

// Sees the file still in place once its lock is held.
int StillThere(const Target& target, struct stat* now) {
  if (fstatat(target.dir.fd, target.leaf, now, AT_SYMLINK_NOFOLLOW) != 0 || !SameFile(*now, target.status)) {
    return kRaced;
  }
  return 0;
}

// A file this process may not write. One without any write bit was made
// read-only by its user; another owner's in a folder this process owns (the
// host once run by root) is replaced by a file of its own, as the folder
// allows. Otherwise it is refused, as the kernel refused it.
int ReplaceUnwritable(const Target& target, const char* data, size_t size, long long deadline) {
  struct stat folder, now;
  if ((target.status.st_mode & 0222) == 0) return kReadOnlyFile;
  if (target.status.st_uid == geteuid() || fstat(target.dir.fd, &folder) != 0 || folder.st_uid != geteuid()) {
    return EACCES;
  }
  // Where it can be read, the saves take turns on it and its ACL is kept.
  Fd reader;
  const bool readable = OpenFound(target, O_RDONLY, &reader) == 0;
  if (readable && Lock(reader.fd, LOCK_EX, deadline) == kLockedTooLong) return kLockedTooLong;
  const int error = StillThere(target, &now);
  return error != 0 ? error : WriteAndRename(target, data, size, readable ? reader.fd : kAclUnknown);
}

// Replaces a regular file, once it holds the file's lock and sees it still
// in place.
int ReplaceExisting(const Target& target, const char* data, size_t size, long long deadline) {
  Fd fd;
  int error = OpenFound(target, O_WRONLY, &fd);
  if (error == EACCES || error == EPERM) return ReplaceUnwritable(target, data, size, deadline);
  // Without locks (some network file systems) a file that is only bytes is
  // replaced by the rename alone, whole whoever wins.
  const int locked = error == 0 ? Lock(fd.fd, LOCK_EX, deadline) : error;
  struct stat now;
  if (error != 0 || locked == kLockedTooLong) return locked;
  error = StillThere(target, &now);
  if (error != 0) return error;
  if (MoreThanItsBytes(fd.fd, now)) return RewriteInPlace(target, fd.fd, now.st_size, data, size);
  error = WriteAndRename(target, data, size);
  // Only a folder that refuses new files, not a full one, is worked round.
  if (locked != 0 || (error != EACCES && error != EPERM && error != EROFS)) return error;
  return RewriteInPlace(target, fd.fd, now.st_size, data, size);
}

// Another save may create or replace the file between the look and the
// open or the lock: the path is looked up again, a bounded number of times.
template <typename Act>
int AtTarget(const char* path, Act act) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    Target target;
    int error = Resolve(path, &target);
    if (error == 0) error = act(target);
    if (error != kRaced) return error;
  }
  return kReplacedTooOften;
}

}  // namespace

int OpenForReading(const char* path, bool lock, int* problem) {
  const long long deadline = Now() + 1000;
  int opened = -1;
  *problem = AtTarget(path, [&](const Target& target) {
    Fd fd;
    int error = target.exists ? OpenFound(target, O_RDONLY, &fd) : ENOENT;
    if (error == 0 && lock) error = Lock(fd.fd, LOCK_SH, deadline);
    // A file system without locks is read as it is.
    if (error != 0 && (error < 0 || fd.fd < 0)) return error;
    std::swap(opened, fd.fd);
    return 0;
  });
  return opened;
}

int ReplaceFileContents(const char* path, const char* data, size_t size) {
  const long long deadline = Now() + 1000;
  return AtTarget(path, [&](const Target& target) {
    return target.exists ? ReplaceExisting(target, data, size, deadline) : WriteAndRename(target, data, size);
  });
}
