// Reading and replacing Kelvo.ini. Links are followed as the kernel follows
// them for this process (fs.protected_symlinks, search permission, loops),
// without /proc; only a regular file is ever opened, so a FIFO or a device
// neither blocks nor is disturbed. No call waits on another process for more
// than about a second in all. Only the look for abandoned temporaries
// allocates (a directory listing); where it cannot, it is skipped.
#ifndef KELVO_CONFIG_FILE_REPLACE_H
#define KELVO_CONFIG_FILE_REPLACE_H

#include <cstddef>

// Why a file could not be read or replaced, where no errno value says it.
enum FileProblem : int {
  kNotRegularFile = -1,
  kLockedTooLong = -2,
  kReplacedTooOften = -3,
  kReadOnlyFile = -4,  // no write bit at all, and no right to write it anyway
};

// Opens the regular file at path for reading, under a shared lock if asked.
// Returns -1 and sets *problem (ENOENT: nothing there) when it cannot.
int OpenForReading(const char* path, bool lock, int* problem);

// Replaces the file at path with these bytes, creating it only where nothing
// is. The first way that fits:
//   - a file without any write bit that this process may not write stays;
//   - one it may write that has a second name, another owner, ACL entries or
//     extended attributes is rewritten in place, and put back if that fails;
//   - another owner's that it may not write, in a folder it owns, is
//     replaced by a new file of its own, renamed over it;
//   - otherwise a flushed new file is renamed over it, keeping its permission
//     bits, or where the folder refuses new files it is rewritten in place.
// Saves take turns (an exclusive flock). Returns 0 when stored, else why
// not, and the file then holds what it held before.
int ReplaceFileContents(const char* path, const char* data, size_t size);

#endif
