/* Loads an installed libKelvo.so the way a host does and reads its identity:
 *   kelvo_package_loader PATH
 * Exits 0 when the five entry points resolve, the library that answers is the
 * file at PATH (not one found elsewhere), and GetInfoFunc writes the type and
 * the display name at this word size's offsets. It also prints the version of
 * the SDL 1.2 that came with it (1.2.50 or later is sdl12-compat). */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char* const kEntryPoints[] = {"GetInfoFunc", "SetInfoFunc", "RunFunc", "SetPropertyFunc",
                                           "DeleteFunc"};

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s LIBRARY\n", argv[0]);
    return 2;
  }
  void* handle = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (handle == NULL) {
    fprintf(stderr, "dlopen: %s\n", dlerror());
    return 1;
  }
  void* entry[5];
  for (int i = 0; i < 5; ++i) {
    entry[i] = dlsym(handle, kEntryPoints[i]);
    if (entry[i] == NULL) {
      fprintf(stderr, "%s not found\n", kEntryPoints[i]);
      return 1;
    }
  }
  Dl_info info;
  char wanted[PATH_MAX], found[PATH_MAX];
  if (dladdr(entry[0], &info) == 0 || realpath(argv[1], wanted) == NULL ||
      realpath(info.dli_fname, found) == NULL || strcmp(wanted, found) != 0) {
    fprintf(stderr, "GetInfoFunc came from %s, not %s\n", info.dli_fname, argv[1]);
    return 1;
  }

  /* _get_pluginfo: type at 4; the name pointer at 12 (32-bit) or 16 (64-bit). */
  unsigned char record[64];
  char name[64];
  memset(record, 0, sizeof record);
  memset(name, 0, sizeof name);
  char* pointer = name;
  memcpy(record + (sizeof(void*) == 4 ? 12 : 16), &pointer, sizeof pointer);
  int32_t (*GetInfoFunc)(void*) = (int32_t(*)(void*))entry[0];
  int32_t result = GetInfoFunc(record);
  int32_t type;
  memcpy(&type, record + 4, 4);
  if (result != 1 || type != 4 || strcmp(name, "Kelvo plugin 1.6.1") != 0) {
    fprintf(stderr, "GetInfoFunc: result %d, type %d, name '%.63s'\n", result, type, name);
    return 1;
  }
  /* The SDL 1.2 the library brought in: SDL_version is three bytes. */
  void* sdl = dlopen("libSDL-1.2.so.0", RTLD_NOW | RTLD_NOLOAD);
  const uint8_t* (*linkedVersion)(void) =
      sdl ? (const uint8_t* (*)(void))dlsym(sdl, "SDL_Linked_Version") : NULL;
  if (linkedVersion == NULL) {
    fprintf(stderr, "no SDL 1.2 loaded with the library\n");
    return 1;
  }
  const uint8_t* version = linkedVersion();
  printf("%u-bit library %s: \"%s\", SDL %u.%u.%u\n", (unsigned)(8 * sizeof(void*)), found, name, version[0],
         version[1], version[2]);
  return 0;
}
