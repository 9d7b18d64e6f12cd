#include "ui/settings_page.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "config/config_file.h"
#include "input/joystick.h"
#include "input/key_map.h"
#include "plugin/host_call.h"
#include "plugin/kelvo_class.h"
#include "plugin/library_hold.h"
#include "plugin/message.h"
#include "ui/capture.h"

namespace {

struct Box {
  int x, y, width, height;
};

// The layout at the default font (Sans 10). Key buttons in key order (A, B,
// Select, Start, L, R, X, Y): L, Select, A, B on the left, R, Start, X, Y on
// the right.
constexpr Box kKeyBoxes[KEY_COUNT] = {
    {8, 56, 144, 24}, {8, 80, 144, 24},  {8, 32, 144, 24},   {152, 32, 144, 24},
    {8, 8, 144, 24},  {152, 8, 144, 24}, {152, 56, 144, 24}, {152, 80, 144, 24},
};
constexpr Box kSensitivityLabelBox = {48, 112, 112, 24};
constexpr Box kComboBox = {160, 112, 93, 29};
constexpr Box kSaveBox = {88, 160, 144, 24};

constexpr char kNoJoystickText[] = "No joystick is open";
constexpr char kNoButtonsText[] = "The joystick in use has no buttons";

constexpr char kPromptFormat[] = "%s : press\u2026";

// The key button listening, if any: one capture at a time, since the grab
// keeps every other button from being clicked, and code that clicks one
// anyway is ignored.
GtkWidget* listeningButton = nullptr;

constexpr char kKeyButtonTooltip[] = "Click, then press a joystick button. Esc cancels, Delete clears.";

const Box& BoxOf(GtkWidget* widget) {
  const int key = KeyOfButton(widget);
  if (key >= 0) return kKeyBoxes[key];
  if (GTK_IS_LABEL(widget)) return kSensitivityLabelBox;
  if (GTK_IS_COMBO_BOX(widget)) return kComboBox;
  return kSaveBox;
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

// What a widget's text needs: what the widget asks for, with only the
// letters' height for its label.
GtkRequisition Needed(GtkWidget* widget) {
  gtk_widget_set_size_request(widget, -1, -1);  // its size is set again after
  GtkRequisition need;
  gtk_widget_size_request(widget, &need);
  GtkWidget* label = GTK_IS_BUTTON(widget) ? gtk_bin_get_child(GTK_BIN(widget)) : widget;
  if (GTK_IS_LABEL(label)) {
    GtkRequisition line;
    gtk_widget_size_request(label, &line);
    need.height += LabelHeightNeeded(GTK_LABEL(label)) - line.height;
  }
  return need;
}

// Ratio of need to room; one more pixel than needed when there is too little,
// so that rounding the edges cannot take it back.
double Ratio(int need, int room) { return need <= room ? 1.0 : (need + 1.0) / room; }

int Scaled(int edge, double factor) { return static_cast<int>(std::lround(edge * factor)); }

void Put(GtkFixed* fixed, GtkWidget* widget, const Box& box) {
  gtk_fixed_put(fixed, widget, box.x, box.y);
  gtk_widget_set_size_request(widget, box.width, box.height);
  gtk_widget_show(widget);
}

// A line of the file as a person can read it: a byte-order mark named,
// control characters and bytes that are not UTF-8 shown as U+FFFD.
void Readable(const char* raw, char* out, size_t size) {
  size_t used = 0;
  out[0] = '\0';
  for (const char* p = raw; *p != '\0';) {
    const gunichar c = g_utf8_get_char_validated(p, -1);
    const bool valid = c < 0x110000 && !g_unichar_iscntrl(c);
    const char* next = valid ? g_utf8_next_char(p) : p + 1;
    const int length = c == 0xFEFF ? std::snprintf(out + used, size - used, "(byte-order mark)")
                       : valid     ? std::snprintf(out + used, size - used, "%.*s", int(next - p), p)
                                   : std::snprintf(out + used, size - used, "\uFFFD");
    if (length < 0 || used + static_cast<size_t>(length) >= size) {
      out[used] = '\0';  // only whole characters
      return;
    }
    used += static_cast<size_t>(length);
    p = next;
  }
}

// Puts the item's threshold in force and saves the file.
void ApplyItem(int item, bool askedByUser) {
  {
    JoyGuard guard(joyLock);
    axis_thresh = ThresholdOfItem(item);
  }
  SaveKeyMap(askedByUser);
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
void ApplyCapture(GtkWidget* button, int key, const CaptureOutcome& outcome) {
  // A button being destroyed has left its page already: nothing to show.
  if (gtk_widget_get_parent(button) == nullptr) return;
  const bool assigned = outcome.end == CaptureOutcome::Pressed || outcome.end == CaptureOutcome::Cleared;
  if (assigned) {
    JoyGuard guard(joyLock);
    btn[key] = outcome.end == CaptureOutcome::Pressed ? outcome.button + 1 : 0;
  }
  ShowAssignment(GTK_BUTTON(button), key, SnapshotKeyMap().buttons[key]);
  if (assigned) Kelvo.SaveConf();
  if (outcome.end == CaptureOutcome::NoJoystick) SayNoJoystick();
}

}  // namespace

bool IsCapturing(const GtkWidget* button) { return listeningButton != nullptr && listeningButton == button; }

// A second click on the listening button is the capture's own to take.
void on_btn_clicked(GtkButton* button) {
  HostCall call;
  GtkWidget* widget = GTK_WIDGET(button);
  const int key = KeyOfButton(widget);
  if (key < 0 || listeningButton != nullptr) return;

  // Held until the outcome is applied: the page may be destroyed meanwhile,
  // and the host may unload the plug-in from one of its sources.
  g_object_ref(widget);
  void* hold = HoldLibrary();
  listeningButton = widget;
  SetButtonText(button, kPromptFormat, btnName[key]);
  LayOutPage(gtk_widget_get_parent(widget));
  const CaptureOutcome outcome = ListenForPress(widget);
  listeningButton = nullptr;
  ApplyCapture(widget, key, outcome);
  g_object_unref(widget);
  ReleaseLibraryLater(hold);
}

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
  GtkWidget* page = gtk_widget_get_parent(GTK_WIDGET(button));
  if (GTK_IS_FIXED(page)) LayOutPage(page);
}

// One factor scales the whole layout, so neighbours stay edge to edge: the
// largest that any text needs, and exactly 1 where every text fits, as at
// the default font. Edges are rounded, not widths.
void LayOutPage(GtkWidget* page) {
  GList* children = gtk_container_get_children(GTK_CONTAINER(page));
  double factor = 1.0;
  int comboHeight = 0;
  for (GList* l = children; l != nullptr; l = l->next) {
    const Box& box = BoxOf(GTK_WIDGET(l->data));
    GtkRequisition need = Needed(GTK_WIDGET(l->data));
    // The combo is taller than its row at every font: its height must not
    // drive the factor, but it gets what it asks for.
    if (GTK_IS_COMBO_BOX(l->data)) std::swap(comboHeight, need.height);
    factor = std::max({factor, Ratio(need.width, box.width), Ratio(need.height, box.height)});
  }
  // The page asks for the same margin on the right and at the bottom as
  // the widgets leave on the left and at the top: a GtkFixed asks only for
  // what reaches its children's far edges.
  int left = G_MAXINT, top = G_MAXINT, right = 0, bottom = 0;
  for (GList* l = children; l != nullptr; l = l->next) {
    GtkWidget* child = GTK_WIDGET(l->data);
    const Box& box = BoxOf(child);
    const int x = Scaled(box.x, factor), y = Scaled(box.y, factor);
    const int width = Scaled(box.x + box.width, factor) - x;
    int height = Scaled(box.y + box.height, factor) - y;
    if (GTK_IS_COMBO_BOX(child)) height = std::max(height, comboHeight);
    gtk_fixed_move(GTK_FIXED(page), child, x, y);
    gtk_widget_set_size_request(child, width, height);
    left = std::min(left, x);
    top = std::min(top, y);
    right = std::max(right, x + width);
    bottom = std::max(bottom, y + height);
  }
  g_list_free(children);
  if (right > 0) gtk_widget_set_size_request(page, right + left, bottom + top);
}

bool OnScreen(GtkWidget* widget) {
  GdkWindow* window = gtk_widget_get_window(widget);
  return gtk_widget_get_mapped(widget) && window != nullptr && gdk_window_is_viewable(window);
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

void ShowUnreadText(GtkWidget* page) {
  const UnreadText unread = LastUnreadText();
  char note[512] = "", keyNote[512], saveNote[640];
  if (unread.line > 0) {
    char line[256];
    Readable(unread.text, line, sizeof(line));
    std::snprintf(note, sizeof(note),
                  "Line %d of Kelvo.ini was not read: \"%s\".\nThe page will not rewrite the file by itself.",
                  unread.line, line);
  }
  std::snprintf(keyNote, sizeof(keyNote), "%s\n%s", kKeyButtonTooltip, note);
  std::snprintf(saveNote, sizeof(saveNote), "%s\nSave config replaces it with the settings shown.", note);
  GList* children = gtk_container_get_children(GTK_CONTAINER(page));
  for (GList* l = children; l != nullptr; l = l->next) {
    GtkWidget* child = GTK_WIDGET(l->data);
    const int key = KeyOfButton(child);
    if (key >= 0) {
      const bool notRead = unread.line > 0 && (unread.keys & (1u << key)) != 0;
      SetTooltipIfChanged(child, notRead ? keyNote : kKeyButtonTooltip);
    } else if (GTK_IS_BUTTON(child)) {
      SetTooltipIfChanged(child, unread.line > 0 ? saveNote : nullptr);
    }
  }
  g_list_free(children);
}

int32_t KelvoClass::SetProperty(SETPROPPLUGIN* prop) {
  if (prop == nullptr || prop->notebook == nullptr || !GTK_IS_NOTEBOOK(prop->notebook)) return 0;
  LoadConfIfNeverLoaded();

  GtkWidget* page = gtk_fixed_new();
  GtkWidget* tabLabel = gtk_label_new("Kelvo Plugin Config");
  // Let go once the page is finalized, after its timeouts and idles, which
  // hold references on it.
  if (void* hold = HoldLibrary())
    g_object_set_data_full(G_OBJECT(page), "kelvo-library", hold, ReleaseLibraryLater);
  gtk_widget_show(page);
  gtk_widget_show(tabLabel);
  GtkFixed* fixed = GTK_FIXED(page);

  GtkWidget* keyButtons[KEY_COUNT];
  for (int key = 0; key < KEY_COUNT; ++key) {
    char text[512];
    std::snprintf(text, sizeof(text), "%s : ", btnName[key]);
    GtkWidget* button = keyButtons[key] = gtk_button_new_with_label(text);
    Put(fixed, button, kKeyBoxes[key]);
    // The capture handler reads the key from this name.
    std::snprintf(text, sizeof(text), "btn%d", key + 1);
    gtk_widget_set_name(button, text);
    g_signal_connect(button, "clicked", G_CALLBACK(on_btn_clicked), nullptr);
  }

  Put(fixed, gtk_label_new("Axis sensitivity :"), kSensitivityLabelBox);
  GtkWidget* combo = gtk_combo_box_new_text();
  Put(fixed, combo, kComboBox);
  g_signal_connect(combo, "changed", G_CALLBACK(on_axisthresh_changed), nullptr);
  GtkWidget* saveButton = gtk_button_new_with_label("Save config");
  Put(fixed, saveButton, kSaveBox);
  g_signal_connect(saveButton, "clicked", G_CALLBACK(on_saveconf_clicked), nullptr);

  gtk_notebook_append_page(prop->notebook, page, tabLabel);

  const KeyMapSnapshot map = SnapshotKeyMap();
  for (int key = 0; key < KEY_COUNT; ++key)
    ShowAssignment(GTK_BUTTON(keyButtons[key]), key, map.buttons[key]);

  GtkComboBox* sensitivity = GTK_COMBO_BOX(combo);
  AppendSensitivityItems(sensitivity);
  // The item of the threshold in force is selected, and the threshold
  // becomes that item's value. A threshold outside the three bands selects
  // nothing and stays as it is. This save is the page's own, not the
  // user's, so it never replaces a file that could not be read.
  const int item = ItemOfThreshold(map.threshold);
  if (item >= 0) ApplyItem(item, false);
  ShowSensitivity(sensitivity, item >= 0 ? ThresholdOfItem(item) : map.threshold);
  ShowUnreadText(page);

  LayOutPage(page);
  KeepUpToDateWhileShown(page);
  return 0;
}
