// A pad that comes and goes while the host polls: unplugging releases every
// key and direction it drove at the next poll, a pad plugged in (the same or
// another) is picked up by the polls within a second, and a capture never
// takes a button from a pad that is gone. Unplugging removes the FIFO (and
// closes its writer) on classic SDL, detaches the SDL 2 virtual pad on
// sdl12-compat (virtual_joystick/test_joystick.h).
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "tests/support/sdl_differences.h"
#include "tests/ui/gtk_events.h"
#include "tests/ui/settings_host.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr char kNoJoystick[] = "No joystick is open";
// Longer than the plug-in's device check interval (4 ms): a host polling
// that far apart makes each poll one that looks.
constexpr milliseconds kNextCheck{10};
constexpr milliseconds kPickUpLimit{1000};
const std::array<int, 8> kMap{1, 2, 3, 4, 5, 6, 7, 8};
constexpr unsigned long kAllKeys = pad::kOwned & ~pad::kDirections;

class HotplugTest : public PageTest {
 protected:
  void Start(JoystickShape shape = {12, 2, 1}) {
    AttachJoystick(shape);
    ASSERT_TRUE(WriteFile("Kelvo.ini", ConfigText(kMap, 1000)));
    ASSERT_EQ(plugin_.SwitchOn(), 1);
    ASSERT_TRUE(dialogs_->texts().empty());
  }
  // After an unplug: every key the host's own and every direction released,
  // at the next poll where SDL reports the removal itself, else once the
  // plug-in has looked.
  void ExpectReleased() {
    const auto released = [](unsigned long word) { return word == pad::kDirections; };
    if (ExpectedDifferences().removalSeenInTheNextPoll) {
      EXPECT_EQ(plugin_.Poll(0), pad::kDirections);
    } else {
      EXPECT_TRUE(PollUntil(plugin_, 0, released));
    }
    for (int i = 0; i < 5; ++i) EXPECT_EQ(plugin_.Poll(0), pad::kDirections) << "poll " << i;
  }
  // Presses button 1 until key A reads held (PressUntilHeld); returns how
  // long that took, or the limit and a failure. The longest single poll (the
  // one that opens the pad) is printed, in microseconds.
  milliseconds PollUntilAIsHeld(milliseconds limit = kPickUpLimit) {
    std::chrono::microseconds longest{0};
    const milliseconds took = PressUntilHeld(0, pad::A, limit, [&] {
      const auto before = Clock::now();
      const unsigned long word = plugin_.Poll(~0ul);
      longest =
          std::max(longest, std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - before));
      return word;
    });
    if (took >= limit) {
      ADD_FAILURE() << "the pad was not picked up within " << limit.count() << " ms";
    } else {
      std::printf("picked up after %lld ms; longest poll %lld us\n", static_cast<long long>(took.count()),
                  static_cast<long long>(longest.count()));
    }
    return took;
  }
};

TEST_F(HotplugTest, UnplugReleasesEveryHeldKeyAndDirectionAtTheNextPoll) {
  Start();
  struct Case {
    const char* what;
    std::vector<int> buttons;  // from 0
    int16_t x, y;
    uint8_t hat;
    unsigned long held;
  };
  const Case cases[] = {
      {"button 1", {0}, 0, 0, 0, pad::A},
      {"stick up-left", {}, -20000, -20000, 0, pad::Up | pad::Left},
      {"hat right", {}, 0, 0, kHatRight, pad::Right},
      {"everything",
       {0, 1, 2, 3, 4, 5, 6, 7},
       20000,
       20000,
       kHatUp,
       kAllKeys | pad::Up | pad::Down | pad::Right},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (int b : c.buttons) ASSERT_TRUE(stick_->SetButton(b, true));
    ASSERT_TRUE(stick_->SetAxis(0, c.x) && stick_->SetAxis(1, c.y) && stick_->SetHat(c.hat));
    EXPECT_EQ(plugin_.Poll(~0ul) & pad::kOwned, pad::kOwned & ~c.held);

    ASSERT_TRUE(stick_->Unplug());
    // As without a joystick: directions released, key bits the host's own.
    ExpectReleased();
    EXPECT_EQ(plugin_.Poll(~0ul), ~0ul);

    ASSERT_TRUE(stick_->Plug({12, 2, 1}));
    PollUntilAIsHeld();
    ASSERT_TRUE(stick_->Reset());
    EXPECT_EQ(plugin_.Poll(~0ul) & pad::kOwned, pad::kOwned);
  }
  EXPECT_TRUE(dialogs_->texts().empty());
}

TEST_F(HotplugTest, APadPluggedInIsPickedUpByThePollsWithinASecond) {
  struct Case {
    const char* what;
    JoystickShape shape;
  };
  const Case cases[] = {
      {"the same pad", {12, 2, 1}},
      {"another pad with 4 buttons and no hat", {4, 2, 0}},
      {"another pad with 16 buttons", {16, 2, 1}},
  };
  Start();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(stick_->Unplug());
    ExpectReleased();
    ASSERT_TRUE(stick_->Plug(c.shape));
    const milliseconds took = PollUntilAIsHeld();
    RecordProperty(std::string("pick_up_ms_") + std::to_string(c.shape.buttons),
                   static_cast<int>(took.count()));
    // Y is on button 8: driven by a pad that has it, the host's own otherwise.
    stick_->SetButton(7, true);
    const bool hasY = c.shape.buttons >= 8;
    EXPECT_EQ(plugin_.Poll(~0ul) & pad::Y, hasY ? 0u : pad::Y);
    EXPECT_EQ(plugin_.Poll(0) & pad::Y, 0u);
    ASSERT_TRUE(stick_->Reset());
  }
  EXPECT_TRUE(dialogs_->texts().empty());
}

TEST_F(HotplugTest, APadMissingAtSwitchOnIsPickedUpWhenPluggedIn) {
  // The device path is set, but nothing is there yet.
  setenv("SDL_JOYSTICK_DEVICE", dir_.File("js0").c_str(), 1);
  ASSERT_TRUE(WriteFile("Kelvo.ini", ConfigText(kMap, 1000)));
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  ASSERT_EQ(dialogs_->texts().size(), 1u);
  EXPECT_EQ(dialogs_->texts()[0], "Error 0 opening the joystick");
  AttachJoystick();
  PollUntilAIsHeld();
}

// A pad named in SDL_JOYSTICK_DEVICE whose folder goes with it (a folder of
// links that udev makes and removes) is read again when both come back: the
// folder's watch is made again, about once a second while it is missing.
TEST_F(HotplugTest, APadWhoseFolderGoesAndComesBackIsReadAgain) {
  const std::string folder = dir_.File("pads");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  stick_ = MakeTestJoystick(folder + "/js0", {12, 2, 1});
  ASSERT_TRUE(stick_->ok());
  ASSERT_TRUE(WriteFile("Kelvo.ini", ConfigText(kMap, 1000)));
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    PollUntilAIsHeld(milliseconds(3000));
    ASSERT_TRUE(stick_->Unplug());
    ASSERT_EQ(rmdir(folder.c_str()), 0);
    ExpectReleased();
    // The polls meanwhile see the folder's watch go.
    for (int i = 0; i < 5; ++i, std::this_thread::sleep_for(kNextCheck)) plugin_.Poll(~0ul);
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    ASSERT_TRUE(stick_->Plug({12, 2, 1}));
  }
  PollUntilAIsHeld(milliseconds(3000));
  EXPECT_TRUE(dialogs_->texts().empty());
}

// The page's capture: started after the unplug with a button held at that
// moment, and running when the pad is unplugged.
TEST_F(HotplugTest, ACaptureNeverTakesAButtonFromAnUnpluggedPad) {
  Start();
  ASSERT_EQ(host_->AddPage(plugin_), 0);
  GtkButton* keyB = GTK_BUTTON(ChildNamed(host_->page(0), kKeyButtonNames[1]));
  const std::string before = ReadFile("Kelvo.ini");

  ASSERT_TRUE(stick_->SetButton(3, true));
  ASSERT_TRUE(stick_->Unplug());
  gtk_button_clicked(keyB);
  const auto waitForTheMessage = [&](size_t count) {
    // As long as a busy machine may need; a capture that missed the unplug
    // ends at its 10 s limit with no message at all.
    RunUntil([&] { return dialogs_->texts().size() >= count; }, std::chrono::seconds(15));
  };
  waitForTheMessage(1);
  ASSERT_EQ(dialogs_->texts().size(), 1u);
  EXPECT_EQ(dialogs_->texts()[0], kNoJoystick);

  ASSERT_TRUE(stick_->Plug({12, 2, 1}));
  PollUntilAIsHeld();
  ASSERT_TRUE(stick_->Reset());
  // Listening when the pad goes away (unplugged from another thread while
  // the GTK thread captures).
  std::thread unplug;
  When listening([&] { return TextOf(GTK_WIDGET(keyB)) == "B : press\u2026"; },
                 [&] { unplug = std::thread([&] { stick_->Unplug(); }); });
  gtk_button_clicked(keyB);
  waitForTheMessage(2);
  ASSERT_TRUE(unplug.joinable()) << "the capture never listened";
  unplug.join();
  ASSERT_EQ(dialogs_->texts().size(), 2u);
  EXPECT_EQ(dialogs_->texts()[1], kNoJoystick);
  EXPECT_EQ(TextOf(GTK_WIDGET(keyB)), "B : Button 2");
  EXPECT_EQ(ReadFile("Kelvo.ini"), before);
}

// A host polling on its own thread while the pad is unplugged and plugged
// in again, and the GTK thread switches the plug-in on now and then. A and
// Y share button 1, so a word with one held and not the other is torn.
TEST_F(HotplugTest, PollingFromAnotherThreadThroughUnplugAndPlug) {
  AttachJoystick();
  ASSERT_TRUE(WriteFile("Kelvo.ini", ConfigText({1, 0, 0, 0, 0, 0, 0, 1}, 1000)));
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  std::atomic<bool> stop{false};
  std::atomic<long> polls{0}, torn{0};
  std::atomic<unsigned long> last{~0ul};
  std::thread poller([&] {
    while (!stop) {
      const unsigned long word = plugin_.Poll(~0ul);
      if (((word & pad::A) == 0) != ((word & pad::Y) == 0)) ++torn;
      last = word;
      ++polls;
    }
  });
  const auto seen = [&](bool held) {
    return WaitUntil([&] { return ((last.load() & pad::A) == 0) == held; }, kPickUpLimit);
  };
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE(round);
    EXPECT_LT(PressUntilHeld(0, pad::A, kPickUpLimit, [&] { return last.load(); }), kPickUpLimit);
    ASSERT_TRUE(stick_->Unplug());
    EXPECT_TRUE(seen(false)) << "released after the unplug";
    if (round % 3 == 2) {
      ASSERT_EQ(plugin_.SwitchOn(), 1);
      while (gtk_events_pending()) gtk_main_iteration();
    }
    ASSERT_TRUE(stick_->Plug({12, 2, 1}));
  }
  stop = true;
  poller.join();
  EXPECT_GT(polls.load(), 10);
  EXPECT_EQ(torn.load(), 0);
}

}  // namespace
