#include "tests/support/scratch_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// The folder of the ScratchDir alive in this process, and the process that
// made it. A death test's child runs the test from the start and ends with
// exit(), past the fixture's destructor: its folder goes at exit instead.
// A forked child's exit leaves its parent's folder alone.
char live[4096] = "";
pid_t liveOwner = 0;

void RemoveTree(const std::string& path) {
  const std::string command = "rm -rf '" + path + "'";
  (void)!std::system(command.c_str());
}

void RemoveLiveAtExit() {
  if (live[0] != '\0' && getpid() == liveOwner && chdir("/") == 0) RemoveTree(live);
}

}  // namespace

ScratchDir::ScratchDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base ? base : "/tmp") + "/kelvo-test-XXXXXX";
  if (mkdtemp(&pattern[0]) != nullptr) path_ = pattern;
  if (!path_.empty() && chdir(path_.c_str()) != 0) path_.clear();
  static const bool registered = std::atexit(RemoveLiveAtExit) == 0;
  if (registered && path_.size() < sizeof(live)) {
    std::snprintf(live, sizeof(live), "%s", path_.c_str());
    liveOwner = getpid();
  }
}

ScratchDir::~ScratchDir() {
  if (path_ == live) live[0] = '\0';
  if (path_.empty()) return;
  if (chdir("/") != 0) return;
  RemoveTree(path_);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

bool FileExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}
