#include "ui/settings_page.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

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

// Item index * 500 + 500 is the threshold of "High", "Medium" and "Low".
constexpr const char* kSensitivityItems[] = {"High", "Medium", "Low"};
constexpr int kSensitivityItemCount = sizeof(kSensitivityItems) / sizeof(kSensitivityItems[0]);
constexpr int kThresholdStep = 500;

void PutWidget(GtkFixed* fixed, GtkWidget* widget, Place place, int width, int height) {
  gtk_fixed_put(fixed, widget, place.x, place.y);
  gtk_widget_set_size_request(widget, width, height);
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

void on_axisthresh_changed(GtkComboBox* combo) {
  const int index = gtk_combo_box_get_active(combo);
  // No item selected: there is no sensitivity to apply.
  if (index < 0) return;
  {
    JoyGuard guard(joyLock);
    axis_thresh = index * kThresholdStep + kThresholdStep;
  }
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
    PutWidget(fixed, button, kKeyButtonPlaces[key], kKeyButtonWidth, kKeyButtonHeight);
    // The capture handler reads the key from this name.
    char name[512];
    std::snprintf(name, sizeof(name), "btn%d", key + 1);
    gtk_widget_set_name(button, name);
    gtk_widget_show(button);
    g_signal_connect(button, "clicked", G_CALLBACK(on_btn_clicked), nullptr);
  }

  GtkWidget* sensitivityLabel = gtk_label_new("Axis sensitivity :");
  PutWidget(fixed, sensitivityLabel, {56, 112}, 104, 24);
  gtk_widget_show(sensitivityLabel);

  GtkWidget* combo = gtk_combo_box_new_text();
  PutWidget(fixed, combo, {160, 112}, 88, 24);
  gtk_widget_show(combo);
  g_signal_connect(combo, "changed", G_CALLBACK(on_axisthresh_changed), nullptr);

  GtkWidget* saveButton = gtk_button_new_with_label("Save config");
  PutWidget(fixed, saveButton, {88, 160}, 144, 24);
  gtk_widget_show(saveButton);
  g_signal_connect(saveButton, "clicked", G_CALLBACK(on_saveconf_clicked), nullptr);

  gtk_notebook_append_page(prop->notebook, page, tabLabel);

  const KeyMapSnapshot map = SnapshotKeyMap();
  for (int key = 0; key < KEY_COUNT; ++key) {
    // Any nonzero value, negative ones too, counts as assigned.
    if (map.buttons[key] != 0) {
      SetButtonText(GTK_BUTTON(keyButtons[key]), "%s : Button %i", btnName[key], map.buttons[key]);
    } else {
      SetButtonText(GTK_BUTTON(keyButtons[key]), "%s : None", btnName[key]);
    }
  }

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
  return 0;
}
