// The settings page SetProperty appends to the host's notebook, and its
// handlers.
#include "ui/settings_page.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <mutex>

#include "config/config_file.h"
#include "input/joystick.h"
#include "input/key_map.h"
#include "plugin/host_call.h"
#include "plugin/kelvo_class.h"
#include "plugin/library_hold.h"
#include "plugin/message.h"
#include "ui/capture.h"
#include "ui/live_page.h"
#include "ui/page.h"

namespace {

constexpr char kNoJoystickText[] = "No joystick is open";
constexpr char kNoButtonsText[] = "The joystick in use has no buttons";

constexpr char kPromptFormat[] = "%s : press\u2026";

// Puts the item's threshold in force and saves the file.
void ApplyItem(int item, bool askedByUser) {
  {
    JoyGuard guard(joyLock);
    axis_thresh = ThresholdOfItem(item);
  }
  SaveKeyMap(askedByUser);
}

// The key (0 to 7) of a key button, read from its widget name "btn1" to
// "btn8"; -1 for any other name.
int KeyOfButton(GtkWidget* widget) {
  const char* name = gtk_widget_get_name(widget);
  if (name == nullptr || std::strncmp(name, "btn", 3) != 0) return -1;
  const int k = std::atoi(name + 3);
  return k >= 1 && k <= KEY_COUNT ? k - 1 : -1;
}

// What to do when there is nothing to read. Switched on, the plug-in picks
// up a pad by itself; otherwise only switching on opens one.
void SayNoJoystick() {
  char name[128];
  if (!FollowingJoysticks()) {
    MessageWithAdvice("Switch the plug-in on, then click the key once more.", "%s", kNoJoystickText);
  } else if (OpenJoystickName(name, sizeof(name))) {
    MessageWithAdvice("Plug in a joystick that has buttons, then click the key once more.", "%s",
                      kNoButtonsText);
  } else {
    MessageWithAdvice("Plug a joystick in, then click the key once more: the plug-in picks it up by itself.",
                      "%s", kNoJoystickText);
  }
}

// After the capture's loop: a box or a save shown from here belongs to the
// host's level, not to the capture's.
void ApplyCapture(PageRecord& record, int key, const CaptureOutcome& outcome) {
  const bool assigned = outcome.end == CaptureOutcome::Pressed || outcome.end == CaptureOutcome::Cleared;
  if (assigned) {
    JoyGuard guard(joyLock);
    btn[key] = outcome.end == CaptureOutcome::Pressed ? outcome.button + 1 : 0;
  }
  ShowAssignment(record, key, SnapshotKeyMap().buttons[key]);
  if (assigned) Kelvo.SaveConf();
  if (outcome.end == CaptureOutcome::NoJoystick) SayNoJoystick();
}

}  // namespace

void on_btn_clicked(GtkButton* button) {
  HostCall call;
  // One capture at a time: its grab keeps every other button from being
  // clicked, and code that clicks one anyway is ignored. A second click on
  // the listening button is the capture's own to take.
  static bool listening = false;
  GtkWidget* widget = GTK_WIDGET(button);
  PageRecord* record = PageOf(widget);
  const int key = KeyOfButton(widget);
  if (listening || record == nullptr || key < 0 || record->widgets[key] != widget) return;

  // Held until the outcome is applied: the page may be destroyed meanwhile,
  // and the host may unload the plug-in from one of its sources.
  g_object_ref(widget);
  void* hold = HoldLibrary();
  listening = true;
  record->listening = key;
  SetButtonText(button, kPromptFormat, btnName[key]);
  LayOutPage(*record);
  const CaptureOutcome outcome = ListenForPress(widget);
  listening = false;
  // A button being destroyed has left its page already: nothing to show.
  if ((record = PageOf(widget)) != nullptr) {
    record->listening = -1;
    ApplyCapture(*record, key, outcome);
  }
  g_object_unref(widget);
  ReleaseLibraryLater(hold);
}

void on_axisthresh_changed(GtkComboBox* combo) {
  HostCall call;
  // No item selected: there is no sensitivity to apply.
  if (gtk_combo_box_get_active(combo) >= 0) ApplyItem(gtk_combo_box_get_active(combo), true);
}

void on_saveconf_clicked() {
  HostCall call;
  Kelvo.SaveConf();
}

int32_t KelvoClass::SetProperty(SETPROPPLUGIN* prop) {
  if (prop == nullptr || prop->notebook == nullptr || !GTK_IS_NOTEBOOK(prop->notebook)) return 0;
  LoadConfIfNeverLoaded();

  GtkWidget* page = gtk_fixed_new();
  GtkWidget* tabLabel = gtk_label_new("Kelvo Plugin Config");
  // Let go once the page is finalized: its idles hold references on it, and
  // its record takes its other sources away when it is destroyed.
  if (void* hold = HoldLibrary())
    g_object_set_data_full(G_OBJECT(page), "kelvo-library", hold, ReleaseLibraryLater);
  PageRecord* attached = AttachPageRecord(page);
  if (attached == nullptr) {
    // Out of memory: no page, and the host's notebook stays as it was.
    for (GtkWidget* unused : {page, tabLabel}) g_object_unref(g_object_ref_sink(unused));
    return 0;
  }
  PageRecord& record = *attached;
  gtk_widget_show(page);
  gtk_widget_show(tabLabel);

  for (int key = 0; key < KEY_COUNT; ++key) {
    char text[512];
    std::snprintf(text, sizeof(text), "%s : ", btnName[key]);
    GtkWidget* button = gtk_button_new_with_label(text);
    PutOnPage(record, static_cast<PageWidget>(key), button);
    // The capture handler reads the key from this name.
    std::snprintf(text, sizeof(text), "btn%d", key + 1);
    gtk_widget_set_name(button, text);
    g_signal_connect(button, "clicked", G_CALLBACK(on_btn_clicked), nullptr);
  }

  PutOnPage(record, kSensitivityLabel, gtk_label_new("Axis sensitivity :"));
  GtkWidget* combo = gtk_combo_box_new_text();
  PutOnPage(record, kSensitivity, combo);
  record.sensitivityChanged = g_signal_connect(combo, "changed", G_CALLBACK(on_axisthresh_changed), nullptr);
  GtkWidget* saveButton = gtk_button_new_with_label("Save config");
  PutOnPage(record, kSave, saveButton);
  g_signal_connect(saveButton, "clicked", G_CALLBACK(on_saveconf_clicked), nullptr);

  gtk_notebook_append_page(prop->notebook, page, tabLabel);

  const KeyMapSnapshot map = SnapshotKeyMap();
  for (int key = 0; key < KEY_COUNT; ++key) ShowAssignment(record, key, map.buttons[key]);

  AppendSensitivityItems(GTK_COMBO_BOX(combo));
  // The item of the threshold in force is selected, and the threshold
  // becomes that item's value. A threshold outside the three bands selects
  // nothing and stays as it is. This save is the page's own, not the
  // user's, so it never replaces a file that could not be read.
  const int item = ItemOfThreshold(map.threshold);
  if (item >= 0) ApplyItem(item, false);
  ShowSensitivity(record, item >= 0 ? ThresholdOfItem(item) : map.threshold);
  ShowUnreadText(record);

  LayOutPage(record);
  KeepUpToDateWhileShown(record);
  return 0;
}
