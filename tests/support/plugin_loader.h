// Loads libKelvo.so the way the host does: dlopen, then the five names.
// Records are raw byte buffers with the fields at the host's offsets for this
// build's word size, so a layout slip in the library shows up as a failure.
#ifndef KELVO_TESTS_PLUGIN_LOADER_H
#define KELVO_TESTS_PLUGIN_LOADER_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace record {
constexpr bool k32 = sizeof(void*) == 4;
// _get_pluginfo
constexpr size_t kTypeOffset = 4;
constexpr size_t kNameOffset = k32 ? 12 : 16;
constexpr size_t kGuidOffset = k32 ? 20 : 28;
constexpr size_t kGetInfoSize = k32 ? 36 : 48;
// _set_pluginfo
constexpr size_t kStateMaskOffset = 8;
constexpr size_t kStateOffset = 12;
constexpr size_t kSetInfoSize = 16;
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

struct Plugin {
  void* handle = nullptr;
  int32_t (*GetInfoFunc)(void*) = nullptr;
  int32_t (*SetInfoFunc)(void*) = nullptr;
  int32_t (*RunFunc)(unsigned long*) = nullptr;
  int32_t (*SetPropertyFunc)(void*) = nullptr;
  int32_t (*DeleteFunc)() = nullptr;

  bool loaded() const { return GetInfoFunc && SetInfoFunc && RunFunc && SetPropertyFunc && DeleteFunc; }
  // An enabling call: the enable bit in both stateMask and state.
  int32_t SwitchOn();
  int32_t SetInfo(uint32_t stateMask, uint32_t state);
  unsigned long Poll(unsigned long word);
};

// The built library (KELVO_LIBRARY_PATH, or the environment's KELVO_LIBRARY).
Plugin LoadPlugin();

#endif
