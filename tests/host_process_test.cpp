// What switching on and unloading leave in the host's process: its signal
// dispositions, its SDL joystick subsystem, its descriptors and its event
// queue; and the entry points' answer to null records.
#include <SDL.h>
#include <dirent.h>
#include <dlfcn.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/plugin_fixture.h"
#include "tests/support/sdl_differences.h"

namespace {

using HostProcessTest = PluginTest;

// Handler and flags of every signal. SA_RESTORER is left out: the C library
// adds it to every disposition it sets, even a restored default.
std::vector<std::string> SignalDispositions() {
  constexpr int kRestorer = 0x04000000;
  std::vector<std::string> all;
  for (int sig = 1; sig < NSIG; ++sig) {
    struct sigaction action;
    if (sigaction(sig, nullptr, &action) != 0) continue;
    all.push_back(std::to_string(sig) + ": " +
                  std::to_string(reinterpret_cast<uintptr_t>(action.sa_handler)) + " flags " +
                  std::to_string(action.sa_flags & ~kRestorer));
  }
  return all;
}

// How many descriptors are open, and how many of them on this path.
int OpenDescriptors(const std::string& path = "") {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (const dirent* entry = dir ? readdir(dir) : nullptr) {
    char target[4096];
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    const ssize_t n = readlink(link.c_str(), target, sizeof(target) - 1);
    if (n < 0) continue;
    target[n] = '\0';
    if (path.empty() || path == target) ++count;
  }
  if (dir != nullptr) closedir(dir);
  return count;
}

void HostHandler(int) {}

// Switching on, polling and unloading, with the host's signals at their
// defaults and then with handlers of its own.
TEST_F(HostProcessTest, SignalDispositionsStayAsTheHostSetThem) {
  AttachJoystick();
  for (const bool hostHandlers : {false, true}) {
    SCOPED_TRACE(hostHandlers ? "host handlers" : "defaults");
    if (hostHandlers) {
      for (int sig : {SIGINT, SIGTERM, SIGQUIT, SIGALRM, SIGSEGV}) signal(sig, HostHandler);
      plugin_ = LoadPlugin();
    }
    const std::vector<std::string> before = SignalDispositions();
    ASSERT_EQ(plugin_.SwitchOn(), 1);
    plugin_.Poll(0);
    EXPECT_EQ(SignalDispositions(), before) << "after switching on";
    ASSERT_EQ(plugin_.SwitchOn(), 1);
    EXPECT_EQ(SignalDispositions(), before) << "after switching on again";
    plugin_.DeleteFunc();
    dlclose(plugin_.handle);
    EXPECT_EQ(SignalDispositions(), before) << "after unloading";
  }
}

// The host's SDL: started before the plug-in, restarted under it, stopped
// before the plug-in is unloaded.
TEST_F(HostProcessTest, TheHostsJoystickSubsystemIsLeftToTheHost) {
  enum class Host { kStartsFirst, kRestartsUnderThePlugin, kQuitsBeforeUnloading };
  const Host cases[] = {Host::kStartsFirst, Host::kRestartsUnderThePlugin, Host::kQuitsBeforeUnloading};
  AttachJoystick();
  WriteFile("Kelvo.ini", ConfigText({1, 0, 0, 0, 0, 0, 0, 0}, 1000));
  for (Host host : cases) {
    SCOPED_TRACE(static_cast<int>(host));
    if (host != Host::kStartsFirst) plugin_ = LoadPlugin();
    SDL_Joystick* hosts = nullptr;
    if (host == Host::kStartsFirst) {
      ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0);
      hosts = SDL_JoystickOpen(0);
      ASSERT_NE(hosts, nullptr);
    }
    stick_->SetButton(0, true);
    if (hosts != nullptr) SDL_JoystickUpdate();
    ASSERT_EQ(plugin_.SwitchOn(), 1);
    ASSERT_EQ(plugin_.SwitchOn(), 1);
    EXPECT_EQ(plugin_.Poll(~0ul) & pad::A, 0u) << "button 1 drives A";

    if (host == Host::kRestartsUnderThePlugin) {
      SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
      // The plug-in's joystick went with the restart. Reading it would be a
      // read of freed memory, which AddressSanitizer reports.
      unsigned long word = ~0ul;
      EXPECT_EQ(plugin_.RunFunc(&word), 1);
      stick_->Reset();  // an SDL 2 virtual pad is attached again (test_joystick.h)
      ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0);
      hosts = SDL_JoystickOpen(0);
      EXPECT_EQ(plugin_.RunFunc(&word), 1);
      ASSERT_EQ(plugin_.SwitchOn(), 1);
      stick_->SetButton(0, true);
      EXPECT_EQ(plugin_.Poll(~0ul) & pad::A, 0u) << "read again after switching on";
    }
    if (host == Host::kQuitsBeforeUnloading) SDL_Quit();
    plugin_.DeleteFunc();
    dlclose(plugin_.handle);

    if (host == Host::kQuitsBeforeUnloading) continue;
    // The host's subsystem still runs, its joystick still open and holding
    // the button it saw pressed.
    ASSERT_NE(SDL_WasInit(SDL_INIT_JOYSTICK), 0u);
    ASSERT_NE(SDL_JoystickOpened(0), 0);
    SDL_Joystick* now = SDL_JoystickOpen(0);
    EXPECT_EQ(now, hosts);
    SDL_JoystickUpdate();
    EXPECT_EQ(SDL_JoystickGetButton(now, 0), 1);
    SDL_JoystickClose(now);
    SDL_JoystickClose(hosts);
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    stick_->SetButton(0, false);
  }
}

TEST_F(HostProcessTest, LoadingAndUnloadingLeavesNoDescriptorOpen) {
  AttachJoystick();
  plugin_.DeleteFunc();
  dlclose(plugin_.handle);
  // Descriptors that SDL itself keeps once started (SDL 2's device
  // monitor, while another SDL 2 user holds it) are counted after the first.
  int before = -1;
  const bool fifo = ExpectedDifferences().joystickReadThroughTheTestsFifo;
  const std::string fifoPath = dir_.File("js0");
  const int testsOwn = OpenDescriptors(fifoPath);  // the FIFO's writer
  for (int cycle = 0; cycle < 5; ++cycle) {
    SCOPED_TRACE(cycle);
    plugin_ = LoadPlugin();
    ASSERT_TRUE(plugin_.loaded());
    stick_->Reset();  // an SDL 2 virtual pad is attached again (test_joystick.h)
    ASSERT_EQ(plugin_.SwitchOn(), 1);
    plugin_.Poll(0);
    if (fifo) {
      EXPECT_GT(OpenDescriptors(fifoPath), testsOwn) << "SDL has the FIFO open";
    }
    plugin_.DeleteFunc();
    dlclose(plugin_.handle);
    EXPECT_EQ(dlopen(KELVO_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr) << "the library is unloaded";
    EXPECT_EQ(OpenDescriptors(fifoPath), testsOwn) << "nothing is left open on the joystick";
    if (before < 0) before = OpenDescriptors();
    EXPECT_EQ(OpenDescriptors(), before);
  }
  EXPECT_TRUE(dialogs_->texts().empty());
}

TEST_F(HostProcessTest, NullRecordsReturnZero) {
  AttachJoystick();
  for (const bool switchedOn : {false, true}) {
    SCOPED_TRACE(switchedOn ? "switched on" : "not switched on");
    if (switchedOn) {
      ASSERT_EQ(plugin_.SwitchOn(), 1);
    }
    EXPECT_EQ(plugin_.GetInfoFunc(nullptr), 0);
    EXPECT_EQ(plugin_.RunFunc(nullptr), 0);
    EXPECT_EQ(plugin_.SetInfoFunc(nullptr), 0);
    EXPECT_EQ(plugin_.SetPropertyFunc(nullptr), 0);
  }
}

// SDL's event queue: SDL 2 queues one event per joystick change, so with
// nobody reading the queue it fills (65,535 events, about 15 MB). A host that
// started SDL's video reads the queue and still gets its joystick events,
// whether video started before switching on or after.
enum class Video { kNone, kBeforeSwitchingOn, kAfterSwitchingOn };
class EventQueueTest : public PluginTest, public testing::WithParamInterface<Video> {};

// Joystick events waiting in SDL 2's queue (sdl12-compat); -1 on classic SDL.
int Sdl2JoystickEventsQueued() {
  void* sdl2 = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_NOLOAD);
  if (sdl2 == nullptr) return -1;
  auto peep = reinterpret_cast<int (*)(void*, int, int, uint32_t, uint32_t)>(dlsym(sdl2, "SDL_PeepEvents"));
  constexpr int kPeek = 1;
  const int count = peep != nullptr ? peep(nullptr, 0, kPeek, 0x600, 0x6FF) : -1;
  dlclose(sdl2);
  return count;
}

TEST_P(EventQueueTest, JoystickEventsAreQueuedOnlyForAHostThatReadsThem) {
  AttachJoystick();
  WriteFile("Kelvo.ini", ConfigText({1, 0, 0, 0, 0, 0, 0, 0}, 1000));
  if (GetParam() == Video::kBeforeSwitchingOn) {
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0);
  }
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  if (GetParam() == Video::kAfterSwitchingOn) {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));  // the plug-in looks again
    plugin_.Poll(0);
  }
  SDL_Event event;
  while (GetParam() != Video::kNone && SDL_PollEvent(&event)) {
  }
  // Fewer changes for a reader: SDL 1.2's queue holds 128 events.
  const int changes = GetParam() == Video::kNone ? 2000 : 100;
  for (int i = 0; i < changes; ++i) {
    stick_->SetButton(0, i % 2 == 0);
    plugin_.Poll(0);
  }
  if (GetParam() == Video::kNone) {
    EXPECT_LE(Sdl2JoystickEventsQueued(), 0);
    return;
  }
  int presses = 0;
  while (SDL_PollEvent(&event)) presses += event.type == SDL_JOYBUTTONDOWN ? 1 : 0;
  EXPECT_EQ(presses, changes / 2);
}

std::string VideoName(const testing::TestParamInfo<Video>& info) {
  const char* names[] = {"NoVideo", "VideoBeforeSwitchingOn", "VideoAfterSwitchingOn"};
  return names[static_cast<int>(info.param)];
}
INSTANTIATE_TEST_SUITE_P(Hosts, EventQueueTest,
                         testing::Values(Video::kNone, Video::kBeforeSwitchingOn, Video::kAfterSwitchingOn),
                         VideoName);

}  // namespace
