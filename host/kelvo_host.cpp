// kelvo-host: stands where the real host program would. It loads libKelvo.so
// the way a host does, prints the plug-in's identity, switches it on and polls
// the pad word at 60 Hz, printing a line for each change.
#include <dlfcn.h>
#include <gtk/gtk.h>
#include <time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/pad_names.h"

namespace {

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

using GetInfoFn = int32_t (*)(GetInfoRecord*);
using SetInfoFn = int32_t (*)(SetInfoRecord*);
using RunFn = int32_t (*)(unsigned long*);
using DeleteFn = int32_t (*)();

std::string DefaultLibraryPath(const char* argv0) {
  std::string self = argv0;
  const size_t slash = self.rfind('/');
  return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/../libKelvo.so";
}

double Now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = -1;
  std::string library;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      seconds = std::atof(argv[++i]);
    } else if (std::strcmp(argv[i], "--library") == 0 && i + 1 < argc) {
      library = argv[++i];
    } else {
      std::fprintf(stderr, "usage: %s [--seconds N] [--library PATH]\n", argv[0]);
      return 2;
    }
  }
  if (library.empty()) library = DefaultLibraryPath(argv[0]);
  gtk_init(&argc, &argv);

  void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    std::fprintf(stderr, "kelvo-host: cannot load %s: %s\n", library.c_str(), dlerror());
    return 1;
  }
  auto getInfo = reinterpret_cast<GetInfoFn>(dlsym(handle, "GetInfoFunc"));
  auto setInfo = reinterpret_cast<SetInfoFn>(dlsym(handle, "SetInfoFunc"));
  auto run = reinterpret_cast<RunFn>(dlsym(handle, "RunFunc"));
  auto drop = reinterpret_cast<DeleteFn>(dlsym(handle, "DeleteFunc"));
  if (!getInfo || !setInfo || !run || !drop) {
    std::fprintf(stderr, "kelvo-host: %s lacks an entry point\n", library.c_str());
    return 1;
  }

  char name[64] = {};
  GetInfoRecord info{};
  info.name = name;
  getInfo(&info);
  std::printf("plugin: %s\ntype: %d\nid:", name, info.type);
  for (uint8_t byte : info.guid) std::printf(" %02X", byte);
  std::printf("\n");
  std::fflush(stdout);

  SetInfoRecord on{};
  on.stateMask = 1;
  on.state = 1;
  setInfo(&on);

  // All keys and directions released: every bit of the pad word set.
  unsigned long last = ~0ul;
  unsigned long word = ~0ul;
  std::printf("pad %s\n", DescribePadWord(word).c_str());
  std::fflush(stdout);
  const double start = Now();
  while (seconds < 0 || Now() - start < seconds) {
    run(&word);
    if (word != last) {
      std::printf("pad %s\n", DescribePadWord(word).c_str());
      std::fflush(stdout);
      last = word;
    }
    while (gtk_events_pending()) gtk_main_iteration();
    g_usleep(1000000 / 60);
  }
  drop();
  return 0;
}
