// Loads libKelvo.so the way the host program does: dlopen, then the five
// entry points by name. Records are byte buffers with the fields at the
// host's offsets for this build's word size, written from the host's layout
// alone (nothing of the library's declarations), so that a layout slip in the
// library shows up as a failure. The stand-in host, the tests, the benchmark
// and the package check all load the plug-in through this.
#ifndef KELVO_LOADER_PLUGIN_LOADER_H
#define KELVO_LOADER_PLUGIN_LOADER_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace record {
constexpr bool k32 = sizeof(void*) == 4;
// _get_pluginfo: 32-bit words, pointers at their natural alignment.
constexpr size_t kTypeOffset = 4;
constexpr size_t kNameOffset = k32 ? 12 : 16;
constexpr size_t kGuidOffset = k32 ? 20 : 28;
constexpr size_t kGetInfoSize = k32 ? 36 : 48;
// _set_pluginfo
constexpr size_t kStateMaskOffset = 8;
constexpr size_t kStateOffset = 12;
constexpr size_t kSetInfoSize = 16;
// SETPROPPLUGIN: the notebook pointer.
constexpr size_t kNotebookOffset = 0;
constexpr size_t kPropertySize = sizeof(void*);
}  // namespace record

// A record filled with a marker byte, so that untouched bytes can be checked.
struct RawRecord {
  explicit RawRecord(size_t size, uint8_t fill = 0xA5) : bytes(size, fill) {}
  template <typename T>
  void Put(size_t offset, T value) {
    std::memcpy(bytes.data() + offset, &value, sizeof(T));
  }
  template <typename T>
  T Get(size_t offset) const {
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
  }
  void* data() { return bytes.data(); }
  std::vector<uint8_t> bytes;
};

// What GetInfoFunc says of the plug-in.
struct PluginIdentity {
  int32_t result = 0;
  int32_t type = 0;
  std::string name;
  uint8_t guid[16] = {};
};

struct Plugin {
  void* handle = nullptr;
  std::string path;  // as loaded
  int32_t (*GetInfoFunc)(void*) = nullptr;
  int32_t (*SetInfoFunc)(void*) = nullptr;
  int32_t (*RunFunc)(unsigned long*) = nullptr;
  int32_t (*SetPropertyFunc)(void*) = nullptr;
  int32_t (*DeleteFunc)() = nullptr;

  bool loaded() const { return GetInfoFunc && SetInfoFunc && RunFunc && SetPropertyFunc && DeleteFunc; }
  PluginIdentity GetInfo() const;
  int32_t SetInfo(uint32_t stateMask, uint32_t state) const;
  // An enabling call: the enable bit in both stateMask and state.
  int32_t SwitchOn() const { return SetInfo(1, 1); }
  unsigned long Poll(unsigned long word) const;
  int32_t SetProperty(void* notebook) const;
};

enum class OpenResult { kOpened, kNotLoaded, kEntryPointMissing };

// dlopen (RTLD_NOW | RTLD_LOCAL), then the five names. On failure *why says
// what went wrong: dlerror's text, or the name of the missing entry point.
OpenResult OpenPlugin(const std::string& path, Plugin* plugin, std::string* why);

// The library at $KELVO_LIBRARY when that is set, else at path; on failure
// prints why and returns a plug-in that is not loaded().
Plugin LoadPlugin(const char* path);

#ifdef KELVO_LIBRARY_PATH
// The library this tree built.
inline Plugin LoadPlugin() { return LoadPlugin(KELVO_LIBRARY_PATH); }
#endif

#endif
