// A host that makes life hard: descriptors or inotify instances running out
// at switch-on, a thread opening files meanwhile, a child forked while a
// thread polls, two copies of the library, and no /proc. The plug-in must
// neither crash the host nor lose the pad for good.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "tests/support/plugin_fixture.h"
#include "tests/ui/gtk_events.h"

namespace {

using std::chrono::milliseconds;

const std::array<int, 8> kMap{1, 0, 0, 0, 0, 0, 0, 0};

class HostileHostTest : public PluginTest {
 public:
  void Start() {
    AttachJoystick();
    ASSERT_TRUE(WriteFile("Kelvo.ini", ConfigText(kMap, 1000)));
  }
  std::string Scratch(const std::string& name) const { return dir_.File(name); }
  // Polls until key A reads as wanted, for up to limit.
  bool PollUntilA(Plugin& plugin, bool held, milliseconds limit = milliseconds(3000)) {
    return RunUntil([&] { return ((plugin.Poll(~0ul) & pad::A) == 0) == held; }, limit);
  }
};

// Opens descriptors of the test's own until only spare are left.
std::vector<int> UseDescriptorsLeaving(int spare) {
  std::vector<int> held;
  held.reserve(4096);
  int fd;
  while ((fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0) held.push_back(fd);
  for (int i = 0; i < spare && !held.empty(); ++i) {
    close(held.back());
    held.pop_back();
  }
  return held;
}

std::vector<int> UseInotifyInstances() {
  std::vector<int> held;
  int fd;
  while ((fd = inotify_init1(IN_CLOEXEC)) >= 0) held.push_back(fd);
  return held;
}

void CloseAll(std::vector<int>* fds) {
  for (int fd : *fds) close(fd);
  fds->clear();
}

// Switching on with a resource short: no crash, the usual message, and the
// pad found once the resource is back: by the polls where the key map could
// be loaded, by the next switch-on where not even Kelvo.ini could be read.
TEST_F(HostileHostTest, ResourcesShortAtSwitchOnAreRetried) {
  struct Case {
    const char* what;
    std::vector<int> (*take)();
    bool plugged;     // the pad is there at switch-on (else plugged in after it)
    bool byThePolls;  // found without switching on again
  };
  // The inotify case comes first: an unloaded library keeps nothing open.
  const Case cases[] = {
      {"no inotify instance left", UseInotifyInstances, false, true},
      {"one descriptor to spare", [] { return UseDescriptorsLeaving(1); }, true, false},
      {"two descriptors to spare", [] { return UseDescriptorsLeaving(2); }, true, true},
  };
  struct rlimit limit;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
  const struct rlimit small = {1024, limit.rlim_max};
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &small), 0);
  Start();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    dlclose(plugin_.handle);  // unloaded: every case starts afresh
    plugin_ = LoadPlugin();
    if (!c.plugged) {
      ASSERT_TRUE(stick_->Unplug());
    }
    std::vector<int> taken = c.take();
    ASSERT_FALSE(taken.empty());
    ASSERT_EQ(plugin_.SwitchOn(), 1);
    CloseAll(&taken);
    ASSERT_GE(dialogs_->texts().size(), 1u);
    EXPECT_EQ(dialogs_->texts()[0], "Error 0 opening the joystick");
    if (!c.plugged) {
      ASSERT_TRUE(stick_->Plug({12, 2, 1}));
    }
    ASSERT_TRUE(stick_->SetButton(0, true));
    if (!c.byThePolls) {
      ASSERT_EQ(plugin_.SwitchOn(), 1);
    }
    EXPECT_TRUE(PollUntilA(plugin_, true)) << "the pad is read once the resource is back";
    ASSERT_TRUE(stick_->Reset());
    dialogs_ = std::make_unique<DialogWatcher>();
  }
  setrlimit(RLIMIT_NOFILE, &limit);
}

struct ProcessCase {
  const char* what;
  void (*run)(HostileHostTest* test, Plugin* plugin, TestJoystick* stick);
};

// A host thread creating pipes while the plug-in switches on: the host's
// descriptors keep their flags, and the pad is followed through an unplug.
void ThreadOpeningFiles(HostileHostTest*, Plugin* plugin, TestJoystick* stick) {
  for (int run = 0; run < 20; ++run) {
    std::atomic<bool> stop{false};
    std::vector<int> pipes;
    std::thread opener([&] {
      while (!stop && pipes.size() < 400) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) == 0) pipes.insert(pipes.end(), {fds[0], fds[1]});
      }
    });
    ASSERT_EQ(plugin->SwitchOn(), 1);
    stop = true;
    opener.join();
    for (int fd : pipes) {
      EXPECT_EQ(fcntl(fd, F_GETFL) & O_APPEND, 0) << "a host's pipe was changed";
      close(fd);
    }
    ASSERT_TRUE(stick->SetButton(0, true));
    EXPECT_EQ(plugin->Poll(~0ul) & pad::A, 0u);
    ASSERT_TRUE(stick->Unplug());
    EXPECT_TRUE(PollUntil(*plugin, ~0ul, [](unsigned long word) { return (word & pad::A) != 0; }))
        << "released after the unplug";
    ASSERT_TRUE(stick->Plug({12, 2, 1}));
    ASSERT_TRUE(stick->SetButton(0, true));
    EXPECT_TRUE(PollUntil(*plugin, ~0ul, [](unsigned long word) { return (word & pad::A) == 0; }))
        << "the pad plugged in again is read";
    ASSERT_TRUE(stick->SetButton(0, false));
  }
}

// Children forked while a thread polls: each exits cleanly, and so does
// one that execs.
void ForkWhilePolling(HostileHostTest*, Plugin* plugin, TestJoystick*) {
  ASSERT_EQ(plugin->SwitchOn(), 1);
  std::atomic<bool> stop{false};
  std::thread poller([&] {
    while (!stop) plugin->Poll(0);
  });
  int clean = 0;
  constexpr int kChildren = 50;
  for (int i = 0; i < kChildren; ++i) {
    const pid_t child = fork();
    if (child == 0) {
      if (i % 10 == 9) execl("/bin/true", "true", static_cast<char*>(nullptr));
      exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) ++clean;
  }
  stop = true;
  poller.join();
  EXPECT_EQ(clean, kChildren);
}

// A second copy of the library, loaded from another file, stays off: its
// switch-on shows the joystick message, polls on both threads are safe,
// and unloading it leaves the first copy's pad working.
void TwoCopies(HostileHostTest* test, Plugin* first, TestJoystick* stick) {
  ASSERT_EQ(first->SwitchOn(), 1);
  const std::string copy = test->Scratch("copy-of-libKelvo.so");
  ASSERT_TRUE(WriteFile(copy, ReadFile(KELVO_LIBRARY_PATH)));
  setenv("KELVO_LIBRARY", copy.c_str(), 1);
  Plugin second = LoadPlugin();
  unsetenv("KELVO_LIBRARY");
  ASSERT_TRUE(second.loaded());
  ASSERT_NE(second.handle, first->handle);
  ASSERT_EQ(second.SwitchOn(), 1);
  ASSERT_TRUE(stick->SetButton(0, true));
  std::atomic<bool> stop{false};
  std::thread poller([&] {
    while (!stop) second.Poll(~0ul);
  });
  for (int i = 0; i < 2000; ++i) EXPECT_EQ(first->Poll(~0ul) & pad::A, 0u);
  stop = true;
  poller.join();
  EXPECT_EQ(second.Poll(~0ul), ~0ul) << "the second copy reads no joystick";
  second.DeleteFunc();
  dlclose(second.handle);
  EXPECT_EQ(first->Poll(~0ul) & pad::A, 0u) << "the first copy's pad survives";
  ASSERT_TRUE(stick->Unplug());
  EXPECT_TRUE(PollUntil(*first, ~0ul, [](unsigned long word) { return (word & pad::A) != 0; }))
      << "and its unplug is seen";
}

TEST_F(HostileHostTest, HostProcessesThatThreadForkAndLoadTwice) {
  const ProcessCase cases[] = {
      {"a host thread opening files", ThreadOpeningFiles},
      {"children forked while a thread polls", ForkWhilePolling},
      {"two copies of the library", TwoCopies},
  };
  Start();
  for (const ProcessCase& c : cases) {
    SCOPED_TRACE(c.what);
    c.run(this, &plugin_, stick_.get());
    ASSERT_TRUE(stick_->ok() || stick_->Plug({12, 2, 1}));
    ASSERT_TRUE(stick_->Reset());
  }
  // Only the second copy spoke: "Error 0 opening the joystick".
  ASSERT_EQ(dialogs_->texts().size(), 1u);
  EXPECT_EQ(dialogs_->texts()[0], "Error 0 opening the joystick");
}

// Without /proc (a chroot, a container): an unplugged pad's keys are
// released and a pad plugged in again is read. Runs itself again in a mount
// namespace whose /proc is an empty tmpfs.
TEST_F(HostileHostTest, HotplugWithoutProc) {
  if (getenv("KELVO_TEST_WITHOUT_PROC") == nullptr) {
    if (sizeof(void*) == 4) GTEST_SKIP() << "the 32-bit test program cannot be started again from a shell";
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    ASSERT_GT(n, 0);
    self[n] = '\0';
    // The child ends with _exit, past its scratch folder's removal: its
    // TMPDIR is this test's folder, which goes with this test.
    const std::string command = "TMPDIR='" + Scratch(".") + "' KELVO_TEST_WITHOUT_PROC=1 unshare -m sh -c " +
                                "'mount -t tmpfs none /proc && exec \"$0\" " +
                                "--gtest_filter=HostileHostTest.HotplugWithoutProc' '" + self + "'";
    const int status = std::system(command.c_str());
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
    if (std::system("unshare -m sh -c 'mount -t tmpfs none /proc' 2>/dev/null") != 0) {
      GTEST_SKIP() << "this machine refuses a mount namespace (unshare -m)";
    }
    FAIL() << "the run without /proc failed (status " << status << ")";
  }
  ASSERT_NE(access("/proc/self", F_OK), 0) << "/proc is still mounted";
  Start();
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(stick_->SetButton(0, true));
    EXPECT_TRUE(PollUntilA(plugin_, true));
    ASSERT_TRUE(stick_->Unplug());
    EXPECT_TRUE(PollUntilA(plugin_, false, milliseconds(100))) << "released after the unplug";
    ASSERT_TRUE(stick_->Plug({12, 2, 1}));
  }
  EXPECT_TRUE(dialogs_->texts().empty());
  // A sanitizer's leak check at exit needs /proc: the child ends here.
  std::fflush(nullptr);
  _exit(HasFailure() ? 1 : 0);
}

}  // namespace
