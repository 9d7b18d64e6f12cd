#ifndef KELVO_CONFIG_FILE_REPLACE_H
#define KELVO_CONFIG_FILE_REPLACE_H

#include <cstddef>

// Replaces the file at path with exactly these bytes. The path is resolved
// as the kernel resolves it for this process; only a regular file this
// process may write, or a missing one, is ever replaced. The text goes to a
// new file in the same directory, every write, the flush and the close are
// checked, and only then is it renamed over the old one, keeping the old
// one's permission bits. Where the directory refuses new files, the file is
// rewritten in place, and put back as it was if that fails part-way. Saves
// from several processes take turns (an exclusive flock on the file).
// Returns false when the text could not be stored: the file then holds
// exactly what it held before.
bool ReplaceFileContents(const char* path, const char* data, size_t size);

#endif
