#include "tests/support/scratch_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

ScratchDir::ScratchDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base ? base : "/tmp") + "/kelvo-test-XXXXXX";
  if (mkdtemp(&pattern[0]) != nullptr) path_ = pattern;
  if (!path_.empty() && chdir(path_.c_str()) != 0) path_.clear();
}

ScratchDir::~ScratchDir() {
  if (path_.empty()) return;
  if (chdir("/") != 0) return;
  const std::string command = "rm -rf '" + path_ + "'";
  (void)!std::system(command.c_str());
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
