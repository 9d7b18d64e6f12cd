#ifndef KELVO_CONFIG_FILE_REPLACE_H
#define KELVO_CONFIG_FILE_REPLACE_H

#include <cstddef>

// Replaces the file at path (or, for a symbolic link, the file it points to)
// with exactly these bytes, so that a failure part-way never leaves a
// truncated file behind: the text goes to a new file in the same directory,
// every write, the flush and the close are checked, and only then is it
// renamed over the old one, keeping the old one's permission bits. When the
// directory cannot take a new file, the file is rewritten in place.
// Returns false, with the old file whole, when the text could not be stored.
bool ReplaceFileContents(const char* path, const char* data, size_t size);

#endif
