// What a person sees on the page: every text whole at any font, no widget
// over another, the key map in force whenever the page shows, keys lit
// while held, and the joystick's name.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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

void SetFont(const char* font) {
  const std::string rc = std::string("gtk-font-name = \"") + font + "\"\n";
  gtk_rc_parse_string(rc.c_str());
  gtk_rc_reset_styles(gtk_settings_get_default());
}

GtkAllocation AllocationOf(GtkWidget* widget) {
  GtkAllocation a;
  gtk_widget_get_allocation(widget, &a);
  return a;
}

// The widget as drawn on screen, pixel by pixel.
std::string Pixels(GtkWidget* widget) {
  GdkPixmap* pixmap = gtk_widget_get_snapshot(widget, nullptr);
  if (pixmap == nullptr) return "";
  gint width = 0, height = 0;
  gdk_drawable_get_size(pixmap, &width, &height);
  GdkPixbuf* pixbuf = gdk_pixbuf_get_from_drawable(nullptr, pixmap, nullptr, 0, 0, 0, 0, width, height);
  std::string pixels(reinterpret_cast<const char*>(gdk_pixbuf_get_pixels(pixbuf)),
                     gdk_pixbuf_get_rowstride(pixbuf) * height);
  g_object_unref(pixbuf);
  g_object_unref(pixmap);
  return pixels;
}

class PageViewTest : public PageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    AttachJoystick({12, 2, 1});
    gtk_window_move(GTK_WINDOW(host_->window()), 0, 0);
  }
  void TearDown() override {
    SetFont("Sans 10");
    PageTest::TearDown();
  }
  // Every text whole, every widget inside the page and over no other.
  void ExpectEverythingShown(GtkWidget* page);
};

// The page asks for as much room right of and below its widgets as they
// leave left of and above them, so a dialog sized to it shows even margins.
void ExpectEvenMargins(GtkWidget* page) {
  const GtkAllocation all = AllocationOf(page);
  int left = all.width, top = all.height, right = all.width, bottom = all.height;
  for (GtkWidget* child : Children(page)) {
    const GtkAllocation a = AllocationOf(child);
    left = std::min(left, a.x - all.x);
    top = std::min(top, a.y - all.y);
    right = std::min(right, all.x + all.width - a.x - a.width);
    bottom = std::min(bottom, all.y + all.height - a.y - a.height);
  }
  std::printf("margins: left %d, right %d, top %d, bottom %d\n", left, right, top, bottom);
  EXPECT_GE(left, 8);
  EXPECT_GE(top, 8);
  EXPECT_LE(std::abs(left - right), 1) << "left " << left << ", right " << right;
  EXPECT_LE(std::abs(top - bottom), 1) << "top " << top << ", bottom " << bottom;
}

void PageViewTest::ExpectEverythingShown(GtkWidget* page) {
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
    GtkAllocation child = AllocationOf(children[i]), all = AllocationOf(page);
    EXPECT_TRUE(Inside(child, all)) << Describe(child) << " outside the page " << Describe(all);
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

TEST_F(PageViewTest, EveryTextIsShownWholeAndNoWidgetCoversAnother) {
  // The longest labels a 12-button pad gives.
  ASSERT_TRUE(WriteFile("Kelvo.ini", ConfigText({12, 11, 10, 12, 1, 0, 12, 10}, 500)));
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  struct Case {
    const char* font;
    double atLeast, atMost;  // the factor the layout grows by
  };
  const Case cases[] = {
      {"Sans 10", 1, 1}, {"Sans 12", 1.05, 1.4}, {"Sans 14", 1.2, 1.6}, {"Sans 18", 1.5, 2.1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.font);
    SetFont(c.font);
    PropertiesWindow host;
    ASSERT_EQ(host.AddPage(plugin_), 0);
    host.Settle();
    GtkWidget* page = host.page(0);
    ExpectEverythingShown(page);
    // One factor: neighbours stay edge to edge, each row keeps its order.
    const Placement left = PlacementOf(page, ChildNamed(page, "btn5")),
                    right = PlacementOf(page, ChildNamed(page, "btn6"));
    const Placement below = PlacementOf(page, ChildNamed(page, "btn3"));
    const Placement label = PlacementOf(page, FirstChildOfType(page, GTK_TYPE_LABEL));
    const Placement combo = PlacementOf(page, FirstChildOfType(page, GTK_TYPE_COMBO_BOX));
    EXPECT_EQ(left.x + left.width, right.x);
    EXPECT_EQ(left.y + left.height, below.y);
    EXPECT_EQ(label.x + label.width, combo.x);
    const double factor = (right.x + right.width) / 296.0;
    EXPECT_GE(factor, c.atLeast);
    EXPECT_LE(factor, c.atMost);
    EXPECT_NEAR(combo.x / 160.0, factor, 0.01);
    EXPECT_NEAR(label.y / 112.0, factor, 0.01);
    ExpectEvenMargins(page);
  }
  // A page already open follows a new font too.
  SetFont("Sans 10");
  ASSERT_EQ(host_->AddPage(plugin_), 0);
  host_->Settle();
  const int before = AllocationOf(host_->page(0)).width;
  SetFont("Sans 18");
  host_->Settle();
  EXPECT_GT(AllocationOf(host_->page(0)).width, before * 3 / 2);
  ExpectEverythingShown(host_->page(0));
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
    std::vector<std::string> expected;
    const char* names[] = {"A", "B", "Select", "Start", "L", "R", "X", "Y"};
    for (int key = 0; key < 8; ++key) {
      expected.push_back(std::string(names[key]) + " : " +
                         (step.map[key] ? "Button " + std::to_string(step.map[key]) : "None"));
    }
    // At once when it comes on screen, and within a tick of the page's own
    // timeout while it stays there.
    EXPECT_TRUE(
        RunUntil([&] { return KeyTexts(host_->page(0)) == expected; }, std::chrono::milliseconds(2000)));
    EXPECT_EQ(KeyTexts(host_->page(0)), expected);
    EXPECT_EQ(gtk_combo_box_get_active(firstCombo), step.item);
    EXPECT_EQ(FileState("Kelvo.ini"), loaded);
  }
}

// Key A on button 1. The key lights while that button is held, whether the
// pointer rests on it or not, and looks as before once it is released; the
// other keys keep their look.
TEST_F(PageViewTest, AKeyLightsWhileItsButtonIsHeld) {
  ASSERT_TRUE(WriteFile("Kelvo.ini", ConfigText({1, 2, 0, 0, 0, 0, 0, 0}, 1000)));
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  ASSERT_EQ(host_->AddPage(plugin_), 0);
  host_->Settle();
  GtkWidget* a = ChildNamed(host_->page(0), "btn1");
  GtkWidget* b = ChildNamed(host_->page(0), "btn2");
  GdkDisplay* display = gdk_display_get_default();
  gint originX = 0, originY = 0;
  gdk_window_get_origin(gtk_widget_get_window(a), &originX, &originY);
  const GtkAllocation area = AllocationOf(a);
  struct Case {
    const char* pointer;
    int x, y;
  };
  const Case cases[] = {
      {"off the key", 1000, 700},
      {"on the key", originX + area.x + area.width / 2, originY + area.y + area.height / 2}};
  std::string litElsewhere;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pointer);
    gdk_display_warp_pointer(display, gdk_display_get_default_screen(display), c.x, c.y);
    host_->Settle();
    const std::string rest = Pixels(a), restB = Pixels(b);
    ASSERT_FALSE(rest.empty());
    ASSERT_TRUE(stick_->SetButton(0, true));
    EXPECT_TRUE(RunUntil([&] { return Pixels(a) != rest; }, std::chrono::milliseconds(2000)));
    host_->Settle();
    const std::string lit = Pixels(a);
    EXPECT_EQ(Pixels(b), restB);
    EXPECT_EQ(TextOf(a), "A : Button 1");
    if (litElsewhere.empty()) {
      litElsewhere = lit;
    } else {
      EXPECT_NE(rest, litElsewhere) << "the pointer shows on the key at rest";
      EXPECT_EQ(lit, litElsewhere) << "lit looks the same with the pointer on it";
    }
    ASSERT_TRUE(stick_->SetButton(0, false));
    // The goal is 100 ms; the bound leaves room for a busy machine.
    EXPECT_TRUE(RunUntil([&] { return Pixels(a) == rest; }, std::chrono::milliseconds(2000)));
  }
}

// The tab's tooltip names the joystick in use, and follows it out and in.
TEST_F(PageViewTest, TheTabSaysWhichJoystickIsInUse) {
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  ASSERT_EQ(host_->AddPage(plugin_), 0);
  GtkWidget* tab = gtk_notebook_get_tab_label(host_->notebook(), host_->page(0));
  auto tooltip = [tab] {
    gchar* text = gtk_widget_get_tooltip_text(tab);
    const std::string result = text ? text : "";
    g_free(text);
    return result;
  };
  EXPECT_TRUE(RunUntil([&] { return tooltip().rfind("Joystick: ", 0) == 0; })) << tooltip();
  const std::string named = tooltip();
  EXPECT_GT(named.size(), std::string("Joystick: ").size());
  ASSERT_TRUE(stick_->Unplug());
  EXPECT_TRUE(RunUntil([&] { return tooltip() == "No joystick"; })) << tooltip();
  ASSERT_TRUE(stick_->Plug({12, 2, 1}));
  EXPECT_TRUE(RunUntil([&] { return tooltip() == named; })) << tooltip();
}

}  // namespace
