// Built with the plug-in's code linked in, so that a test can shorten the
// capture's time limit and call the label helper directly.
#include <chrono>
#include <memory>

#include "tests/support/dialogs.h"
#include "tests/support/plugin_fixture.h"
#include "tests/support/scratch_dir.h"
#include "tests/ui/gtk_events.h"
#include "tests/ui/settings_host.h"
#include "ui/page.h"
#include "virtual_joystick/test_joystick.h"

// The capture's time limit, defined with the capture: not in its header, as
// only this test changes it.
extern std::chrono::milliseconds captureTimeLimit;

extern "C" {
int32_t GetInfoFunc(void*);
int32_t SetInfoFunc(void*);
int32_t RunFunc(unsigned long*);
int32_t SetPropertyFunc(void*);
int32_t DeleteFunc();
}

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class CaptureLimitTest : public testing::Test {
  const std::chrono::milliseconds kLimit = captureTimeLimit;

 protected:
  void SetUp() override {
    ASSERT_NE(gdk_display_get_default(), nullptr) << "needs an X display";
    plugin_.GetInfoFunc = &GetInfoFunc;
    plugin_.SetInfoFunc = &SetInfoFunc;
    plugin_.RunFunc = &RunFunc;
    plugin_.SetPropertyFunc = &SetPropertyFunc;
    plugin_.DeleteFunc = &DeleteFunc;
    stick_ = MakeTestJoystick(dir_.File("js0"), JoystickShape{12, 2, 1});
    ASSERT_TRUE(stick_->ok());
    host_ = std::make_unique<PropertiesWindow>();
  }
  void TearDown() override { captureTimeLimit = kLimit; }

  ScratchDir dir_;
  Plugin plugin_;
  std::unique_ptr<TestJoystick> stick_;
  DialogWatcher dialogs_;
  std::unique_ptr<PropertiesWindow> host_;
};

TEST_F(CaptureLimitTest, ACaptureWithoutAPressEndsAfterTheLimitAndChangesNothing) {
  const std::string original = ConfigText({5, 0, 0, 0, 0, 0, 0, 0}, 1000);
  ASSERT_TRUE(WriteFile("Kelvo.ini", original));
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  host_->AddPage(plugin_);
  GtkWidget* a = ChildNamed(host_->page(0), "btn1");
  ASSERT_NE(a, nullptr);

  // A real click: the prompt shows while the capture waits, then the label
  // returns and the file is not touched.
  host_->Settle();
  const std::string before = FileState("Kelvo.ini");
  captureTimeLimit = milliseconds(400);
  bool prompted = false;
  When prompt([a] { return TextOf(a) == "A : press\u2026"; }, [&] { prompted = true; });
  const auto start = Clock::now();
  ClickForReal(a);
  ASSERT_TRUE(RunUntil([&] { return prompted && TextOf(a) != "A : press\u2026"; }));
  const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
  EXPECT_GE(took, 400) << "not before the limit";
  EXPECT_EQ(TextOf(a), "A : Button 5");
  EXPECT_EQ(FileState("Kelvo.ini"), before);
  EXPECT_TRUE(dialogs_.texts().empty()) << "giving up is silent";

  // A press just inside the limit still counts, and the next capture works.
  // Pressed 150 ms after the prompt shows.
  Clock::time_point shown{};
  const auto pressTime = [&] {
    if (TextOf(a) != "A : press\u2026") return false;
    if (shown == Clock::time_point{}) shown = Clock::now();
    return Clock::now() - shown >= milliseconds(150);
  };
  When pressInside(pressTime, [this] { stick_->SetButton(7, true); });
  gtk_button_clicked(GTK_BUTTON(a));
  EXPECT_TRUE(pressInside.done()) << "the capture ended before the press";
  EXPECT_EQ(TextOf(a), "A : Button 8");
  EXPECT_EQ(ReadFile("Kelvo.ini"), ConfigText({8, 0, 0, 0, 0, 0, 0, 0}, 1000));
}

TEST(SetButtonText, FormatsThroughA512CharacterBufferWithoutOverflowing) {
  ASSERT_NE(gdk_display_get_default(), nullptr) << "needs an X display";
  GtkWidget* button = gtk_button_new_with_label("");
  g_object_ref_sink(button);
  GtkWarningCounter warnings;

  SetButtonText(GTK_BUTTON(button), "%s : Button %i", "Start", 4);
  EXPECT_EQ(TextOf(button), "Start : Button 4");
  SetButtonText(GTK_BUTTON(button), "%s", "100% : %i %s");
  EXPECT_EQ(TextOf(button), "100% : %i %s");

  const std::string longText(2000, 'x');
  SetButtonText(GTK_BUTTON(button), "%s", longText.c_str());
  EXPECT_EQ(TextOf(button), std::string(511, 'x'));

  // "é" is two bytes; cut after its first one, the whole character goes.
  const std::string straddling = std::string(510, 'y') + "\xC3\xA9" + "zzz";
  SetButtonText(GTK_BUTTON(button), "%s", straddling.c_str());
  EXPECT_EQ(TextOf(button), std::string(510, 'y'));
  EXPECT_EQ(warnings.count(), 0) << warnings.last();
  g_object_unref(button);
}

}  // namespace
