#include "ui/page.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "config/config_file.h"
#include "plugin/host_call.h"

namespace {

struct Box {
  int x, y, width, height;
};

// The layout at the default font (Sans 10), in the record's order. Key
// buttons in key order (A, B, Select, Start, L, R, X, Y): L, Select, A, B on
// the left, R, Start, X, Y on the right.
constexpr Box kBoxes[kPageWidgets] = {
    {8, 56, 144, 24},   {8, 80, 144, 24},   {8, 32, 144, 24},   {152, 32, 144, 24},
    {8, 8, 144, 24},    {152, 8, 144, 24},  {152, 56, 144, 24}, {152, 80, 144, 24},
    {48, 112, 112, 24}, {160, 112, 93, 29}, {88, 160, 144, 24},
};

constexpr char kRecordKey[] = "kelvo-page";

constexpr char kKeyButtonTooltip[] = "Click, then press a joystick button. Esc cancels, Delete clears.";

constexpr const char* kSensitivityItems[] = {"High", "Medium", "Low"};
constexpr int kSensitivityItemCount = sizeof(kSensitivityItems) / sizeof(kSensitivityItems[0]);
constexpr int32_t kThresholdStep = 500;
constexpr char kSensitivityTooltip[] = "Stick travel each choice needs: High 500, Medium 1000, Low 1500";

void FreeRecord(gpointer data) {
  auto* record = static_cast<PageRecord*>(data);
  if (record->tick != 0) g_source_remove(record->tick);
  g_free(record);
}

// Runs before the page's widgets are destroyed: nothing finds them after.
void on_page_destroy(GtkWidget* page) {
  HostCall call;
  g_object_set_data(G_OBJECT(page), kRecordKey, nullptr);
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

}  // namespace

PageRecord* AttachPageRecord(GtkWidget* page) {
  auto* record = g_try_new0(PageRecord, 1);
  if (record == nullptr) return nullptr;
  record->page = page;
  record->listening = -1;
  g_object_set_data_full(G_OBJECT(page), kRecordKey, record, FreeRecord);
  g_signal_connect(page, "destroy", G_CALLBACK(on_page_destroy), nullptr);
  return record;
}

PageRecord* PageOf(GtkWidget* widget) {
  for (; widget != nullptr; widget = gtk_widget_get_parent(widget)) {
    if (void* record = g_object_get_data(G_OBJECT(widget), kRecordKey))
      return static_cast<PageRecord*>(record);
  }
  return nullptr;
}

void PutOnPage(PageRecord& record, PageWidget index, GtkWidget* widget) {
  const Box& box = kBoxes[index];
  record.widgets[index] = widget;
  gtk_fixed_put(GTK_FIXED(record.page), widget, box.x, box.y);
  gtk_widget_set_size_request(widget, box.width, box.height);
  gtk_widget_show(widget);
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

void ShowAssignment(PageRecord& record, int key, int32_t number) {
  char text[512];
  // Any nonzero value, negative ones too, counts as assigned.
  if (number != 0) {
    std::snprintf(text, sizeof(text), "%s : Button %i", btnName[key], number);
  } else {
    std::snprintf(text, sizeof(text), "%s : None", btnName[key]);
  }
  // Setting a label rebuilds the button's child: only when it differs.
  GtkButton* button = GTK_BUTTON(record.widgets[key]);
  const char* shown = gtk_button_get_label(button);
  if (shown != nullptr && std::strcmp(shown, text) == 0) return;
  SetButtonText(button, "%s", text);
  LayOutPage(record);
}

// One factor scales the whole layout, so neighbours stay edge to edge: the
// largest that any text needs, and exactly 1 where every text fits, as at
// the default font. Edges are rounded, not widths.
void LayOutPage(PageRecord& record) {
  double factor = 1.0;
  int comboHeight = 0;
  for (int i = 0; i < kPageWidgets; ++i) {
    GtkRequisition need = Needed(record.widgets[i]);
    // The combo is taller than its row at every font: its height must not
    // drive the factor, but it gets what it asks for.
    if (i == kSensitivity) std::swap(comboHeight, need.height);
    factor = std::max({factor, Ratio(need.width, kBoxes[i].width), Ratio(need.height, kBoxes[i].height)});
  }
  // The page asks for the same margin on the right and at the bottom as
  // the widgets leave on the left and at the top: a GtkFixed asks only for
  // what reaches its children's far edges.
  int left = G_MAXINT, top = G_MAXINT, right = 0, bottom = 0;
  for (int i = 0; i < kPageWidgets; ++i) {
    const Box& box = kBoxes[i];
    const int x = Scaled(box.x, factor), y = Scaled(box.y, factor);
    const int width = Scaled(box.x + box.width, factor) - x;
    int height = Scaled(box.y + box.height, factor) - y;
    if (i == kSensitivity) height = std::max(height, comboHeight);
    gtk_fixed_move(GTK_FIXED(record.page), record.widgets[i], x, y);
    gtk_widget_set_size_request(record.widgets[i], width, height);
    left = std::min(left, x);
    top = std::min(top, y);
    right = std::max(right, x + width);
    bottom = std::max(bottom, y + height);
  }
  gtk_widget_set_size_request(record.page, right + left, bottom + top);
}

void SetTooltipIfChanged(GtkWidget* widget, const char* text) {
  gchar* shown = gtk_widget_get_tooltip_text(widget);
  if (g_strcmp0(shown, text) != 0) gtk_widget_set_tooltip_text(widget, text);
  g_free(shown);
}

void ShowUnreadText(PageRecord& record) {
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
  for (int key = 0; key < KEY_COUNT; ++key) {
    const bool notRead = unread.line > 0 && (unread.keys & (1u << key)) != 0;
    SetTooltipIfChanged(record.widgets[key], notRead ? keyNote : kKeyButtonTooltip);
  }
  SetTooltipIfChanged(record.widgets[kSave], unread.line > 0 ? saveNote : nullptr);
}

bool OnScreen(GtkWidget* widget) {
  GdkWindow* window = gtk_widget_get_window(widget);
  return gtk_widget_get_mapped(widget) && window != nullptr && gdk_window_is_viewable(window);
}

int32_t ThresholdOfItem(int item) { return item * kThresholdStep + kThresholdStep; }

int ItemOfThreshold(int32_t threshold) {
  const int item = threshold / kThresholdStep - 1;
  return item >= 0 && item < kSensitivityItemCount ? item : -1;
}

void AppendSensitivityItems(GtkComboBox* combo) {
  for (const char* item : kSensitivityItems) gtk_combo_box_append_text(combo, item);
}

void ShowSensitivity(PageRecord& record, int32_t threshold) {
  GtkComboBox* combo = GTK_COMBO_BOX(record.widgets[kSensitivity]);
  const int item = ItemOfThreshold(threshold);
  if (gtk_combo_box_get_active(combo) != item) {
    g_signal_handler_block(combo, record.sensitivityChanged);
    gtk_combo_box_set_active(combo, item);
    g_signal_handler_unblock(combo, record.sensitivityChanged);
  }
  char text[512];
  std::snprintf(text, sizeof(text), "%s\nIn force now: %d", kSensitivityTooltip, threshold);
  if (item >= 0 && ThresholdOfItem(item) == threshold) text[sizeof(kSensitivityTooltip) - 1] = '\0';
  SetTooltipIfChanged(GTK_WIDGET(combo), text);
}
