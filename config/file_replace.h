// Reading and replacing Kelvo.ini safely. Links are followed as the kernel
// follows them for this process (fs.protected_symlinks, search permission,
// loops), without /proc; only a regular file is ever opened, so a FIFO, a
// device or a socket can neither block nor be disturbed. No call waits on
// another process for more than about a second in all, and none allocates.
#ifndef KELVO_CONFIG_FILE_REPLACE_H
#define KELVO_CONFIG_FILE_REPLACE_H

#include <cstddef>

// Why a file could not be read or replaced, where no errno value says it.
enum FileProblem : int {
  kNotRegularFile = -1,    // a directory, FIFO, device or socket
  kLockedTooLong = -2,     // another process held its lock past the deadline
  kReplacedTooOften = -3,  // other processes kept replacing it meanwhile
};

// Opens the regular file at path for reading under a shared lock (none when
// lock is false). Returns the descriptor, or -1 with *problem set: ENOENT
// when nothing is there (or a link points at nothing), another errno value
// or a FileProblem otherwise.
int OpenForReading(const char* path, bool lock, int* problem);

// Replaces the file at path with exactly these bytes; creates it only where
// nothing is there. The text goes to a new file in the same directory, which
// is flushed and renamed over the old one, keeping its permission bits;
// where the directory refuses new files, the file is rewritten in place and
// put back as it was if that fails part-way. Saves from several processes
// take turns (an exclusive flock on the file). Returns 0 when stored, else
// an errno value or a FileProblem, and the file holds what it held before.
int ReplaceFileContents(const char* path, const char* data, size_t size);

#endif
