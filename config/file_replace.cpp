#include "config/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Follows symbolic links to the file that is really to be replaced. A link
// to a missing file yields the missing target, which is then created.
std::string ResolveLinks(const char* path) {
  std::string target = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    char link[4096];
    const ssize_t n = readlink(target.c_str(), link, sizeof(link) - 1);
    if (n <= 0) break;
    link[n] = '\0';
    if (link[0] == '/') {
      target = link;
    } else {
      const size_t slash = target.rfind('/');
      target = (slash == std::string::npos) ? std::string(link) : target.substr(0, slash + 1) + link;
    }
  }
  return target;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Creates a new, uniquely named file beside the target. Created with mode
// 0666 so the umask gives it what fopen would give a new file.
int CreateSibling(const std::string& directory, std::string* name) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    char leaf[64];
    std::snprintf(leaf, sizeof(leaf), ".Kelvo.ini.%ld.%u.tmp", static_cast<long>(getpid()), counter++);
    *name = directory + "/" + leaf;
    const int fd = open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool RewriteInPlace(const std::string& target, const char* data, size_t size) {
  const int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, data, size);
  return (close(fd) == 0) && written;
}

}  // namespace

bool ReplaceFileContents(const char* path, const char* data, size_t size) {
  const std::string target = ResolveLinks(path);
  std::string temporary;
  const int fd = CreateSibling(DirectoryOf(target), &temporary);
  if (fd < 0) return RewriteInPlace(target, data, size);

  struct stat old;
  bool ok = true;
  if (stat(target.c_str(), &old) == 0) {
    ok = fchmod(fd, old.st_mode & 07777) == 0;
    // Keeps the owner when run with the right to; harmless to fail otherwise.
    if (ok) (void)!fchown(fd, old.st_uid, old.st_gid);
  }
  ok = ok && WriteAll(fd, data, size);
  ok = ok && fsync(fd) == 0;
  ok = (close(fd) == 0) && ok;
  ok = ok && rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) unlink(temporary.c_str());
  return ok;
}
