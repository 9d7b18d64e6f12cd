// Saving Kelvo.ini: what is replaced and how, and what happens when something
// fails. However the write fails, the file holds exactly its old bytes or
// exactly the new ones, on both paths (a new file renamed into place, and the
// in-place rewrite taken where the directory refuses new files).
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>
#include "config/file_replace.h"
#include "tests/support/permissions.h"
#include "tests/support/scratch_dir.h"

namespace {

const std::string kLong =
    "Btn0=11\nBtn1=12\nBtn2=13\nBtn3=14\nBtn4=15\nBtn5=16\nBtn6=17\nBtn7=18\nAxis threshold=1500\n";
const std::string kShort =
    "Btn0=1\nBtn1=0\nBtn2=0\nBtn3=0\nBtn4=0\nBtn5=0\nBtn6=0\nBtn7=0\nAxis threshold=500\n";

bool Replace(const std::string& path, const std::string& text) {
  return ReplaceFileContents(path.c_str(), text.data(), text.size()) == 0;
}

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = opendir(dir.c_str());
  while (dirent* e = readdir(d)) {
    if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.emplace_back(e->d_name);
  }
  closedir(d);
  return names;
}

int Mode(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

void LimitFileSize(rlim_t bytes) {
  const rlimit limit{bytes, RLIM_INFINITY};
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
}

TEST(FileReplace, ReplacesAndKeepsPermissionBits) {
  ScratchDir dir;
  WriteFile("Kelvo.ini", kLong);
  chmod("Kelvo.ini", 0640);
  ASSERT_TRUE(Replace("Kelvo.ini", kShort));
  EXPECT_EQ(ReadFile("Kelvo.ini"), kShort);
  EXPECT_EQ(Mode("Kelvo.ini"), 0640);
  EXPECT_EQ(Entries(".").size(), 1u);
}

TEST(FileReplace, ANewFileGetsWhatFopenWouldGiveIt) {
  ScratchDir dir;
  const mode_t old = umask(027);
  ASSERT_TRUE(Replace("Kelvo.ini", kShort));
  umask(old);
  EXPECT_EQ(Mode("Kelvo.ini"), 0640);
  EXPECT_EQ(ReadFile("Kelvo.ini"), kShort);
}

TEST(FileReplace, AFullDiskLeavesTheOldFileWhole) {
  ScratchDir dir;
  WriteFile("Kelvo.ini", kLong);
  signal(SIGXFSZ, SIG_IGN);
  rlimit limit{30, RLIM_INFINITY};
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  EXPECT_FALSE(Replace("Kelvo.ini", kShort));
  limit = {RLIM_INFINITY, RLIM_INFINITY};
  setrlimit(RLIMIT_FSIZE, &limit);
  EXPECT_EQ(ReadFile("Kelvo.ini"), kLong);
  EXPECT_EQ(Entries(".").size(), 1u) << "the temporary file is removed";
}

TEST(FileReplace, ASymbolicLinkHasItsTargetReplaced) {
  ScratchDir dir;
  mkdir("real", 0755);
  WriteFile("real/settings.ini", kLong);
  chmod("real/settings.ini", 0600);
  ASSERT_EQ(symlink("real/settings.ini", "Kelvo.ini"), 0);
  ASSERT_TRUE(Replace("Kelvo.ini", kShort));
  struct stat st;
  ASSERT_EQ(lstat("Kelvo.ini", &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadFile("real/settings.ini"), kShort);
  EXPECT_EQ(Mode("real/settings.ini"), 0600);
  EXPECT_EQ(Entries("real").size(), 1u);
}

TEST(FileReplace, AReadOnlyDirectoryRewritesAWritableFileInPlace) {
  ScratchDir dir;
  mkdir("locked", 0755);
  WriteFile("locked/Kelvo.ini", kLong);
  chmod("locked/Kelvo.ini", 0666);
  chmod("locked", 0555);
  {
    PermissionsCount permissions;
    EXPECT_TRUE(Replace("locked/Kelvo.ini", kShort));
  }
  EXPECT_EQ(ReadFile("locked/Kelvo.ini"), kShort);
  EXPECT_EQ(Entries("locked").size(), 1u);
  chmod("locked", 0755);
}

// The two ways a save goes: "d" takes new files, or refuses them (then only
// the file itself may be written, in place).
struct Path {
  const char* what;
  mode_t directoryMode;
};
const Path kPaths[] = {{"renamed into place", 0755}, {"rewritten in place", 0555}};

TEST(SaveFailures, EveryFileSizeLimitLeavesTheOldOrTheNewBytes) {
  signal(SIGXFSZ, SIG_IGN);
  const std::pair<std::string, std::string> changes[] = {{kLong, kShort}, {kShort, kLong}};
  ScratchDir dir;
  ASSERT_EQ(mkdir("d", 0755), 0);
  for (const Path& path : kPaths) {
    for (const auto& [before, after] : changes) {
      for (size_t limit = 0; limit <= std::max(before.size(), after.size()); ++limit) {
        SCOPED_TRACE(testing::Message() << path.what << ", " << before.size() << " to " << after.size()
                                        << " bytes, limit " << limit);
        chmod("d", 0755);
        ASSERT_TRUE(WriteFile("d/Kelvo.ini", before));
        chmod("d/Kelvo.ini", 0666);
        chmod("d", path.directoryMode);
        bool stored;
        {
          const PermissionsCount permissions;
          LimitFileSize(limit);
          stored = Replace("d/Kelvo.ini", after);
          LimitFileSize(RLIM_INFINITY);
        }
        EXPECT_EQ(stored, limit >= after.size());
        EXPECT_EQ(ReadFile("d/Kelvo.ini"), stored ? after : before);
        EXPECT_EQ(Entries("d"), std::vector<std::string>{"Kelvo.ini"}) << "no temporary file is left";
      }
    }
  }
  chmod("d", 0755);
}

// A file system with no inode left fails to create the temporary file with
// ENOSPC: that is no directory refusing new files, so the save fails and
// the file is not rewritten in place. Made in a mount namespace of its own,
// where the system allows one.
TEST(SaveFailures, AFileSystemOutOfInodesKeepsTheOldFile) {
  ScratchDir dir;
  ASSERT_EQ(mkdir("m", 0755), 0);
  const pid_t child = fork();
  if (child == 0) {
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("kelvo", "m", "tmpfs", 0, "size=64k,nr_inodes=2") != 0 || !WriteFile("m/Kelvo.ini", kLong)) {
      _exit(77);
    }
    const bool stored = Replace("m/Kelvo.ini", kShort);
    _exit(!stored && ReadFile("m/Kelvo.ini") == kLong ? 0 : 1);
  }
  ASSERT_GT(child, 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no tmpfs could be mounted here";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the save went in place, or the old bytes changed";
}

// Saves, then reads the file under a shared lock (as loading does): counts
// saves that failed and reads that saw neither text.
int SaveAndCheck(const std::string& path, const std::string& mine, const std::string& theirs, int saves) {
  int faults = 0;
  for (int i = 0; i < saves; ++i) {
    faults += !Replace(path, mine);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::string text;
    if (fd >= 0 && flock(fd, LOCK_SH) == 0) {
      char chunk[512];
      ssize_t n;
      while ((n = read(fd, chunk, sizeof(chunk))) > 0) text.append(chunk, static_cast<size_t>(n));
    }
    if (fd >= 0) close(fd);
    faults += text != mine && text != theirs;
  }
  return faults;
}

// Two processes saving at once, 10,000 times each (KELVO_SAVE_RACE_COUNT
// sets another count): every read in between sees one whole text.
TEST(SaveFailures, TwoProcessesSavingAtOnceNeverMixTheirTexts) {
  const char* count = std::getenv("KELVO_SAVE_RACE_COUNT");
  const int saves = count != nullptr ? std::atoi(count) : 10000;
  // In memory where possible: every save flushes the file to its disk.
  setenv("TMPDIR", access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp", 1);
  ScratchDir dir;
  ASSERT_EQ(mkdir("d", 0755), 0);
  for (const Path& path : kPaths) {
    SCOPED_TRACE(path.what);
    ASSERT_TRUE(WriteFile("d/Kelvo.ini", kLong));
    chmod("d/Kelvo.ini", 0666);
    chmod("d", path.directoryMode);
    const PermissionsCount permissions;  // inherited by the children
    const std::string texts[2] = {kLong, kShort};
    pid_t children[2];
    for (int i = 0; i < 2; ++i) {
      children[i] = fork();
      if (children[i] == 0) _exit(SaveAndCheck("d/Kelvo.ini", texts[i], texts[1 - i], saves) == 0 ? 0 : 1);
      ASSERT_GT(children[i], 0);
    }
    for (pid_t child : children) {
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a save failed or a read saw mixed text";
    }
    const std::string final = ReadFile("d/Kelvo.ini");
    EXPECT_TRUE(final == kLong || final == kShort) << final;
    EXPECT_EQ(Entries("d"), std::vector<std::string>{"Kelvo.ini"});
    chmod("d", 0755);
  }
}

}  // namespace
