#include "config/file_lookup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool IsSymbolicLink(const char* path) {
  struct stat st;
  return lstat(path, &st) == 0 && S_ISLNK(st.st_mode);
}

FoundFile FindFile(const char* path) {
  FoundFile found;
  // O_PATH opens nothing: no FIFO waits, no device driver runs.
  found.handle = UniqueFd(open(path, O_PATH | O_CLOEXEC));
  if (!found.handle) {
    found.kind = (errno == ENOENT) ? FileKind::kMissing : FileKind::kUnusable;
    return found;
  }
  if (fstat(found.handle.get(), &found.status) != 0 || !S_ISREG(found.status.st_mode)) {
    found.handle = UniqueFd();
    return found;
  }
  found.kind = FileKind::kRegular;
  return found;
}

UniqueFd OpenFound(const FoundFile& found, const char* path, int flags) {
  if (found.kind != FileKind::kRegular) return UniqueFd();
  UniqueFd fd(open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat st;
  if (!fd || fstat(fd.get(), &st) != 0 || !SameFile(st, found.status)) return UniqueFd();
  // Back to blocking I/O for the regular file it is.
  const int status = fcntl(fd.get(), F_GETFL);
  if (status < 0 || fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK) != 0) return UniqueFd();
  return fd;
}

bool ReplacedSince(const char* path, const FoundFile& found) {
  const FoundFile now = FindFile(path);
  return now.kind == FileKind::kRegular && !SameFile(now.status, found.status);
}

UniqueFd OpenForReading(const char* path, FileKind* kind) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const FoundFile found = FindFile(path);
    *kind = found.kind;
    UniqueFd fd = OpenFound(found, path, O_RDONLY);
    if (fd || found.kind != FileKind::kRegular || !ReplacedSince(path, found)) return fd;
  }
  return UniqueFd();
}

bool RealPathOf(const FoundFile& found, const char* path, std::string* real) {
  if (found.kind != FileKind::kRegular) return false;
  char link[64];
  std::snprintf(link, sizeof(link), "/proc/self/fd/%d", found.handle.get());
  char target[4096];
  const ssize_t n = readlink(link, target, sizeof(target) - 1);
  if (n > 0 && target[0] == '/') {
    target[n] = '\0';
    *real = target;
  } else {
    // Without /proc only a path that is not itself a link is known to be its file.
    *real = path;
  }
  // The path must name the found file itself, not a link to it.
  struct stat st;
  return lstat(real->c_str(), &st) == 0 && SameFile(st, found.status);
}
