#include "plugin/loaded_copies.h"

#include <dlfcn.h>
#include <link.h>

bool AnotherCopyLoadedFirst() {
  // The loader matches a bare name against the sonames of what is loaded,
  // in load order: the first copy loaded answers.
  void* first = dlopen("libKelvo.so", RTLD_LAZY | RTLD_NOLOAD);
  if (first == nullptr) return false;
  Dl_info self;
  link_map* map = nullptr;
  const bool other = dladdr(reinterpret_cast<void*>(&AnotherCopyLoadedFirst), &self) != 0 &&
                     dlinfo(first, RTLD_DI_LINKMAP, &map) == 0 &&
                     reinterpret_cast<void*>(map->l_addr) != self.dli_fbase;
  dlclose(first);
  return other;
}
