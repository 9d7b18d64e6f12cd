// What a person sees on the page: every text whole in the default font, no
// widget over another, and the key map in force whenever the page shows.
#include <functional>
#include <string>
#include <vector>

#include "tests/support/plugin_fixture.h"
#include "tests/ui/gtk_events.h"
#include "tests/ui/settings_host.h"

namespace {

std::string Describe(const GdkRectangle& r) {
  return "(" + std::to_string(r.x) + ", " + std::to_string(r.y) + ") " + std::to_string(r.width) + " x " +
         std::to_string(r.height);
}

bool Inside(const GdkRectangle& inner, const GdkRectangle& outer) {
  return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width &&
         inner.y + inner.height <= outer.y + outer.height;
}

// The area a widget may draw in: its allocation cut by every ancestor's up
// to the page. None of them has a window of its own, so all are in the
// same coordinates.
GdkRectangle ClipOf(GtkWidget* widget, GtkWidget* page) {
  GtkAllocation clip;
  gtk_widget_get_allocation(widget, &clip);
  for (GtkWidget* w = gtk_widget_get_parent(widget); w != nullptr; w = gtk_widget_get_parent(w)) {
    GtkAllocation outer;
    gtk_widget_get_allocation(w, &outer);
    if (!gdk_rectangle_intersect(&clip, &outer, &clip)) return GdkRectangle{0, 0, 0, 0};
    if (w == page) break;
  }
  return clip;
}

// Where a label's letters are drawn.
GdkRectangle InkOf(GtkLabel* label) {
  PangoRectangle ink;
  pango_layout_get_pixel_extents(gtk_label_get_layout(label), &ink, nullptr);
  gint x = 0, y = 0;
  gtk_label_get_layout_offsets(label, &x, &y);
  return GdkRectangle{x + ink.x, y + ink.y, ink.width, ink.height};
}

void CollectLabels(GtkWidget* widget, std::vector<GtkLabel*>* labels) {
  if (GTK_IS_LABEL(widget)) labels->push_back(GTK_LABEL(widget));
  if (GTK_IS_CONTAINER(widget)) {
    for (GtkWidget* child : Children(widget)) CollectLabels(child, labels);
  }
}

class PageViewTest : public PageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    AttachJoystick({12, 2, 1});
    gtk_window_move(GTK_WINDOW(host_->window()), 0, 0);
  }
};

TEST_F(PageViewTest, EveryTextIsShownWholeAndNoWidgetCoversAnother) {
  // The longest labels a 12-button pad gives, and every sensitivity item.
  ASSERT_TRUE(WriteFile("Kelvo.ini", ConfigText({12, 11, 10, 12, 1, 0, 12, 10}, 500)));
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  ASSERT_EQ(host_->AddPage(plugin_), 0);
  GtkWidget* page = host_->page(0);
  GtkComboBox* combo = GTK_COMBO_BOX(FirstChildOfType(page, GTK_TYPE_COMBO_BOX));
  for (int item = 0; item < 3; ++item) {
    gtk_combo_box_set_active(combo, item);
    host_->Settle();
    std::vector<GtkLabel*> labels;
    CollectLabels(page, &labels);
    ASSERT_EQ(labels.size(), 10u) << "eight key buttons, the sensitivity label and Save config";
    for (GtkLabel* label : labels) {
      const GdkRectangle ink = InkOf(label), clip = ClipOf(GTK_WIDGET(label), page);
      EXPECT_TRUE(Inside(ink, clip)) << gtk_label_get_text(label) << ": letters at " << Describe(ink)
                                     << ", drawn only within " << Describe(clip);
    }
    // The combo draws its item in a cell view that must get what it asks for.
    GtkWidget* cell = gtk_bin_get_child(GTK_BIN(combo));
    GtkRequisition wanted;
    gtk_widget_size_request(cell, &wanted);
    GtkAllocation got;
    gtk_widget_get_allocation(cell, &got);
    EXPECT_GE(got.width, wanted.width) << "item " << item;
    EXPECT_GE(got.height, wanted.height) << "item " << item;
  }
  const std::vector<GtkWidget*> children = Children(page);
  for (size_t i = 0; i < children.size(); ++i) {
    for (size_t j = i + 1; j < children.size(); ++j) {
      GtkAllocation a, b;
      gtk_widget_get_allocation(children[i], &a);
      gtk_widget_get_allocation(children[j], &b);
      EXPECT_FALSE(gdk_rectangle_intersect(&a, &b, nullptr))
          << G_OBJECT_TYPE_NAME(children[i]) << " " << Describe(a) << " and "
          << G_OBJECT_TYPE_NAME(children[j]) << " " << Describe(b);
    }
  }
}

// A page that was out of sight while the key map changed shows the new one
// as soon as it is shown: its notebook tab chosen, or its window shown
// again. Showing it writes nothing.
TEST_F(PageViewTest, APageShowsTheKeyMapInForceWhenItBecomesVisible) {
  ASSERT_TRUE(WriteFile("Kelvo.ini", ConfigText({1, 2, 0, 0, 0, 0, 0, 0}, 1000)));
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  ASSERT_EQ(host_->AddPage(plugin_), 0);
  ASSERT_EQ(host_->AddPage(plugin_), 0);
  GtkComboBox* firstCombo = GTK_COMBO_BOX(FirstChildOfType(host_->page(0), GTK_TYPE_COMBO_BOX));
  struct Step {
    const char* how;
    std::array<int, 8> map;
    int threshold, item;
    std::function<void()> hide, show;
  };
  const Step steps[] = {
      {"left visible", {5, 0, 0, 0, 0, 0, 0, 2}, 1000, 1, [] {}, [] {}},
      {"tab chosen",
       {3, 0, 0, 0, 0, 0, 9, 0},
       1500,
       2,
       [this] { gtk_notebook_set_current_page(host_->notebook(), 1); },
       [this] { gtk_notebook_set_current_page(host_->notebook(), 0); }},
      {"window shown again",
       {0, 4, 0, 0, 0, 0, 0, 0},
       500,
       0,
       [this] { gtk_widget_hide(host_->window()); },
       [this] { gtk_widget_show(host_->window()); }},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.how);
    step.hide();
    host_->Settle();
    ASSERT_TRUE(WriteFile("Kelvo.ini", ConfigText(step.map, step.threshold)));
    ASSERT_EQ(plugin_.SwitchOn(), 1);  // switching on reloads the file
    const std::string loaded = FileState("Kelvo.ini");
    step.show();
    host_->Settle();
    std::vector<std::string> expected;
    const char* names[] = {"A", "B", "Select", "Start", "L", "R", "X", "Y"};
    for (int key = 0; key < 8; ++key) {
      expected.push_back(std::string(names[key]) + " : " +
                         (step.map[key] ? "Button " + std::to_string(step.map[key]) : "None"));
    }
    EXPECT_EQ(KeyTexts(host_->page(0)), expected);
    EXPECT_EQ(gtk_combo_box_get_active(firstCombo), step.item);
    EXPECT_EQ(FileState("Kelvo.ini"), loaded);
  }
}

}  // namespace
