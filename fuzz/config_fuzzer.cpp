// Any bytes as Kelvo.ini: loading them must neither crash nor misbehave, and
// whatever key map the load produced must survive a save and a second load
// unchanged, with the saved file in its exact nine-line form.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "input/key_map.h"
#include "plugin/kelvo_class.h"

namespace {

void Fail(const char* what, const KeyMapSnapshot& first, const KeyMapSnapshot& second) {
  std::fprintf(stderr, "config_fuzzer: %s\n", what);
  for (int key = 0; key < KEY_COUNT; ++key) {
    std::fprintf(stderr, "  key %d: %d then %d\n", key, first.buttons[key], second.buttons[key]);
  }
  std::fprintf(stderr, "  threshold: %d then %d\n", first.threshold, second.threshold);
  std::abort();
}

std::string Slurp(const char* name) {
  std::string text;
  FILE* file = std::fopen(name, "rb");
  if (file == nullptr) return text;
  char chunk[512];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof(chunk), file)) > 0) text.append(chunk, n);
  std::fclose(file);
  return text;
}

std::string Expected(const KeyMapSnapshot& map) {
  char text[512];
  int length = 0;
  for (int key = 0; key < KEY_COUNT; ++key) {
    length += std::snprintf(text + length, sizeof(text) - length, "Btn%d=%d\n", key, map.buttons[key]);
  }
  std::snprintf(text + length, sizeof(text) - length, "Axis threshold=%d\n", map.threshold);
  return text;
}

bool Same(const KeyMapSnapshot& a, const KeyMapSnapshot& b) {
  return std::memcmp(a.buttons, b.buttons, sizeof(a.buttons)) == 0 && a.threshold == b.threshold;
}

// The scans run inside the C library, which has no coverage feedback, so the
// harness turns each outcome into code of its own: every key, and the
// threshold, has separate branches for "kept its value", zero, negative, a
// usable button number and a large number. The fuzzer then keeps inputs that
// load a new combination.
volatile int sink;

template <int K>
void MarkOutcome(const KeyMapSnapshot& map) {
  if constexpr (K < KEY_COUNT) {
    const int value = map.buttons[K];
    if (value == 100 + K) {
      sink = K * 8 + 1;
    } else if (value == 0) {
      sink = K * 8 + 2;
    } else if (value < 0) {
      sink = K * 8 + 3;
    } else if (value <= 32) {
      sink = K * 8 + 4;
    } else {
      sink = K * 8 + 5;
    }
    MarkOutcome<K + 1>(map);
  } else {
    if (map.threshold == 1000) {
      sink = 100;
    } else if (map.threshold <= 0) {
      sink = 101;
    } else if (map.threshold < 32768) {
      sink = 102;
    } else {
      sink = 103;
    }
  }
}

// Kelvo.ini lives in the working directory: each input is run in a private
// one, in memory when /dev/shm exists because every save flushes the file to
// its disk, and the fuzzer's own directory is restored after each input so
// that relative corpus and artifact paths keep working.
int scratchDir = -1;
int callerDir = -1;
char scratchPath[64];

void RemoveScratch() {
  if (scratchDir < 0) return;
  DIR* dir = fdopendir(dup(scratchDir));
  if (dir != nullptr) {
    while (const dirent* entry = readdir(dir)) {
      if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
        unlinkat(scratchDir, entry->d_name, 0);
      }
    }
    closedir(dir);
  }
  rmdir(scratchPath);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::strcpy(scratchPath, "/dev/shm/kelvo-fuzz-XXXXXX");
  if (mkdtemp(scratchPath) == nullptr) {
    std::strcpy(scratchPath, "/tmp/kelvo-fuzz-XXXXXX");
    if (mkdtemp(scratchPath) == nullptr) std::abort();
  }
  scratchDir = open(scratchPath, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  callerDir = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (scratchDir < 0 || callerDir < 0) std::abort();
  std::atexit(RemoveScratch);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (fchdir(scratchDir) != 0) std::abort();
  FILE* file = std::fopen("Kelvo.ini", "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);

  // Keys whose scans fail keep what they held: start every input from the
  // same distinctive key map so that a run is reproducible.
  for (int key = 0; key < KEY_COUNT; ++key) btn[key] = 100 + key;
  axis_thresh = -1;

  Kelvo.LoadConf();
  const KeyMapSnapshot loaded = SnapshotKeyMap();
  MarkOutcome<0>(loaded);
  Kelvo.SaveConf();
  const std::string saved = Slurp("Kelvo.ini");
  Kelvo.LoadConf();
  const KeyMapSnapshot reloaded = SnapshotKeyMap();

  if (saved != Expected(loaded)) Fail("the saved file is not the key map's nine lines", loaded, reloaded);
  if (!Same(loaded, reloaded)) Fail("save then load changed the key map", loaded, reloaded);
  if (fchdir(callerDir) != 0) std::abort();
  return 0;
}
