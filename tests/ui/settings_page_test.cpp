// The settings page as the host's notebook receives it: every widget's type,
// text, name, place and size, the build order, the sensitivity choice and
// the save button.
#include <unistd.h>

#include "tests/support/plugin_fixture.h"
#include "tests/ui/settings_host.h"

namespace {

class SettingsPageTest : public PageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    AttachJoystick({12, 2, 1});
  }
  void SwitchOnWith(const std::string& text) {
    ASSERT_TRUE(WriteFile("Kelvo.ini", text));
    ASSERT_EQ(plugin_.SwitchOn(), 1);
  }
};

TEST_F(SettingsPageTest, EveryWidgetHasItsTypeTextNamePlaceAndSize) {
  SwitchOnWith(ConfigText({3, 0, -2, 12, 1, 0, 7, 1}, 1000));
  GtkWarningCounter warnings;
  ASSERT_EQ(host_->AddPage(plugin_), 0);
  ASSERT_EQ(host_->pageCount(), 1);
  GtkWidget* page = host_->page(0);
  ASSERT_TRUE(GTK_IS_FIXED(page));

  GtkWidget* tab = gtk_notebook_get_tab_label(host_->notebook(), page);
  ASSERT_TRUE(GTK_IS_LABEL(tab));
  EXPECT_EQ(TextOf(tab), "Kelvo Plugin Config");

  struct Row {
    GType type;
    const char* text;
    const char* name;  // null: not checked beyond not being a key button's name
    Placement place;
  };
  // In the order the page puts them: the key buttons in key order, then the
  // label, the combo and the save button.
  const Row rows[] = {
      {GTK_TYPE_BUTTON, "A : Button 3", "btn1", {8, 56, 144, 24}},
      {GTK_TYPE_BUTTON, "B : None", "btn2", {8, 80, 144, 24}},
      {GTK_TYPE_BUTTON, "Select : Button -2", "btn3", {8, 32, 144, 24}},
      {GTK_TYPE_BUTTON, "Start : Button 12", "btn4", {152, 32, 144, 24}},
      {GTK_TYPE_BUTTON, "L : Button 1", "btn5", {8, 8, 144, 24}},
      {GTK_TYPE_BUTTON, "R : None", "btn6", {152, 8, 144, 24}},
      {GTK_TYPE_BUTTON, "X : Button 7", "btn7", {152, 56, 144, 24}},
      {GTK_TYPE_BUTTON, "Y : Button 1", "btn8", {152, 80, 144, 24}},
      {GTK_TYPE_LABEL, "Axis sensitivity :", nullptr, {48, 112, 112, 24}},
      {GTK_TYPE_COMBO_BOX, "", nullptr, {160, 112, 93, 29}},
      {GTK_TYPE_BUTTON, "Save config", nullptr, {88, 160, 144, 24}},
  };
  const std::vector<GtkWidget*> children = Children(page);
  ASSERT_EQ(children.size(), sizeof(rows) / sizeof(rows[0]));
  for (size_t i = 0; i < children.size(); ++i) {
    const Row& row = rows[i];
    GtkWidget* w = children[i];
    SCOPED_TRACE(row.text);
    EXPECT_EQ(G_OBJECT_TYPE(w), row.type) << G_OBJECT_TYPE_NAME(w);
    EXPECT_EQ(TextOf(w), row.text);
    const std::string name = gtk_widget_get_name(w);
    if (row.name != nullptr) {
      EXPECT_EQ(name, row.name);
    } else {
      EXPECT_NE(name.rfind("btn", 0), 0u) << "only key buttons are named btn<n>: " << name;
    }
    EXPECT_EQ(PlacementOf(page, w), row.place);
    EXPECT_TRUE(gtk_widget_get_visible(w));
  }
  EXPECT_TRUE(gtk_widget_get_visible(page));
  EXPECT_TRUE(gtk_widget_get_visible(tab));

  GtkWidget* combo = children[9];
  EXPECT_EQ(ComboItems(combo), (std::vector<std::string>{"High", "Medium", "Low"}));
  EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(combo)), 1);
  EXPECT_EQ(warnings.count(), 0) << warnings.last();
}

// At the moment the page joins the notebook, the key buttons still carry
// their creation texts and the combo is empty; only then are the labels set
// and the items added, and selecting the initial item saves the file.
TEST_F(SettingsPageTest, PageJoinsTheNotebookBeforeItsTextsAndItemsAreSet) {
  const std::string file = ConfigText({1, 2, 3, 4, 5, 6, 7, 8}, 1200);
  SwitchOnWith(file);

  struct Seen {
    bool called = false;
    std::vector<std::string> keyTexts;
    int comboItems = -1;
    bool allShown = false;
    std::string fileThen;
  } seen;
  auto onPageAdded = +[](GtkNotebook*, GtkWidget* page, guint, gpointer data) {
    auto* s = static_cast<Seen*>(data);
    s->called = true;
    s->keyTexts = KeyTexts(page);
    GtkWidget* combo = FirstChildOfType(page, GTK_TYPE_COMBO_BOX);
    s->comboItems = combo ? static_cast<int>(ComboItems(combo).size()) : -1;
    s->allShown = gtk_widget_get_visible(page);
    for (GtkWidget* child : Children(page)) s->allShown = s->allShown && gtk_widget_get_visible(child);
    s->fileThen = ReadFile("Kelvo.ini");
  };
  g_signal_connect(host_->notebook(), "page-added", G_CALLBACK(onPageAdded), &seen);

  host_->AddPage(plugin_);
  ASSERT_TRUE(seen.called);
  EXPECT_EQ(seen.keyTexts, (std::vector<std::string>{
                               "A : ", "B : ", "Select : ", "Start : ", "L : ", "R : ", "X : ", "Y : "}));
  EXPECT_EQ(seen.comboItems, 0);
  EXPECT_TRUE(seen.allShown);
  EXPECT_EQ(seen.fileThen, file);

  EXPECT_EQ(KeyTexts(host_->page(0)),
            (std::vector<std::string>{"A : Button 1", "B : Button 2", "Select : Button 3", "Start : Button 4",
                                      "L : Button 5", "R : Button 6", "X : Button 7", "Y : Button 8"}));
  EXPECT_EQ(ReadFile("Kelvo.ini"), ConfigText({1, 2, 3, 4, 5, 6, 7, 8}, 1000));
  EXPECT_EQ(ProbeThreshold(), 1000);
}

TEST_F(SettingsPageTest, TwoCallsGiveTwoIdenticalPagesAndEachSaves) {
  SwitchOnWith(ConfigText({4, 0, 0, 0, 0, 0, 0, 9}, 1700));
  host_->AddPage(plugin_);
  EXPECT_EQ(ReadFile("Kelvo.ini"), ConfigText({4, 0, 0, 0, 0, 0, 0, 9}, 1500));
  ASSERT_EQ(unlink("Kelvo.ini"), 0);
  host_->AddPage(plugin_);
  EXPECT_EQ(ReadFile("Kelvo.ini"), ConfigText({4, 0, 0, 0, 0, 0, 0, 9}, 1500))
      << "the second build saved too";

  ASSERT_EQ(host_->pageCount(), 2);
  GtkWidget* first = host_->page(0);
  GtkWidget* second = host_->page(1);
  EXPECT_NE(first, second);
  EXPECT_EQ(KeyTexts(first), KeyTexts(second));
  EXPECT_EQ(KeyTexts(second)[0], "A : Button 4");
  EXPECT_EQ(TextOf(gtk_notebook_get_tab_label(host_->notebook(), second)), "Kelvo Plugin Config");
  EXPECT_EQ(Children(first).size(), Children(second).size());
  EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(FirstChildOfType(second, GTK_TYPE_COMBO_BOX))), 2);
}

TEST_F(SettingsPageTest, ChoosingLowSetsTheThresholdAndSavesAtOnce) {
  SwitchOnWith(ConfigText({2, 0, 0, 0, 0, 0, 0, 0}, 500));
  host_->AddPage(plugin_);
  GtkComboBox* combo = GTK_COMBO_BOX(FirstChildOfType(host_->page(0), GTK_TYPE_COMBO_BOX));
  ASSERT_NE(combo, nullptr);
  ASSERT_EQ(gtk_combo_box_get_active(combo), 0);

  const int choices[] = {2, 1, 0, 2};
  for (int choice : choices) {
    gtk_combo_box_set_active(combo, choice);
    const int threshold = choice * 500 + 500;
    EXPECT_EQ(ReadFile("Kelvo.ini"), ConfigText({2, 0, 0, 0, 0, 0, 0, 0}, threshold));
    EXPECT_EQ(ProbeThreshold(), threshold) << "the next poll uses it";
  }
  EXPECT_TRUE(dialogs_->texts().empty());
}

TEST_F(SettingsPageTest, SaveConfigRewritesTheFileEvenWhenNothingChanged) {
  SwitchOnWith(ConfigText({1, 1, 0, 0, 0, 0, 0, 5}, 1000));
  host_->AddPage(plugin_);
  GtkWidget* save = ButtonLabelled(host_->page(0), "Save config");
  ASSERT_NE(save, nullptr);

  // A hand edit after the page was built is overwritten with the map in memory.
  ASSERT_TRUE(WriteFile("Kelvo.ini", "edited by hand\n"));
  gtk_button_clicked(GTK_BUTTON(save));
  EXPECT_EQ(ReadFile("Kelvo.ini"), ConfigText({1, 1, 0, 0, 0, 0, 0, 5}, 1000));
  ASSERT_EQ(unlink("Kelvo.ini"), 0);
  gtk_button_clicked(GTK_BUTTON(save));
  EXPECT_EQ(ReadFile("Kelvo.ini"), ConfigText({1, 1, 0, 0, 0, 0, 0, 5}, 1000));
  EXPECT_TRUE(dialogs_->texts().empty());
}

TEST_F(SettingsPageTest, ARecordWithoutANotebookBuildsNothing) {
  SwitchOnWith(ConfigText({0, 0, 0, 0, 0, 0, 0, 0}, 1200));
  GtkWarningCounter warnings;
  EXPECT_EQ(plugin_.SetPropertyFunc(nullptr), 0);
  RawRecord empty(sizeof(void*), 0);
  EXPECT_EQ(plugin_.SetPropertyFunc(empty.data()), 0);
  EXPECT_EQ(ReadFile("Kelvo.ini"), ConfigText({0, 0, 0, 0, 0, 0, 0, 0}, 1200));
  EXPECT_EQ(warnings.count(), 0) << warnings.last();
}

}  // namespace
