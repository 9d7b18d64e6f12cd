// The starting point of the capture tests: the plug-in switched on with a
// 12-button joystick and a known key map, and its page shown in the host's
// window at the screen's corner, where real clicks reach it.
#ifndef KELVO_TESTS_UI_CAPTURE_FIXTURE_H
#define KELVO_TESTS_UI_CAPTURE_FIXTURE_H

#include <array>
#include <string>

#include "tests/support/plugin_fixture.h"
#include "tests/ui/gtk_events.h"
#include "tests/ui/settings_host.h"

// A on button 1, R on button 6, the other keys on none.
const std::array<int, 8> kStartMap{1, 0, 0, 0, 0, 6, 0, 0};
constexpr char kPromptA[] = "A : press\u2026";

class CapturePageTest : public PageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    AttachJoystick({12, 2, 1});
    ASSERT_TRUE(WriteFile("Kelvo.ini", ConfigText(kStartMap, 1000)));
    ASSERT_EQ(plugin_.SwitchOn(), 1);
    gtk_window_move(GTK_WINDOW(host_->window()), 0, 0);
    ASSERT_EQ(host_->AddPage(plugin_), 0);
    host_->Settle();
    before_ = FileState("Kelvo.ini");
  }
  GtkWidget* Key(int key, int page = 0) { return ChildNamed(host_->page(page), kKeyButtonNames[key]); }

  std::string before_;  // Kelvo.ini as the page found it
};

#endif
