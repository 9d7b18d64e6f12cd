// Loading the plug-in the way the host program does: dlopen, then the five
// entry points by name, with the host's records.
#ifndef KELVO_HOST_PLUGIN_LIBRARY_H
#define KELVO_HOST_PLUGIN_LIBRARY_H

#include <gtk/gtk.h>

#include <cstdint>
#include <string>

// The records as the host lays them out: 32-bit words, pointers at their
// natural alignment.
struct GetInfoRecord {
  uint32_t reserved0;
  int32_t type;
  uint32_t reserved8;
  char* name;
  uint32_t reserved16;
  uint8_t guid[16];
};
struct SetInfoRecord {
  uint32_t reserved[2];
  uint32_t stateMask;
  uint32_t state;
};
struct PropertyRecord {
  GtkNotebook* notebook;
};

struct PluginLibrary {
  void* handle = nullptr;
  std::string path;  // as loaded
  int32_t (*getInfo)(GetInfoRecord*) = nullptr;
  int32_t (*setInfo)(SetInfoRecord*) = nullptr;
  int32_t (*run)(unsigned long*) = nullptr;
  int32_t (*setProperty)(PropertyRecord*) = nullptr;
  int32_t (*drop)() = nullptr;
};

// The folder that holds this program.
std::string ExecutableDir();

// Loads requested, or without it the first plug-in found: the installed
// plug-in folder beside bin/ (lib/<triplet>/kelvo/), the build tree (beside
// bin/), then the loader's own search. A bare file name that exists in the
// working directory is loaded from there. On failure prints why (each place
// tried, or the entry point missing) and returns false.
bool LoadPlugin(const std::string& requested, PluginLibrary* plugin);

// A path as shown to a person: relative to the working directory when the
// file lies below it or at most two folders up, else absolute; either way a
// path that opens the file from here.
std::string ShownPath(const std::string& path);

// SetInfoFunc with the enable bit in stateMask and state.
int32_t SwitchOn(const PluginLibrary& plugin);

#endif
