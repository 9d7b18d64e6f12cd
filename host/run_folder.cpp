#include "host/run_folder.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

const char kTemp[] = "/tmp";
const char kPrefix[] = "kelvo-host-";

// The pid in a folder name made by MakeRunFolder, or 0.
pid_t PidOfFolder(const char* name) {
  const std::string text = name;
  if (text.compare(0, sizeof(kPrefix) - 1, kPrefix) != 0) return 0;
  char* end = nullptr;
  const long pid = std::strtol(name + sizeof(kPrefix) - 1, &end, 10);
  return pid > 0 && end != nullptr && *end == '-' ? static_cast<pid_t>(pid) : 0;
}

}  // namespace

void RemoveRunFolder(const std::string& folder) {
  if (DIR* dir = opendir(folder.c_str())) {
    std::vector<std::string> files;
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      files.push_back(folder);
      files.back().append("/").append(name);
    }
    closedir(dir);
    for (const std::string& file : files) unlink(file.c_str());
  }
  rmdir(folder.c_str());
}

int RemoveLeftoverRunFolders() {
  DIR* dir = opendir(kTemp);
  if (dir == nullptr) return 0;
  std::vector<std::string> leftovers;
  while (const dirent* entry = readdir(dir)) {
    const pid_t pid = PidOfFolder(entry->d_name);
    if (pid <= 0 || pid == getpid()) continue;
    const std::string folder = std::string(kTemp) + "/" + entry->d_name;
    struct stat st;
    if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) continue;
    if (kill(pid, 0) == 0 || errno != ESRCH) continue;  // that host still runs
    leftovers.push_back(folder);
  }
  closedir(dir);
  for (const std::string& folder : leftovers) RemoveRunFolder(folder);
  return static_cast<int>(leftovers.size());
}

std::string MakeRunFolder() {
  char pattern[64];
  std::snprintf(pattern, sizeof(pattern), "%s/%s%d-XXXXXX", kTemp, kPrefix, static_cast<int>(getpid()));
  return mkdtemp(pattern) ? pattern : "";
}
