// Saving Kelvo.ini where the file system or the process around it is odd: a
// lock another process keeps, no /proc, a very long path, a huge file in a
// folder that refuses new files, and temporaries that are not ours to remove.
// Each save runs in a child process of its own, so that it may lose /proc or
// memory, and it is stopped if it hangs.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <string>

#include <gtest/gtest.h>
#include "config/file_replace.h"
#include "tests/support/permissions.h"
#include "tests/support/scratch_dir.h"

namespace {

const std::string kOld =
    "Btn0=11\nBtn1=12\nBtn2=13\nBtn3=14\nBtn4=15\nBtn5=16\nBtn6=17\nBtn7=18\nAxis threshold=1500\n";
const std::string kNew =
    "Btn0=1\nBtn1=0\nBtn2=0\nBtn3=0\nBtn4=0\nBtn5=0\nBtn6=0\nBtn7=0\nAxis threshold=500\n";
constexpr int kCannot = 77;  // the child could not make the row's conditions

pid_t deadPid = 0;  // the PID of no process here, as another namespace's PID may be
int heldLock = -1;  // a lock this test process holds during the row
pid_t holder = 0;   // a process holding a lock during the row

std::string Temporary(int n) {
  return ".Kelvo.ini." + std::to_string(deadPid) + "." + std::to_string(n) + ".tmp";
}

// Made as a save killed part-way a minute ago would have left it.
bool MakeTemporary(int n, uid_t owner) {
  const std::string name = Temporary(n);
  const timespec minuteAgo[2] = {{std::time(nullptr) - 60, 0}, {std::time(nullptr) - 60, 0}};
  return WriteFile(name, "x") && chown(name.c_str(), owner, owner) == 0 &&
         utimensat(AT_FDCWD, name.c_str(), minuteAgo, 0) == 0;
}

int Save(const char* path) { return ReplaceFileContents(path, kNew.data(), kNew.size()) == 0 ? 0 : 1; }

// In the saving child: a mount namespace whose /proc is an empty tmpfs.
bool WithoutProc() {
  return unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
         mount("none", "/proc", "tmpfs", 0, nullptr) == 0;
}

int SaveWithoutProc() { return WithoutProc() ? Save("Kelvo.ini") : kCannot; }

const char* LinkTo(const char* file) {
  mkdir("real", 0755);
  return WriteFile(file, kOld) && symlink(file, "Kelvo.ini") == 0 ? nullptr : "the link cannot be made";
}

// Makes folders until Kelvo.ini's full path is 4,090 bytes long.
const char* GoDeep() {
  char cwd[4096];
  while (getcwd(cwd, sizeof(cwd)) != nullptr && std::strlen(cwd) < 4080) {
    const std::string name(std::min<size_t>(200, 4080 - std::strlen(cwd) - 1), 'd');
    if (mkdir(name.c_str(), 0755) != 0 || chdir(name.c_str()) != 0) return "the folders cannot be made";
  }
  return WriteFile("Kelvo.ini", kOld) ? nullptr : "Kelvo.ini cannot be made there";
}

const char* MakeHugeFile() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  return "a sanitizer's shadow memory does not fit under an address-space limit";
#endif
  const int fd = open("ro/Kelvo.ini", O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  const bool made = fd >= 0 && ftruncate(fd, 4LL << 30) == 0;
  if (fd >= 0) close(fd);
  return made && chmod("ro", 0555) == 0 ? nullptr : "a sparse 4 GB file cannot be made";
}

// A save in another PID namespace holds the lock of its temporary: flock(1)
// there keeps it until the row ends.
const char* HoldInAnotherPidNamespace(const std::string& name) {
  holder = fork();
  if (holder == 0) {
    execlp("unshare", "unshare", "-fp", "--kill-child", "--mount-proc", "flock", "-x", name.c_str(), "sleep",
           "30", static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int wait = 0; wait < 1000; ++wait) {
    const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    const bool held = fd >= 0 && flock(fd, LOCK_SH | LOCK_NB) != 0;
    if (fd >= 0) close(fd);
    if (held) return nullptr;
    if (waitpid(holder, nullptr, WNOHANG) == holder) {
      holder = 0;
      return "unshare -fp refuses to make a PID namespace here";
    }
    usleep(10000);
  }
  return "the lock holder did not take its lock";
}

struct Case {
  const char* name;
  const char* (*setUp)();  // null when ready, else why the row cannot run here
  int (*save)();           // run in a child: 0 stored, 1 not, kCannot
  bool stored;
  const char* file;  // holds kNew when stored, else kOld (null: not checked)
  int kept;          // a temporary that must stay (0: none)
  int removed;       // a temporary that must go (0: none)
};

const Case kCases[] = {
    {"LockHeldByAnotherProcess",
     []() -> const char* {
       heldLock = WriteFile("Kelvo.ini", kOld) ? open("Kelvo.ini", O_RDONLY | O_CLOEXEC) : -1;
       return heldLock >= 0 && flock(heldLock, LOCK_EX) == 0 ? nullptr : "the lock cannot be taken";
     },
     [] { return Save("Kelvo.ini"); }, false, "Kelvo.ini", 0, 0},
    {"LinkWithoutProc", [] { return LinkTo("real/settings.ini"); }, SaveWithoutProc, true,
     "real/settings.ini", 0, 0},
    {"LinkToALinkInAnotherFolderWithoutProc",
     []() -> const char* {
       mkdir("a", 0755);
       return symlink("../real/settings.ini", "a/next") == 0 ? LinkTo("a/next") : "the link cannot be made";
     },
     SaveWithoutProc, true, "real/settings.ini", 0, 0},
    {"LinkLoopWithoutProc",
     []() -> const char* {
       return symlink("Kelvo.ini", "loop") == 0 && symlink("loop", "Kelvo.ini") == 0 ? nullptr
                                                                                     : "no links here";
     },
     SaveWithoutProc, false, nullptr, 0, 0},
    {"LinkThroughAFolderWithoutSearchPermissionWithoutProc",
     []() -> const char* {
       mkdir("real", 0700);
       const char* why = LinkTo("real/settings.ini");
       return why == nullptr && chmod("real", 0600) == 0 ? nullptr : "the folder cannot be made";
     },
     [] {
       if (!WithoutProc()) return kCannot;
       const PermissionsCount permissions;
       return Save("Kelvo.ini");
     },
     false, "real/settings.ini", 0, 0},
    {"FullPathOf4090Bytes", GoDeep, [] { return Save("Kelvo.ini"); }, true, "Kelvo.ini", 0, 0},
    {"Sparse4GBFileInAReadOnlyFolderUnder1GBOfAddressSpace",
     [] { return mkdir("ro", 0755) == 0 ? MakeHugeFile() : "no folder"; },
     [] {
       const PermissionsCount permissions;
       const rlimit limit{1LL << 30, 1LL << 30};
       return setrlimit(RLIMIT_AS, &limit) == 0 ? Save("ro/Kelvo.ini") : kCannot;
     },
     true, "ro/Kelvo.ini", 0, 0},
    {"AnotherUsersTemporaryInASharedStickyFolder",
     []() -> const char* {
       if (geteuid() != 0) return "only root can give a file to another user";
       return chmod(".", 01777) == 0 && MakeTemporary(1, 65534) && WriteFile("Kelvo.ini", kOld)
                  ? nullptr
                  : "the shared folder cannot be made";
     },
     [] { return Save("Kelvo.ini"); }, true, "Kelvo.ini", 1, 0},
    {"OurAbandonedTemporary",
     [] { return MakeTemporary(2, geteuid()) && WriteFile("Kelvo.ini", kOld) ? nullptr : "no temporary"; },
     [] { return Save("Kelvo.ini"); }, true, "Kelvo.ini", 0, 2},
    {"LiveTemporaryOfASaveInAnotherPidNamespace",
     [] {
       return MakeTemporary(3, geteuid()) && WriteFile("Kelvo.ini", kOld)
                  ? HoldInAnotherPidNamespace(Temporary(3))
                  : "no temporary";
     },
     [] { return Save("Kelvo.ini"); }, true, "Kelvo.ini", 3, 0},
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

// The text of a small file; a size for a big one.
std::string Contents(const char* path) {
  struct stat st;
  if (stat(path, &st) == 0 && st.st_size > (1 << 20)) return std::to_string(st.st_size) + " bytes";
  return ReadFile(path);
}

class OddFileSystem : public testing::TestWithParam<Case> {
 protected:
  static void SetUpTestSuite() {
    deadPid = fork();
    if (deadPid == 0) _exit(0);
    waitpid(deadPid, nullptr, 0);
  }
  void TearDown() override {
    if (heldLock >= 0) close(heldLock);
    if (holder > 0 && kill(holder, SIGKILL) == 0) waitpid(holder, nullptr, 0);
    heldLock = -1;
    holder = 0;
    chmod(dir_.File("ro").c_str(), 0755);
    chmod(dir_.File("real").c_str(), 0755);
  }
  ScratchDir dir_;
};

TEST_P(OddFileSystem, Save) {
  const Case& c = GetParam();
  if (const char* why = c.setUp()) GTEST_SKIP() << why;
  const auto start = std::chrono::steady_clock::now();
  const auto seconds = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  const pid_t child = fork();
  // An exception ends the child, as it would end a host.
  if (child == 0) _exit([&]() noexcept { return c.save(); }());
  ASSERT_GT(child, 0);
  int status = 0;
  // A save that hangs is stopped, and fails the row.
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (seconds() > 20 && kill(child, SIGKILL) == 0) waitpid(child, &status, 0);
    usleep(10000);
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == kCannot) {
    GTEST_SKIP() << "the system refuses a mount namespace, or the limit, that this row needs";
  }
  EXPECT_LT(seconds(), 5.0) << "no save waits on another process for long";
  ASSERT_TRUE(WIFEXITED(status)) << "the save was killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status) == 0, c.stored);
  if (c.file != nullptr) {
    EXPECT_EQ(Contents(c.file), c.stored ? kNew : kOld);
  }
  EXPECT_TRUE(c.kept == 0 || FileExists(Temporary(c.kept))) << "a temporary not ours to remove is gone";
  EXPECT_TRUE(c.removed == 0 || !FileExists(Temporary(c.removed))) << "an abandoned temporary is left";
}

INSTANTIATE_TEST_SUITE_P(FileReplace, OddFileSystem, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
