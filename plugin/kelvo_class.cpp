#include "plugin/kelvo_class.h"

#include <dlfcn.h>
#include <link.h>

#include <cstring>

#include "plugin/identity.h"

KelvoClass Kelvo;

int32_t KelvoClass::GetInfo(_get_pluginfo* info) {
  if (info == nullptr) return 0;
  info->type = KELVO_PLUGIN_TYPE;
  if (info->name != nullptr) {
    std::memcpy(info->name, KELVO_DISPLAY_NAME, sizeof(KELVO_DISPLAY_NAME));
  }
  std::memcpy(info->guid, PLUGGUID, sizeof(PLUGGUID));
  return 1;
}

int32_t KelvoClass::SetInfo(_set_pluginfo* info) {
  if (info == nullptr) return 0;
  // Clearing the enable bit stops nothing: the joystick stays open.
  // Pages on screen show the reloaded key map at their next tick.
  if ((info->stateMask & 1u) && (info->state & 1u)) return Init();
  return 1;
}

bool AnotherCopyLoadedFirst() {
  // The loader matches a bare name against the sonames of what is loaded,
  // in load order: the first copy loaded answers.
  void* first = dlopen("libKelvo.so", RTLD_LAZY | RTLD_NOLOAD);
  if (first == nullptr) return false;
  Dl_info self;
  link_map* map = nullptr;
  const bool other = dladdr(reinterpret_cast<void*>(&AnotherCopyLoadedFirst), &self) != 0 &&
                     dlinfo(first, RTLD_DI_LINKMAP, &map) == 0 &&
                     map->l_addr != reinterpret_cast<ElfW(Addr)>(self.dli_fbase);
  dlclose(first);
  return other;
}
