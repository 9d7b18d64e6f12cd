#include "ui/settings_page.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "config/config_file.h"
#include "input/key_map.h"
#include "plugin/kelvo_class.h"
#include "ui/capture.h"

namespace {

struct Place {
  int x;
  int y;
};

// Key buttons in key order (A, B, Select, Start, L, R, X, Y): two columns,
// L, Select, A, B on the left and R, Start, X, Y on the right.
constexpr Place kKeyButtonPlaces[KEY_COUNT] = {
    {8, 56}, {8, 80}, {8, 32}, {152, 32}, {8, 8}, {152, 8}, {152, 56}, {152, 80},
};
constexpr int kKeyButtonWidth = 144;
constexpr int kKeyButtonHeight = 24;
constexpr Place kSensitivityLabelPlace = {56, 112};
constexpr int kSensitivityLabelWidth = 104;
constexpr Place kComboPlace = {160, 112};
constexpr int kComboWidth = 88;
constexpr Place kSavePlace = {88, 160};
constexpr int kRowHeight = 24;

constexpr char kKeyButtonTooltip[] = "Click, then press a joystick button. Esc cancels, Delete clears.";
// Marks the page's container, so that a refresh can find every open page.
constexpr char kPageMark[] = "kelvo-settings-page";

// Item index * 500 + 500 is the threshold of "High", "Medium" and "Low".
constexpr const char* kSensitivityItems[] = {"High", "Medium", "Low"};
constexpr int kSensitivityItemCount = sizeof(kSensitivityItems) / sizeof(kSensitivityItems[0]);
constexpr int kThresholdStep = 500;

void PutWidget(GtkFixed* fixed, GtkWidget* widget, Place place, int width, int height) {
  gtk_fixed_put(fixed, widget, place.x, place.y);
  gtk_widget_set_size_request(widget, width, height);
}

// Sets the layout size, or more where the widget's text needs more room in
// the current font. A button keeps its layout height: its one line of
// letters fits in 24 pixels, although GTK's line height asks for 27.
GtkRequisition FitToText(GtkWidget* widget, int width, int height) {
  gtk_widget_set_size_request(widget, -1, -1);
  GtkRequisition natural;
  gtk_widget_size_request(widget, &natural);
  const GtkRequisition size = {std::max(width, natural.width),
                               GTK_IS_BUTTON(widget) ? height : std::max(height, natural.height)};
  gtk_widget_set_size_request(widget, size.width, size.height);
  return size;
}

std::vector<GtkWidget*> ChildrenOf(GtkWidget* container) {
  std::vector<GtkWidget*> children;
  GList* list = gtk_container_get_children(GTK_CONTAINER(container));
  for (GList* l = list; l != nullptr; l = l->next) children.push_back(GTK_WIDGET(l->data));
  g_list_free(list);
  return children;
}

// Every widget keeps its place and size, except where its text would be cut.
// The sensitivity label then grows to the left, so that it still ends where
// the combo begins; the others grow to the right and down.
void FitPageToText(GtkWidget* page) {
  for (GtkWidget* child : ChildrenOf(page)) {
    if (KeyOfButton(child) >= 0) {
      FitKeyButton(child);
    } else if (GTK_IS_LABEL(child)) {
      const GtkRequisition size = FitToText(child, kSensitivityLabelWidth, kRowHeight);
      const int x = std::min(kSensitivityLabelPlace.x, kComboPlace.x - size.width);
      gtk_fixed_move(GTK_FIXED(page), child, x, kSensitivityLabelPlace.y);
    } else if (GTK_IS_COMBO_BOX(child)) {
      FitToText(child, kComboWidth, kRowHeight);
    } else if (GTK_IS_BUTTON(child)) {
      FitToText(child, kKeyButtonWidth, kRowHeight);
    }
  }
}

// Selects the item of this threshold without saving: nothing is selected
// for a threshold outside the three bands.
void ShowSensitivity(GtkComboBox* combo, int32_t threshold) {
  int index = threshold / kThresholdStep - 1;
  if (index < -1 || index >= kSensitivityItemCount) index = -1;
  if (gtk_combo_box_get_active(combo) == index) return;
  g_signal_handlers_block_by_func(combo, reinterpret_cast<gpointer>(on_axisthresh_changed), nullptr);
  gtk_combo_box_set_active(combo, index);
  g_signal_handlers_unblock_by_func(combo, reinterpret_cast<gpointer>(on_axisthresh_changed), nullptr);
}

void RefreshPage(GtkWidget* page) {
  const KeyMapSnapshot map = SnapshotKeyMap();
  for (GtkWidget* child : ChildrenOf(page)) {
    const int key = KeyOfButton(child);
    if (key >= 0 && !IsCapturing(child)) ShowAssignment(GTK_BUTTON(child), key, map.buttons[key]);
    if (GTK_IS_COMBO_BOX(child)) ShowSensitivity(GTK_COMBO_BOX(child), map.threshold);
  }
}

void RefreshPagesWithin(GtkWidget* widget, gpointer) {
  if (g_object_get_data(G_OBJECT(widget), kPageMark) != nullptr) {
    RefreshPage(widget);
  } else if (GTK_IS_CONTAINER(widget)) {
    gtk_container_foreach(GTK_CONTAINER(widget), RefreshPagesWithin, nullptr);
  }
}

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

void ShowAssignment(GtkButton* button, int key, int32_t number) {
  char text[512];
  // Any nonzero value, negative ones too, counts as assigned.
  if (number != 0) {
    std::snprintf(text, sizeof(text), "%s : Button %i", btnName[key], number);
  } else {
    std::snprintf(text, sizeof(text), "%s : None", btnName[key]);
  }
  // Setting a label rebuilds the button's child: only when it differs.
  const char* shown = gtk_button_get_label(button);
  if (shown != nullptr && std::strcmp(shown, text) == 0) return;
  SetButtonText(button, "%s", text);
  FitKeyButton(GTK_WIDGET(button));
}

void FitKeyButton(GtkWidget* button) { FitToText(button, kKeyButtonWidth, kKeyButtonHeight); }

void RefreshOpenPages() {
  GList* windows = gtk_window_list_toplevels();
  for (GList* w = windows; w != nullptr; w = w->next) RefreshPagesWithin(GTK_WIDGET(w->data), nullptr);
  g_list_free(windows);
}

void on_axisthresh_changed(GtkComboBox* combo) {
  const int index = gtk_combo_box_get_active(combo);
  // No item selected: there is no sensitivity to apply.
  if (index < 0) return;
  {
    JoyGuard guard(joyLock);
    axis_thresh = index * kThresholdStep + kThresholdStep;
  }
  Kelvo.SaveConf();
  RefreshOpenPages();
}

void on_saveconf_clicked() { Kelvo.SaveConf(); }

void on_page_map(GtkWidget* page) {
  RefreshPage(page);
  // The window the page now shows in may give it another font.
  FitPageToText(page);
}

void on_page_hierarchy_changed(GtkWidget* page, GtkWidget* previousToplevel) {
  // A window shown again after being hidden maps only itself: the page
  // follows its window's "map" as well as its own.
  if (previousToplevel != nullptr) {
    g_signal_handlers_disconnect_by_func(previousToplevel, reinterpret_cast<gpointer>(on_page_map), page);
  }
  GtkWidget* toplevel = gtk_widget_get_toplevel(page);
  if (gtk_widget_is_toplevel(toplevel)) {
    g_signal_connect_object(toplevel, "map", G_CALLBACK(on_page_map), page, G_CONNECT_SWAPPED);
  }
}

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
    PutWidget(fixed, button, kKeyButtonPlaces[key], kKeyButtonWidth, kKeyButtonHeight);
    // The capture handler reads the key from this name.
    char name[512];
    std::snprintf(name, sizeof(name), "btn%d", key + 1);
    gtk_widget_set_name(button, name);
    gtk_widget_set_tooltip_text(button, kKeyButtonTooltip);
    gtk_widget_show(button);
    g_signal_connect(button, "clicked", G_CALLBACK(on_btn_clicked), nullptr);
  }

  GtkWidget* sensitivityLabel = gtk_label_new("Axis sensitivity :");
  PutWidget(fixed, sensitivityLabel, kSensitivityLabelPlace, kSensitivityLabelWidth, kRowHeight);
  gtk_widget_show(sensitivityLabel);

  GtkWidget* combo = gtk_combo_box_new_text();
  PutWidget(fixed, combo, kComboPlace, kComboWidth, kRowHeight);
  gtk_widget_show(combo);
  g_signal_connect(combo, "changed", G_CALLBACK(on_axisthresh_changed), nullptr);

  GtkWidget* saveButton = gtk_button_new_with_label("Save config");
  PutWidget(fixed, saveButton, kSavePlace, kKeyButtonWidth, kRowHeight);
  gtk_widget_show(saveButton);
  g_signal_connect(saveButton, "clicked", G_CALLBACK(on_saveconf_clicked), nullptr);

  gtk_notebook_append_page(prop->notebook, page, tabLabel);

  const KeyMapSnapshot map = SnapshotKeyMap();
  for (int key = 0; key < KEY_COUNT; ++key)
    ShowAssignment(GTK_BUTTON(keyButtons[key]), key, map.buttons[key]);

  GtkComboBox* sensitivity = GTK_COMBO_BOX(combo);
  for (const char* item : kSensitivityItems) gtk_combo_box_append_text(sensitivity, item);

  // Selecting an item emits "changed", which normalises the threshold to
  // that item's value and saves the file. A threshold below 500 selects
  // nothing (-1), and so does one outside the three bands altogether: the
  // threshold stays as it is and nothing is written. That save is the
  // page's own, so it never replaces a file that could not be read.
  const AutomaticSaves automatic;
  const int index = map.threshold / kThresholdStep - 1;
  if (index >= -1 && index < kSensitivityItemCount) gtk_combo_box_set_active(sensitivity, index);

  FitPageToText(page);
  // From now on the page brings itself up to date whenever it is shown.
  g_object_set_data(G_OBJECT(page), kPageMark, GINT_TO_POINTER(1));
  g_signal_connect(page, "map", G_CALLBACK(on_page_map), nullptr);
  g_signal_connect(page, "hierarchy-changed", G_CALLBACK(on_page_hierarchy_changed), nullptr);
  on_page_hierarchy_changed(page, nullptr);
  return 0;
}
