#include "plugin/library_hold.h"

#include <dlfcn.h>
#include <gtk/gtk.h>

void* HoldLibrary() {
  Dl_info self;
  if (dladdr(reinterpret_cast<void*>(&HoldLibrary), &self) == 0 || self.dli_fname == nullptr) return nullptr;
  // The name the library was loaded by; with RTLD_NOLOAD only a count is added.
  return dlopen(self.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
}

void ReleaseLibraryLater(void* hold) {
  if (hold == nullptr) return;
  g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, reinterpret_cast<GSourceFunc>(dlclose), hold, nullptr);
}
