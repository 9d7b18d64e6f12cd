// A capture that the rest of the world interrupts: the properties dialog
// closed or destroyed, the plug-in switched on again, a message box opened,
// the joystick pulled out. Each must end or go on in a sound state: no
// change the user did not make, no grab left behind, every page up to date.
#include <gdk/gdkkeysyms.h>
#include <chrono>

#include <string>

#include "tests/ui/capture_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr char kNoJoystick[] = "No joystick is open";

class CaptureSurvivalTest : public CapturePageTest {
 protected:
  void SetUp() override {
    CapturePageTest::SetUp();
    keyA_ = Key(0);
  }
  // Clicks key A, does what interrupts once the prompt shows, and returns
  // how long the click took to be handled: the whole capture.
  milliseconds CaptureOnA(const std::function<void()>& interrupt) {
    bool interrupted = false;
    When when([this] { return TextOf(keyA_) == kPromptA; },
              [&] {
                interrupted = true;
                interrupt();
              });
    // This loop only runs again once the click's handler, the capture, returned.
    const auto start = Clock::now();
    ClickForReal(keyA_);
    EXPECT_TRUE(RunUntil([&] { return interrupted; }));
    const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    EXPECT_TRUE(interrupted);
    EXPECT_EQ(gtk_grab_get_current(), nullptr) << "no grab is left to freeze the host";
    return took;
  }
  GtkWidget* keyA_ = nullptr;
};

TEST_F(CaptureSurvivalTest, ClosingTheDialogEndsTheCaptureAndChangesNothing) {
  GtkWarningCounter warnings;
  g_object_ref(keyA_);  // to read it after its page is gone
  const milliseconds took = CaptureOnA([this] { gtk_widget_hide(host_->window()); });
  EXPECT_LT(took.count(), 5000) << "ended by the closing, not by the time limit";
  gtk_widget_show(host_->window());
  host_->Settle();
  EXPECT_EQ(TextOf(keyA_), "A : Button 1") << "shown again, the page shows the key map";

  EXPECT_LT(CaptureOnA([this] { host_.reset(); }).count(), 5000);
  g_object_unref(keyA_);
  keyA_ = nullptr;
  ASSERT_TRUE(stick_->SetButton(3, true));
  RunUntil([] { return false; }, milliseconds(100));  // a capture still listening would take it
  EXPECT_EQ(FileState("Kelvo.ini"), before_);
  ASSERT_TRUE(stick_->Reset());
  EXPECT_EQ(ProbeButtons(), kStartMap);
  EXPECT_EQ(warnings.count(), 0) << warnings.last();
}

// Switching on reloads Kelvo.ini: the capture goes on, assigns on top of
// the reloaded map, and every page, in any window, shows it when shown.
TEST_F(CaptureSurvivalTest, SwitchingOnAgainMidCaptureAndEveryPageShowsTheOutcome) {
  ASSERT_EQ(host_->AddPage(plugin_), 0);
  PropertiesWindow other;
  gtk_window_move(GTK_WINDOW(other.window()), 400, 0);  // clear of the clicks
  ASSERT_EQ(other.AddPage(plugin_), 0);
  host_->Settle();

  CaptureOnA([this] {
    ASSERT_TRUE(WriteFile("Kelvo.ini", ConfigText({1, 7, 0, 0, 0, 6, 0, 0}, 1500)));
    ASSERT_EQ(plugin_.SwitchOn(), 1);
    ASSERT_TRUE(stick_->SetButton(3, true));
  });
  const std::vector<std::string> expected{"A : Button 4", "B : Button 7", "Select : None", "Start : None",
                                          "L : None",     "R : Button 6", "X : None",      "Y : None"};
  // Each page as its tab is chosen.
  for (GtkWidget* page : {host_->page(0), host_->page(1), other.page(0)}) {
    GtkNotebook* notebook = GTK_NOTEBOOK(gtk_widget_get_parent(page));
    gtk_notebook_set_current_page(notebook, gtk_notebook_page_num(notebook, page));
    // Within a tick of the page's own timeout.
    EXPECT_TRUE(RunUntil([&] { return KeyTexts(page) == expected; }, milliseconds(2000)));
    EXPECT_EQ(KeyTexts(page), expected);
    EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(FirstChildOfType(page, GTK_TYPE_COMBO_BOX))), 2);
  }
  EXPECT_EQ(ReadFile("Kelvo.ini"), ConfigText({4, 7, 0, 0, 0, 6, 0, 0}, 1500));
}

// A box from the host (or the plug-in) over a listening page: once it is
// answered the page listens again, and its keys work.
TEST_F(CaptureSurvivalTest, AMessageBoxOverTheCaptureLeavesItListening) {
  CaptureOnA([this] {
    GtkWidget* box = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_INFO, GTK_BUTTONS_OK, "%s",
                                            "The host has something to say");
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
    EXPECT_EQ(TextOf(keyA_), kPromptA);
    PressKey(keyA_, GDK_KEY_Escape);
  });
  EXPECT_EQ(dialogs_->texts(), std::vector<std::string>{"The host has something to say"});
  EXPECT_EQ(TextOf(keyA_), "A : Button 1");
  EXPECT_EQ(FileState("Kelvo.ini"), before_);
}

// The capture ends at the first poll that finds nothing to read, says so in
// the same box as a click without a joystick, and changes nothing.
TEST_F(CaptureSurvivalTest, TheJoystickPulledOutEndsTheCaptureWithAMessage) {
  const milliseconds took = CaptureOnA([this] { ASSERT_TRUE(stick_->Unplug()); });
  EXPECT_LT(took.count(), 5000) << "ended by the unplugging, not by the time limit";
  EXPECT_EQ(dialogs_->texts(), std::vector<std::string>{kNoJoystick});
  EXPECT_EQ(TextOf(keyA_), "A : Button 1");
  EXPECT_EQ(FileState("Kelvo.ini"), before_);
}

}  // namespace
