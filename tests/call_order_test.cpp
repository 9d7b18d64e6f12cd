// Calls in orders a host may make them: polling before switching on, polling
// from another thread, a joystick plugged in between two switch-ons.
#include <gtk/gtk.h>

#include <atomic>
#include <thread>

#include "tests/support/plugin_fixture.h"

namespace {

using CallOrderTest = PluginTest;

TEST_F(CallOrderTest, PollingBeforeSwitchingOnReadsNoJoystick) {
  AttachJoystick();
  // Threshold 0 until the first load, yet no direction is held.
  unsigned long word = 0;
  EXPECT_EQ(plugin_.RunFunc(&word), 1);
  EXPECT_EQ(plugin_.Poll(0), pad::kDirections);
  EXPECT_EQ(plugin_.Poll(~0ul), ~0ul);
  EXPECT_FALSE(FileExists("Kelvo.ini"));
}

TEST_F(CallOrderTest, AJoystickPluggedInLaterIsFoundByTheNextSwitchOn) {
  WriteFile("Kelvo.ini", ConfigText({3, 0, 0, 0, 0, 0, 0, 0}, 1000));
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  ASSERT_EQ(dialogs_->texts().size(), 1u);
  EXPECT_EQ(dialogs_->texts()[0], "Error 0 opening the joystick");

  AttachJoystick();
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  EXPECT_EQ(dialogs_->texts().size(), 1u) << "the second switch-on opens the joystick";
  stick_->SetButton(2, true);
  EXPECT_EQ(plugin_.Poll(~0ul) & pad::A, 0u);

  // A joystick already open stays open through another switch-on.
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  EXPECT_EQ(dialogs_->texts().size(), 1u);
  EXPECT_EQ(plugin_.Poll(~0ul) & pad::A, 0u);
}

// The host polls on its own thread while its GTK thread switches the plug-in
// on and the file is written and read again. Every poll must complete with a
// word that some whole key map explains.
TEST_F(CallOrderTest, PollingThreadWhileTheGtkThreadSwitchesOnAndSaves) {
  AttachJoystick();
  stick_->SetButton(0, true);
  std::atomic<bool> stop{false};
  std::atomic<long> polls{0}, torn{0};
  std::thread poller([&] {
    while (!stop) {
      const unsigned long word = plugin_.Poll(~0ul);
      // Key map {1,1,1,1,1,1,1,1} or {0,...}: A and Y move together.
      if (((word & pad::A) == 0) != ((word & pad::Y) == 0)) ++torn;
      ++polls;
    }
  });
  for (int round = 0; round < 40; ++round) {
    if (round % 2) {
      WriteFile("Kelvo.ini", ConfigText({1, 1, 1, 1, 1, 1, 1, 1}, 1000));
    } else {
      std::remove("Kelvo.ini");  // the switch-on writes it afresh
    }
    ASSERT_EQ(plugin_.SwitchOn(), 1);
    while (gtk_events_pending()) gtk_main_iteration();
  }
  stop = true;
  poller.join();
  EXPECT_GT(polls.load(), 40);
  EXPECT_EQ(torn.load(), 0);
  EXPECT_TRUE(dialogs_->texts().empty());
}

}  // namespace
