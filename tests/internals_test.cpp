// Helpers tested directly: the message box and the file replacement that
// keeps Kelvo.ini whole when a save fails.
#include <fcntl.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <string>

#include <gtest/gtest.h>
#include "config/file_replace.h"
#include "plugin/message.h"
#include "tests/support/dialogs.h"
#include "tests/support/permissions.h"
#include "tests/support/scratch_dir.h"

namespace {

const std::string kOld =
    "Btn0=1\nBtn1=2\nBtn2=3\nBtn3=4\nBtn4=5\nBtn5=6\nBtn6=7\nBtn7=8\nAxis threshold=1500\n";
const std::string kNew =
    "Btn0=0\nBtn1=0\nBtn2=0\nBtn3=0\nBtn4=0\nBtn5=0\nBtn6=0\nBtn7=0\nAxis threshold=1000\n";

bool Replace(const std::string& path, const std::string& text) {
  return ReplaceFileContents(path.c_str(), text.data(), text.size());
}

int Mode(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

int EntryCount(const std::string& dir) {
  int count = 0;
  DIR* d = opendir(dir.c_str());
  while (dirent* e = readdir(d)) count += std::string(e->d_name) != "." && std::string(e->d_name) != "..";
  closedir(d);
  return count;
}

TEST(FileReplace, ReplacesAndKeepsPermissionBits) {
  ScratchDir dir;
  WriteFile("Kelvo.ini", kOld);
  chmod("Kelvo.ini", 0640);
  ASSERT_TRUE(Replace("Kelvo.ini", kNew));
  EXPECT_EQ(ReadFile("Kelvo.ini"), kNew);
  EXPECT_EQ(Mode("Kelvo.ini"), 0640);
  EXPECT_EQ(EntryCount("."), 1);
}

TEST(FileReplace, ANewFileGetsWhatFopenWouldGiveIt) {
  ScratchDir dir;
  const mode_t old = umask(027);
  ASSERT_TRUE(Replace("Kelvo.ini", kNew));
  umask(old);
  EXPECT_EQ(Mode("Kelvo.ini"), 0640);
  EXPECT_EQ(ReadFile("Kelvo.ini"), kNew);
}

TEST(FileReplace, AFullDiskLeavesTheOldFileWhole) {
  ScratchDir dir;
  WriteFile("Kelvo.ini", kOld);
  signal(SIGXFSZ, SIG_IGN);
  rlimit limit{30, RLIM_INFINITY};
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  EXPECT_FALSE(Replace("Kelvo.ini", kNew));
  limit = {RLIM_INFINITY, RLIM_INFINITY};
  setrlimit(RLIMIT_FSIZE, &limit);
  EXPECT_EQ(ReadFile("Kelvo.ini"), kOld);
  EXPECT_EQ(EntryCount("."), 1) << "the temporary file is removed";
}

TEST(FileReplace, ASymbolicLinkHasItsTargetReplaced) {
  ScratchDir dir;
  mkdir("real", 0755);
  WriteFile("real/settings.ini", kOld);
  chmod("real/settings.ini", 0600);
  ASSERT_EQ(symlink("real/settings.ini", "Kelvo.ini"), 0);
  ASSERT_TRUE(Replace("Kelvo.ini", kNew));
  struct stat st;
  ASSERT_EQ(lstat("Kelvo.ini", &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadFile("real/settings.ini"), kNew);
  EXPECT_EQ(Mode("real/settings.ini"), 0600);
  EXPECT_EQ(EntryCount("real"), 1);
}

TEST(FileReplace, AReadOnlyDirectoryRewritesAWritableFileInPlace) {
  ScratchDir dir;
  mkdir("locked", 0755);
  WriteFile("locked/Kelvo.ini", kOld);
  chmod("locked/Kelvo.ini", 0666);
  chmod("locked", 0555);
  {
    PermissionsCount permissions;
    EXPECT_TRUE(Replace("locked/Kelvo.ini", kNew));
  }
  EXPECT_EQ(ReadFile("locked/Kelvo.ini"), kNew);
  EXPECT_EQ(EntryCount("locked"), 1);
  chmod("locked", 0755);
}

TEST(FileReplace, AReadOnlyDirectoryAndFileRefuseAndKeepTheFile) {
  ScratchDir dir;
  mkdir("locked", 0755);
  WriteFile("locked/Kelvo.ini", kOld);
  chmod("locked/Kelvo.ini", 0444);
  chmod("locked", 0555);
  {
    PermissionsCount permissions;
    EXPECT_FALSE(Replace("locked/Kelvo.ini", kNew));
  }
  EXPECT_EQ(ReadFile("locked/Kelvo.ini"), kOld);
  chmod("locked", 0755);
}

TEST(MessageBox, ShowsPerCentSignsLiterallyAndCutsLongTexts) {
  ASSERT_NE(gdk_display_get_default(), nullptr) << "needs an X display";
  DialogWatcher watcher;
  Message("%s", "100% sure: %i %s %n");
  Message("Error %i opening the joystick", 3);
  const std::string longText(2000, 'x');
  Message("%s", longText.c_str());
  ASSERT_EQ(watcher.texts().size(), 3u);
  EXPECT_EQ(watcher.texts()[0], "100% sure: %i %s %n");
  EXPECT_EQ(watcher.texts()[1], "Error 3 opening the joystick");
  EXPECT_EQ(watcher.texts()[2], std::string(511, 'x'));
}

}  // namespace
