#include "host/plugin_library.h"

#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

std::string ExecutableDir() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (n <= 0) return ".";
  path[n] = '\0';
  std::string self = path;
  const size_t slash = self.rfind('/');
  return slash == std::string::npos ? "." : self.substr(0, slash);
}

namespace {

std::vector<std::string> Candidates(const std::string& requested) {
  if (!requested.empty()) {
    // dlopen looks a name without a slash up on the loader's path only.
    if (requested.find('/') == std::string::npos && access(requested.c_str(), F_OK) == 0)
      return {"./" + requested};
    return {requested};
  }
  const std::string dir = ExecutableDir();
  return {dir + "/../" KELVO_PLUGIN_DIR "/libKelvo.so", dir + "/../libKelvo.so", "libKelvo.so"};
}

}  // namespace

bool FindPlugin(const std::string& requested, Plugin* plugin) {
  std::string errors, why;
  for (const std::string& candidate : Candidates(requested)) {
    const bool isPath = candidate.find('/') != std::string::npos;
    if (isPath && requested.empty() && access(candidate.c_str(), F_OK) != 0) continue;
    switch (OpenPlugin(candidate, plugin, &why)) {
      case OpenResult::kOpened:
        return true;
      case OpenResult::kNotLoaded:
        errors += "\n  " + why;
        break;
      case OpenResult::kEntryPointMissing:
        std::fprintf(stderr, "kelvo-host: %s has no entry point %s\n", ShownPath(candidate).c_str(),
                     why.c_str());
        return false;
    }
  }
  std::fprintf(stderr, "kelvo-host: cannot load the plug-in:%s\n", errors.c_str());
  return false;
}

std::string ShownPath(const std::string& path) {
  char* real = realpath(path.c_str(), nullptr);
  char* here = getcwd(nullptr, 0);
  const std::string target = real ? real : path;
  std::string shown = target;
  if (real != nullptr && here != nullptr) {
    // Up from the working directory until the target lies below, at most
    // two folders up; further away the absolute path says more.
    std::string base = here, up;
    for (int level = 0; level <= 2 && base != "/"; ++level) {
      if (target.compare(0, base.size() + 1, base + "/") == 0) {
        shown = up + target.substr(base.size() + 1);
        break;
      }
      base.resize(base.rfind('/'));
      if (base.empty()) base = "/";
      up += "../";
    }
  }
  std::free(real);
  std::free(here);
  return shown;
}
