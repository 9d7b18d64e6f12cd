// Devices coming and going fast or beside the pad, while a host polls:
// - a storm of unplug-and-plug cycles with gaps down to 0 ms, after which the
//   pad is read again (KELVO_STORM_CYCLES sets the count: the kernel stage
//   runs 300 on real pads, quick runs fewer);
// - a keyboard, a mouse or a second pad plugged in and pulled out while a
//   key is held: the key stays held;
// - a pad whose node this process cannot read yet (as before udev sets its
//   permissions): read once the node becomes readable, without a switch-on;
// - a pad pulled out and put back at once, again and again, or gone as it
//   is opened; another node SDL may list coming and going.
// The other devices and the node's mode are a real kernel's: those cases run
// on uinput pads only (KELVO_TEST_PAD=uinput, the kernel stage's VM).
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <random>
#include <thread>

#include <SDL.h>

#include "tests/support/permissions.h"
#include "tests/support/plugin_fixture.h"
#include "tests/support/sdl_differences.h"
#include "virtual_joystick/uinput_device.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const std::array<int, 8> kMap{1, 2, 3, 4, 5, 6, 7, 8};
constexpr milliseconds kReadLimit{5000};

bool AHeld(unsigned long word) { return (word & pad::A) == 0; }

class DeviceChurnTest : public PluginTest {
 protected:
  void Prepare() {
    AttachJoystick();
    ASSERT_TRUE(WriteFile("Kelvo.ini", ConfigText(kMap, 1000)));
  }
  void Start() {
    Prepare();
    ASSERT_EQ(plugin_.SwitchOn(), 1);
    ASSERT_TRUE(dialogs_->texts().empty());
  }
  // Key A read held after pressing button 1 (PressUntilHeld), from the
  // host's polls or this thread's own.
  bool PressUntilRead(const std::function<unsigned long()>& read = nullptr) {
    return PressUntilHeld(0, pad::A, kReadLimit, read) < kReadLimit;
  }
};

int StormCycles() {
  const char* cycles = std::getenv("KELVO_STORM_CYCLES");
  return cycles != nullptr && std::atoi(cycles) > 0 ? std::atoi(cycles) : 40;
}

// Rounds of five quick cycles (gaps of 0 to 10 ms), a pause of up to 60 ms
// between rounds, a host thread polling at about 60 Hz throughout (on
// classic SDL the unplugs fall between its polls, not inside one).
TEST_F(DeviceChurnTest, AStormOfUnplugsAndPlugsEndsWithThePadRead) {
  Start();
  std::atomic<bool> stop{false};
  std::atomic<unsigned long> last{~0ul};
  std::atomic<long> polls{0};
  // Held by each poll, and by each unplug where a pad going while SDL opens
  // it would crash SDL itself.
  std::mutex calls;
  const bool unplugBetweenPolls = ExpectedDifferences().crashesIfAPadGoesWhileOpening;
  std::thread host([&] {
    while (!stop) {
      {
        std::lock_guard<std::mutex> poll(calls);
        last = plugin_.Poll(~0ul);
      }
      ++polls;
      std::this_thread::sleep_for(milliseconds(16));
    }
  });
  const unsigned seed = static_cast<unsigned>(Clock::now().time_since_epoch().count());
  std::mt19937 random(seed);
  const int cycles = StormCycles();
  std::printf("%d cycles, seed %u\n", cycles, seed);
  RecordProperty("cycles", cycles);
  const auto gap = [&](int most) {
    std::this_thread::sleep_for(milliseconds(std::uniform_int_distribution<int>(0, most)(random)));
  };
  bool plugged = true;
  for (int cycle = 0; cycle < cycles && plugged; ++cycle) {
    {
      std::unique_lock<std::mutex> apart(calls, std::defer_lock);
      if (unplugBetweenPolls) apart.lock();
      plugged = stick_->Unplug();
    }
    gap(10);
    plugged = plugged && stick_->Plug({12, 2, 1});
    gap(cycle % 5 == 4 ? 60 : 10);
  }
  ASSERT_TRUE(plugged);
  const bool read = PressUntilRead([&] { return last.load(); });
  stop = true;
  host.join();
  EXPECT_TRUE(read) << "the pad is not read after " << cycles << " cycles (seed " << seed << ")";
  EXPECT_GT(polls.load(), 0);
  ASSERT_TRUE(stick_->SetButton(0, false));
  EXPECT_TRUE(PressUntilRead()) << "read again by the host's own thread";
}

TEST_F(DeviceChurnTest, OtherDevicesComingAndGoingLeaveAHeldKeyHeld) {
  if (!UinputPadsRequested()) GTEST_SKIP() << "other devices are made on kernel devices only";
  Start();
  ASSERT_TRUE(PressUntilRead());
  // Every poll for a while reads the key held.
  const auto heldThroughout = [&] {
    const auto start = Clock::now();
    while (Clock::now() - start < milliseconds(500)) {
      if (!AHeld(plugin_.Poll(~0ul))) return false;
      std::this_thread::sleep_for(milliseconds(2));
    }
    return true;
  };
  struct Case {
    const char* what;
    UinputLayout layout;
  };
  const Case cases[] = {{"a keyboard", UinputKeyboardLayout()}, {"a mouse", UinputMouseLayout()}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UinputDevice device;
    ASSERT_TRUE(device.Create(c.layout));
    EXPECT_TRUE(heldThroughout()) << "while it is there";
    ASSERT_TRUE(device.Destroy());
    EXPECT_TRUE(heldThroughout()) << "after it went";
  }
  {
    SCOPED_TRACE("a second pad");
    UinputJoystick second({12, 2, 1}, UinputJoystick::DefaultName() + " 2");
    ASSERT_TRUE(second.ok());
    EXPECT_TRUE(heldThroughout()) << "while it is there";
    ASSERT_TRUE(second.SetButton(1, true));
    EXPECT_NE(plugin_.Poll(~0ul) & pad::B, 0u) << "the second pad drives nothing";
    ASSERT_TRUE(second.Unplug());
    EXPECT_TRUE(heldThroughout()) << "after it went";
  }
  EXPECT_TRUE(dialogs_->texts().empty());
}

// Root reads any node: this thread runs without the capabilities that let it
// (PermissionsCount), as a user's host does.
TEST_F(DeviceChurnTest, APadWhoseNodeIsNotReadableYetIsReadOnceItIs) {
  if (!UinputPadsRequested()) GTEST_SKIP() << "node modes are a kernel device's";
  AttachJoystick();
  auto* pad = static_cast<UinputJoystick*>(stick_.get());
  ASSERT_FALSE(pad->nodes().empty());
  const auto chmodAll = [&](mode_t mode) {
    bool all = true;
    for (const std::string& node : pad->nodes()) all = chmod(node.c_str(), mode) == 0 && all;
    return all;
  };
  ASSERT_TRUE(chmodAll(0));
  PermissionsCount asAUser;
  ASSERT_TRUE(WriteFile("Kelvo.ini", ConfigText(kMap, 1000)));
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  ASSERT_EQ(dialogs_->texts().size(), 1u);
  EXPECT_EQ(dialogs_->texts()[0], "Error 0 opening the joystick");
  EXPECT_EQ(plugin_.Poll(~0ul), ~0ul) << "as without a pad";
  ASSERT_TRUE(chmodAll(0600));
  EXPECT_TRUE(PressUntilRead()) << "not read once readable";
  EXPECT_EQ(dialogs_->texts().size(), 1u);
}

// A pad pulled out and put back at once, again and again, polled while out
// in some cycles and switched on again in others: the polls always end on
// the live pad. On classic SDL the device is read through its path, on
// sdl12-compat through SDL 2's instance IDs, which the rapid cycles change
// under the plug-in.
TEST_F(DeviceChurnTest, APadUnpluggedAndPluggedRapidlyIsAlwaysFollowed) {
  Start();
  for (int cycle = 0; cycle < 40; ++cycle) {
    SCOPED_TRACE(cycle);
    ASSERT_TRUE(stick_->Unplug());
    if (cycle % 2 == 1) plugin_.Poll(0);
    if (cycle % 4 == 3) std::this_thread::sleep_for(milliseconds(5));
    ASSERT_TRUE(stick_->Plug({12, 2, 1}));
    if (cycle % 5 == 4) {
      ASSERT_EQ(plugin_.SwitchOn(), 1);
    }
    ASSERT_TRUE(PressUntilRead()) << "the pad put back is read";
    ASSERT_TRUE(stick_->SetButton(0, false));
  }
}

// sdl12-compat: the host's joystick subsystem lists a pad that is gone by
// the time the plug-in opens it. The plug-in counts it as gone, not as a
// joystick to follow for good, and reads the pad once the host lists it again.
TEST_F(DeviceChurnTest, APadGoneAsItIsOpenedIsNotFollowed) {
  if (LinkedSdlImplementation() != SdlImplementation::kCompat) GTEST_SKIP() << "sdl12-compat only";
  Prepare();
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0);
  ASSERT_EQ(SDL_NumJoysticks(), 1);
  ASSERT_TRUE(stick_->Unplug());
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  EXPECT_EQ(plugin_.Poll(~0ul), ~0ul);
  // The host starts its subsystem again with the pad back.
  SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
  ASSERT_TRUE(stick_->Plug({12, 2, 1}));
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0);
  ASSERT_TRUE(stick_->SetButton(0, true));
  EXPECT_TRUE(PollUntil(plugin_, ~0ul, AHeld, kReadLimit)) << "the pad listed again is read";
  SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

// Classic SDL on the simulated pad: another node SDL may list (a second
// path in SDL_JOYSTICK_DEVICE) comes and goes while a key is held: the held
// key never flickers, because only joystick 0's own node going makes the
// plug-in list again (which would reopen the pad and lose its state).
TEST_F(DeviceChurnTest, AnotherListedNodeComingAndGoingLeavesAHeldKeyHeld) {
  if (LinkedSdlImplementation() != SdlImplementation::kClassic || UinputPadsRequested()) {
    GTEST_SKIP() << "classic SDL on the simulated pad only";
  }
  Prepare();
  const std::string other = dir_.File("other");
  setenv("SDL_JOYSTICK_DEVICE", (dir_.File("js0") + ":" + other).c_str(), 1);
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  ASSERT_TRUE(stick_->SetButton(0, true));
  for (int round = 0; round < 20; ++round) {
    ASSERT_EQ(mkfifo(other.c_str(), 0600), 0);
    for (int i = 0; i < 5; ++i) {
      std::this_thread::sleep_for(milliseconds(2));
      EXPECT_EQ(plugin_.Poll(~0ul) & pad::A, 0u) << "round " << round;
    }
    ASSERT_EQ(unlink(other.c_str()), 0);
    for (int i = 0; i < 5; ++i) {
      std::this_thread::sleep_for(milliseconds(2));
      EXPECT_EQ(plugin_.Poll(~0ul) & pad::A, 0u) << "round " << round;
    }
  }
}

}  // namespace
