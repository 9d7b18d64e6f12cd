#include "loader/plugin_loader.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace {

template <typename Function>
bool Resolve(void* handle, const char* name, Function* function) {
  *function = reinterpret_cast<Function>(dlsym(handle, name));
  return *function != nullptr;
}

}  // namespace

OpenResult OpenPlugin(const std::string& path, Plugin* plugin, std::string* why) {
  *plugin = Plugin();
  plugin->handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (plugin->handle == nullptr) {
    *why = dlerror();
    return OpenResult::kNotLoaded;
  }
  plugin->path = path;
  const char* missing = !Resolve(plugin->handle, "GetInfoFunc", &plugin->GetInfoFunc)   ? "GetInfoFunc"
                        : !Resolve(plugin->handle, "SetInfoFunc", &plugin->SetInfoFunc) ? "SetInfoFunc"
                        : !Resolve(plugin->handle, "RunFunc", &plugin->RunFunc)         ? "RunFunc"
                        : !Resolve(plugin->handle, "SetPropertyFunc", &plugin->SetPropertyFunc)
                            ? "SetPropertyFunc"
                        : !Resolve(plugin->handle, "DeleteFunc", &plugin->DeleteFunc) ? "DeleteFunc"
                                                                                      : nullptr;
  if (missing == nullptr) return OpenResult::kOpened;
  *why = missing;
  return OpenResult::kEntryPointMissing;
}

Plugin LoadPlugin(const char* path) {
  if (const char* chosen = std::getenv("KELVO_LIBRARY")) path = chosen;
  Plugin plugin;
  std::string why;
  switch (OpenPlugin(path, &plugin, &why)) {
    case OpenResult::kOpened:
      break;
    case OpenResult::kNotLoaded:
      std::fprintf(stderr, "dlopen %s: %s\n", path, why.c_str());
      break;
    case OpenResult::kEntryPointMissing:
      std::fprintf(stderr, "%s has no entry point %s\n", path, why.c_str());
      break;
  }
  return plugin;
}

PluginIdentity Plugin::GetInfo() const {
  char name[64] = {};
  RawRecord r(record::kGetInfoSize, 0);
  r.Put<char*>(record::kNameOffset, name);
  PluginIdentity identity;
  identity.result = GetInfoFunc(r.data());
  identity.type = r.Get<int32_t>(record::kTypeOffset);
  name[sizeof(name) - 1] = '\0';
  identity.name = name;
  std::memcpy(identity.guid, r.bytes.data() + record::kGuidOffset, sizeof(identity.guid));
  return identity;
}

int32_t Plugin::SetInfo(uint32_t stateMask, uint32_t state) const {
  RawRecord r(record::kSetInfoSize);
  r.Put<uint32_t>(record::kStateMaskOffset, stateMask);
  r.Put<uint32_t>(record::kStateOffset, state);
  return SetInfoFunc(r.data());
}

unsigned long Plugin::Poll(unsigned long word) const {
  RunFunc(&word);
  return word;
}

int32_t Plugin::SetProperty(void* notebook) const {
  RawRecord r(record::kPropertySize);
  r.Put<void*>(record::kNotebookOffset, notebook);
  return SetPropertyFunc(r.data());
}
