// A fresh working directory per test: Kelvo.ini lives in the current directory.
#ifndef KELVO_TESTS_SCRATCH_DIR_H
#define KELVO_TESTS_SCRATCH_DIR_H

#include <string>

class ScratchDir {
 public:
  ScratchDir();  // creates it and makes it the working directory
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);

#endif
