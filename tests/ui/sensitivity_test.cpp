// Thresholds read from Kelvo.ini meet the sensitivity combo when the page is
// built: which item is selected, what the threshold becomes, and whether the
// file is rewritten.
#include <algorithm>
#include <climits>

#include "tests/support/plugin_fixture.h"
#include "tests/ui/gtk_events.h"
#include "tests/ui/settings_host.h"

namespace {

class SensitivityTest : public PageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    AttachJoystick({4, 2, 1});
  }
  GtkComboBox* ComboOf(int page) {
    return GTK_COMBO_BOX(FirstChildOfType(host_->page(page), GTK_TYPE_COMBO_BOX));
  }
};

// The smallest push that reads as a direction, for a threshold in memory: a
// stick at rest never counts.
int PushFor(int threshold) { return threshold < 1 ? 1 : (threshold > 32768 ? 32768 : threshold); }

TEST_F(SensitivityTest, ThresholdFromTheFileSelectsItsBandAndIsNormalised) {
  struct Case {
    int fromFile;
    int active;     // selected item, -1 for none
    int threshold;  // in memory afterwards
    bool rewritten;
  };
  const Case cases[] = {
      // A file that holds the normalised text already is not written again.
      {500, 0, 500, false},
      {501, 0, 500, true},
      {999, 0, 500, true},
      {1000, 1, 1000, false},
      {1200, 1, 1000, true},
      {1499, 1, 1000, true},
      {1500, 2, 1500, false},
      {1999, 2, 1500, true},
      // Index -1: nothing selected, nothing changed, nothing written.
      {499, -1, 499, false},
      {1, -1, 1, false},
      {0, -1, 0, false},
      {-1, -1, -1, false},
      {-499, -1, -499, false},
      // Outside the three bands and -1 altogether: the same.
      {-500, -1, -500, false},
      {-999, -1, -999, false},
      {-1000, -1, -1000, false},
      {2000, -1, 2000, false},
      {2499, -1, 2499, false},
      {2500, -1, 2500, false},
      {40000, -1, 40000, false},
      {INT_MAX, -1, INT_MAX, false},
      {INT_MIN, -1, INT_MIN, false},
  };
  const std::array<int, 8> keys{2, 0, 0, 1, 0, 0, 0, 4};
  GtkWarningCounter warnings;
  int page = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "threshold " << c.fromFile);
    ASSERT_TRUE(WriteFile("Kelvo.ini", ConfigText(keys, c.fromFile)));
    ASSERT_EQ(plugin_.SwitchOn(), 1);
    // A write replaces the file: its inode shows even the same text written.
    const std::string original = FileState("Kelvo.ini");

    ASSERT_EQ(host_->AddPage(plugin_), 0);
    ASSERT_EQ(host_->pageCount(), page + 1);
    EXPECT_EQ(gtk_combo_box_get_active(ComboOf(page)), c.active);
    if (c.rewritten) {
      EXPECT_EQ(ReadFile("Kelvo.ini"), ConfigText(keys, c.threshold));
    } else {
      EXPECT_EQ(FileState("Kelvo.ini"), original);
    }
    EXPECT_EQ(ProbeThreshold(), PushFor(c.threshold));
    // The tooltip gives each item's threshold, and the one in force when it
    // is none of them.
    gchar* tip = gtk_widget_get_tooltip_text(GTK_WIDGET(ComboOf(page)));
    const std::string tipText = tip ? tip : "", choices = "High 500, Medium 1000, Low 1500";
    g_free(tip);
    const bool listed = c.threshold == 500 || c.threshold == 1000 || c.threshold == 1500;
    const std::string tail = listed ? choices : choices + "\nIn force now: " + std::to_string(c.threshold);
    EXPECT_EQ(tipText.substr(tipText.size() - std::min(tipText.size(), tail.size())), tail) << tipText;
    ++page;
  }
  EXPECT_EQ(warnings.count(), 0) << warnings.last();
  EXPECT_TRUE(dialogs_->texts().empty());
}

// A page built before the first switch-on loads Kelvo.ini first, as
// switching on would: it shows the stored map, and a change keeps the other
// keys and the threshold instead of writing zeros.
TEST_F(SensitivityTest, APageBuiltBeforeTheFirstSwitchOnShowsAndKeepsTheStoredMap) {
  const std::array<int, 8> keys{1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_TRUE(WriteFile("Kelvo.ini", ConfigText(keys, 1700)));
  GtkWarningCounter warnings;
  ASSERT_EQ(host_->AddPage(plugin_), 0);
  EXPECT_EQ(KeyTexts(host_->page(0)),
            (std::vector<std::string>{"A : Button 1", "B : Button 2", "Select : Button 3", "Start : Button 4",
                                      "L : Button 5", "R : Button 6", "X : Button 7", "Y : Button 8"}));
  EXPECT_EQ(gtk_combo_box_get_active(ComboOf(0)), 2);
  EXPECT_EQ(ReadFile("Kelvo.ini"), ConfigText(keys, 1500)) << "normalised as after a switch-on";

  gtk_combo_box_set_active(ComboOf(0), 0);
  EXPECT_EQ(ReadFile("Kelvo.ini"), ConfigText(keys, 500));
  gtk_button_clicked(GTK_BUTTON(ButtonLabelled(host_->page(0), "Save config")));
  EXPECT_EQ(ReadFile("Kelvo.ini"), ConfigText(keys, 500));
  EXPECT_EQ(warnings.count(), 0) << warnings.last();
  EXPECT_TRUE(dialogs_->texts().empty());
}

}  // namespace
