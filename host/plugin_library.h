// Where the stand-in host looks for the plug-in; the loading itself is the
// one loader's (loader/plugin_loader.h).
#ifndef KELVO_HOST_PLUGIN_LIBRARY_H
#define KELVO_HOST_PLUGIN_LIBRARY_H

#include <string>

#include "loader/plugin_loader.h"

// The folder that holds this program.
std::string ExecutableDir();

// Loads requested, or without it the first plug-in found: the installed
// plug-in folder beside bin/ (lib/<triplet>/kelvo/), the build tree (beside
// bin/), then the loader's own search. A bare file name that exists in the
// working directory is loaded from there. On failure prints why (each place
// tried, or the entry point missing) and returns false.
bool FindPlugin(const std::string& requested, Plugin* plugin);

// A path as shown to a person: relative to the working directory when the
// file lies below it or at most two folders up, else absolute; either way a
// path that opens the file from here.
std::string ShownPath(const std::string& path);

#endif
