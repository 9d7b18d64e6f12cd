// Finding Kelvo.ini the way the kernel resolves its path for this process:
// links are followed by the kernel, under its rules (fs.protected_symlinks,
// search permission, loops), and what is found is never opened unless it is
// a regular file, so a FIFO, a device or a socket can neither block nor be
// disturbed.
#ifndef KELVO_CONFIG_FILE_LOOKUP_H
#define KELVO_CONFIG_FILE_LOOKUP_H

#include <sys/stat.h>

#include <string>

// A file descriptor closed when it goes out of scope; -1 for none.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd();
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }
  // Gives up ownership without closing.
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_;
};

enum class FileKind {
  kMissing,   // nothing at the path (or a link to nothing)
  kRegular,   // a regular file
  kUnusable,  // anything else: a directory, FIFO, device or socket, or a
              // path the kernel refuses to resolve for this process
};

struct FoundFile {
  FileKind kind = FileKind::kUnusable;
  UniqueFd handle;  // an O_PATH handle on the regular file
  struct stat status = {};
};

FoundFile FindFile(const char* path);

// Opens the regular file found at path with flags (O_RDONLY, O_WRONLY),
// without blocking; invalid when that fails or the path now names another
// file.
UniqueFd OpenFound(const FoundFile& found, const char* path, int flags);

// Whether the path names another regular file than the one found: another
// process renamed its save onto it meanwhile.
bool ReplacedSince(const char* path, const FoundFile& found);

// Opens the regular file at path for reading, looking again when another
// process replaced it between the look-up and the opening; *kind tells what
// is there. Invalid when there is no regular file this process can read.
UniqueFd OpenForReading(const char* path, FileKind* kind);

// The found file's own path, with no link left in it, for a rename onto it.
bool RealPathOf(const FoundFile& found, const char* path, std::string* real);

bool SameFile(const struct stat& a, const struct stat& b);
bool IsSymbolicLink(const char* path);

#endif
