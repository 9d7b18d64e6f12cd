// Loads an installed libKelvo.so the way a host does and reads its identity:
//   kelvo_package_loader PATH
// Exits 0 when the five entry points resolve, the library that answers is the
// file at PATH (not one found elsewhere), and GetInfoFunc writes the type and
// the display name at this word size's offsets. It also prints the version of
// the SDL 1.2 that came with it (1.2.50 or later is sdl12-compat).
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>

#include "loader/plugin_loader.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s LIBRARY\n", argv[0]);
    return 2;
  }
  Plugin plugin;
  std::string why;
  if (OpenPlugin(argv[1], &plugin, &why) != OpenResult::kOpened) {
    std::fprintf(stderr, "%s: %s\n", argv[1], why.c_str());
    return 1;
  }
  Dl_info info;
  char wanted[PATH_MAX], found[PATH_MAX];
  if (dladdr(reinterpret_cast<void*>(plugin.GetInfoFunc), &info) == 0 ||
      realpath(argv[1], wanted) == nullptr || realpath(info.dli_fname, found) == nullptr ||
      std::strcmp(wanted, found) != 0) {
    std::fprintf(stderr, "GetInfoFunc came from %s, not %s\n", info.dli_fname, argv[1]);
    return 1;
  }
  const PluginIdentity identity = plugin.GetInfo();
  if (identity.result != 1 || identity.type != 4 || identity.name != "Kelvo plugin 1.6.1") {
    std::fprintf(stderr, "GetInfoFunc: result %d, type %d, name '%s'\n", identity.result, identity.type,
                 identity.name.c_str());
    return 1;
  }
  // The SDL 1.2 the library brought in: SDL_version is three bytes.
  void* sdl = dlopen("libSDL-1.2.so.0", RTLD_NOW | RTLD_NOLOAD);
  auto linkedVersion =
      sdl ? reinterpret_cast<const uint8_t* (*)()>(dlsym(sdl, "SDL_Linked_Version")) : nullptr;
  if (linkedVersion == nullptr) {
    std::fprintf(stderr, "no SDL 1.2 loaded with the library\n");
    return 1;
  }
  const uint8_t* version = linkedVersion();
  std::printf("%u-bit library %s: \"%s\", SDL %u.%u.%u\n", static_cast<unsigned>(8 * sizeof(void*)), found,
              identity.name.c_str(), version[0], version[1], version[2]);
  return 0;
}
