#include "tests/support/plugin_loader.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

Plugin LoadPlugin() {
  const char* path = std::getenv("KELVO_LIBRARY");
  if (path == nullptr) path = KELVO_LIBRARY_PATH;
  Plugin p;
  p.handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (p.handle == nullptr) {
    std::fprintf(stderr, "dlopen %s: %s\n", path, dlerror());
    return p;
  }
  p.GetInfoFunc = reinterpret_cast<int32_t (*)(void*)>(dlsym(p.handle, "GetInfoFunc"));
  p.SetInfoFunc = reinterpret_cast<int32_t (*)(void*)>(dlsym(p.handle, "SetInfoFunc"));
  p.RunFunc = reinterpret_cast<int32_t (*)(unsigned long*)>(dlsym(p.handle, "RunFunc"));
  p.SetPropertyFunc = reinterpret_cast<int32_t (*)(void*)>(dlsym(p.handle, "SetPropertyFunc"));
  p.DeleteFunc = reinterpret_cast<int32_t (*)()>(dlsym(p.handle, "DeleteFunc"));
  return p;
}

int32_t Plugin::SetInfo(uint32_t stateMask, uint32_t state) {
  RawRecord r(record::kSetInfoSize);
  r.Put<uint32_t>(record::kStateMaskOffset, stateMask);
  r.Put<uint32_t>(record::kStateOffset, state);
  return SetInfoFunc(r.data());
}

int32_t Plugin::SwitchOn() { return SetInfo(1, 1); }

unsigned long Plugin::Poll(unsigned long word) {
  RunFunc(&word);
  return word;
}
