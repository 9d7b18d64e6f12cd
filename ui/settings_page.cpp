#include "ui/settings_page.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "config/config_file.h"
#include "input/key_map.h"
#include "plugin/kelvo_class.h"
#include "ui/capture.h"
#include "ui/live_page.h"

namespace {

struct Box {
  int x, y, width, height;
};

// The layout at the default font (Sans 10). Key buttons in key order (A, B,
// Select, Start, L, R, X, Y): L, Select, A, B on the left, R, Start, X, Y on
// the right.
constexpr Box kKeyBoxes[KEY_COUNT] = {
    {8, 56, 144, 24}, {8, 80, 144, 24}, {8, 32, 144, 24},  {152, 32, 144, 24},
    {8, 8, 144, 24},  {152, 8, 144, 24}, {152, 56, 144, 24}, {152, 80, 144, 24},
};
constexpr Box kSensitivityLabelBox = {48, 112, 112, 24};
constexpr Box kComboBox = {160, 112, 93, 29};
constexpr Box kSaveBox = {88, 160, 144, 24};

constexpr char kKeyButtonTooltip[] = "Click, then press a joystick button. Esc cancels, Delete clears.";

const Box& BoxOf(GtkWidget* widget) {
  const int key = KeyOfButton(widget);
  if (key >= 0) return kKeyBoxes[key];
  if (GTK_IS_LABEL(widget)) return kSensitivityLabelBox;
  if (GTK_IS_COMBO_BOX(widget)) return kComboBox;
  return kSaveBox;
}

// The size a widget asks for by itself, without the size set on it.
GtkRequisition NaturalSize(GtkWidget* widget) {
  int width = -1, height = -1;
  gtk_widget_get_size_request(widget, &width, &height);
  gtk_widget_set_size_request(widget, -1, -1);
  GtkRequisition natural;
  gtk_widget_size_request(widget, &natural);
  gtk_widget_set_size_request(widget, width, height);
  return natural;
}

// Height a label needs: GTK asks for a whole line, but it centres the line
// in whatever height it gets, and only the letters need to fit.
int LabelHeightNeeded(GtkLabel* label) {
  PangoRectangle ink, logical;
  pango_layout_get_pixel_extents(gtk_label_get_layout(label), &ink, &logical);
  for (int height = ink.height; height < logical.height; ++height) {
    const int top = static_cast<int>(std::floor((height - logical.height) / 2.0)) + ink.y;
    if (top >= 0 && top + ink.height <= height) return height;
  }
  return logical.height;
}

// What a widget's text needs. The combo is taller than the layout at every
// font, so only its width counts.
GtkRequisition Needed(GtkWidget* widget) {
  GtkRequisition need = NaturalSize(widget);
  GtkWidget* child = GTK_IS_BUTTON(widget) ? gtk_bin_get_child(GTK_BIN(widget)) : widget;
  if (GTK_IS_COMBO_BOX(widget)) {
    need.height = 0;
  } else if (GTK_IS_LABEL(child)) {
    GtkRequisition text;
    gtk_widget_size_request(child, &text);
    need.height += LabelHeightNeeded(GTK_LABEL(child)) - text.height;
  }
  return need;
}

// Ratio of need to room; one more pixel than needed when there is too little,
// so that rounding the edges cannot take it back.
double Ratio(int need, int room) { return need <= room ? 1.0 : (need + 1.0) / room; }

int Scaled(int edge, double factor) { return static_cast<int>(std::lround(edge * factor)); }

}  // namespace

void SetButtonText(GtkButton* button, const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  if (length < 0) return;
  if (static_cast<size_t>(length) >= sizeof(text)) {
    // Cut inside a character: keep only the whole ones, so GTK gets valid UTF-8.
    const gchar* end = nullptr;
    if (!g_utf8_validate(text, -1, &end)) text[end - text] = '\0';
  }
  gtk_button_set_label(button, text);
}

int KeyOfButton(GtkWidget* widget) {
  if (!GTK_IS_BUTTON(widget)) return -1;
  const char* name = gtk_widget_get_name(widget);
  if (name == nullptr || std::strncmp(name, "btn", 3) != 0) return -1;
  const int k = std::atoi(name + 3);
  return k >= 1 && k <= KEY_COUNT ? k - 1 : -1;
}

bool ShowAssignment(GtkButton* button, int key, int32_t number) {
  char text[512];
  // Any nonzero value, negative ones too, counts as assigned.
  if (number != 0) {
    std::snprintf(text, sizeof(text), "%s : Button %i", btnName[key], number);
  } else {
    std::snprintf(text, sizeof(text), "%s : None", btnName[key]);
  }
  // Setting a label rebuilds the button's child: only when it differs.
  const char* shown = gtk_button_get_label(button);
  if (shown != nullptr && std::strcmp(shown, text) == 0) return false;
  SetButtonText(button, "%s", text);
  return true;
}

// One factor scales the whole layout, so neighbours stay edge to edge: the
// largest that any text needs, and exactly 1 where every text fits, as at
// the default font. Edges are rounded, not widths.
void LayOutPage(GtkWidget* page) {
  GList* children = gtk_container_get_children(GTK_CONTAINER(page));
  double factor = 1.0;
  for (GList* l = children; l != nullptr; l = l->next) {
    const Box& box = BoxOf(GTK_WIDGET(l->data));
    const GtkRequisition need = Needed(GTK_WIDGET(l->data));
    factor = std::max({factor, Ratio(need.width, box.width), Ratio(need.height, box.height)});
  }
  for (GList* l = children; l != nullptr; l = l->next) {
    GtkWidget* child = GTK_WIDGET(l->data);
    const Box& box = BoxOf(child);
    const int x = Scaled(box.x, factor), y = Scaled(box.y, factor);
    int width = Scaled(box.x + box.width, factor) - x, height = Scaled(box.y + box.height, factor) - y;
    if (GTK_IS_COMBO_BOX(child)) height = std::max(height, NaturalSize(child).height);
    int shownX = 0, shownY = 0, shownWidth = 0, shownHeight = 0;
    gtk_container_child_get(GTK_CONTAINER(page), child, "x", &shownX, "y", &shownY, nullptr);
    gtk_widget_get_size_request(child, &shownWidth, &shownHeight);
    if (shownX != x || shownY != y) gtk_fixed_move(GTK_FIXED(page), child, x, y);
    if (shownWidth != width || shownHeight != height) gtk_widget_set_size_request(child, width, height);
  }
  g_list_free(children);
}

bool OnScreen(GtkWidget* widget) {
  GdkWindow* window = gtk_widget_get_window(widget);
  return gtk_widget_get_mapped(widget) && window != nullptr && gdk_window_is_viewable(window);
}

void on_axisthresh_changed(GtkComboBox* combo) {
  const int item = gtk_combo_box_get_active(combo);
  // No item selected: there is no sensitivity to apply.
  if (item < 0) return;
  const int32_t threshold = ThresholdOfItem(item);
  {
    JoyGuard guard(joyLock);
    axis_thresh = threshold;
  }
  ShowSensitivity(combo, threshold);
  Kelvo.SaveConf();
}

void on_saveconf_clicked() { Kelvo.SaveConf(); }

int32_t KelvoClass::SetProperty(SETPROPPLUGIN* prop) {
  if (prop == nullptr || prop->notebook == nullptr || !GTK_IS_NOTEBOOK(prop->notebook)) return 0;
  LoadConfIfNeverLoaded();

  GtkWidget* page = gtk_fixed_new();
  GtkWidget* tabLabel = gtk_label_new("Kelvo Plugin Config");
  gtk_widget_show(page);
  gtk_widget_show(tabLabel);
  GtkFixed* fixed = GTK_FIXED(page);

  GtkWidget* keyButtons[KEY_COUNT];
  for (int key = 0; key < KEY_COUNT; ++key) {
    char text[512];
    std::snprintf(text, sizeof(text), "%s : ", btnName[key]);
    keyButtons[key] = gtk_button_new_with_label(text);
  }
  for (int key = 0; key < KEY_COUNT; ++key) {
    GtkWidget* button = keyButtons[key];
    const Box& box = kKeyBoxes[key];
    gtk_fixed_put(fixed, button, box.x, box.y);
    gtk_widget_set_size_request(button, box.width, box.height);
    // The capture handler reads the key from this name.
    char name[512];
    std::snprintf(name, sizeof(name), "btn%d", key + 1);
    gtk_widget_set_name(button, name);
    gtk_widget_set_tooltip_text(button, kKeyButtonTooltip);
    gtk_widget_show(button);
    g_signal_connect(button, "clicked", G_CALLBACK(on_btn_clicked), nullptr);
    LightWhenHeld(button);
  }

  GtkWidget* sensitivityLabel = gtk_label_new("Axis sensitivity :");
  const Box& labelBox = kSensitivityLabelBox;
  gtk_fixed_put(fixed, sensitivityLabel, labelBox.x, labelBox.y);
  gtk_widget_set_size_request(sensitivityLabel, labelBox.width, labelBox.height);
  gtk_widget_show(sensitivityLabel);

  GtkWidget* combo = gtk_combo_box_new_text();
  gtk_fixed_put(fixed, combo, kComboBox.x, kComboBox.y);
  gtk_widget_set_size_request(combo, kComboBox.width, kComboBox.height);
  gtk_widget_show(combo);
  g_signal_connect(combo, "changed", G_CALLBACK(on_axisthresh_changed), nullptr);

  GtkWidget* saveButton = gtk_button_new_with_label("Save config");
  gtk_fixed_put(fixed, saveButton, kSaveBox.x, kSaveBox.y);
  gtk_widget_set_size_request(saveButton, kSaveBox.width, kSaveBox.height);
  gtk_widget_show(saveButton);
  g_signal_connect(saveButton, "clicked", G_CALLBACK(on_saveconf_clicked), nullptr);

  gtk_notebook_append_page(prop->notebook, page, tabLabel);

  const KeyMapSnapshot map = SnapshotKeyMap();
  for (int key = 0; key < KEY_COUNT; ++key) ShowAssignment(GTK_BUTTON(keyButtons[key]), key, map.buttons[key]);

  GtkComboBox* sensitivity = GTK_COMBO_BOX(combo);
  AppendSensitivityItems(sensitivity);
  // The item of the threshold in force is selected, and the threshold
  // becomes that item's value. A threshold outside the three bands selects
  // nothing and stays as it is. This save is the page's own, not the
  // user's, so it never replaces a file that could not be read.
  const int item = ItemOfThreshold(map.threshold);
  const int32_t threshold = item >= 0 ? ThresholdOfItem(item) : map.threshold;
  if (item >= 0) {
    {
      JoyGuard guard(joyLock);
      axis_thresh = threshold;
    }
    SaveKeyMap(false);
  }
  ShowSensitivity(sensitivity, threshold);

  LayOutPage(page);
  KeepUpToDateWhileShown(page);
  return 0;
}
