// Keeping a settings page up to date while it is on screen.
#include "ui/live_page.h"

#include <cstdio>
#include <cstring>

#include "input/joystick.h"
#include "plugin/host_call.h"

namespace {

// Often enough that a released key looks as before well within 100 ms.
constexpr guint kTickMs = 60;

void SetLit(PageRecord& record, int key, bool lit) {
  if (((record.lit >> key) & 1) == static_cast<unsigned>(lit)) return;
  record.lit ^= 1u << key;
  gtk_widget_queue_draw(record.widgets[key]);
}

bool IsHeld(uint64_t held, int32_t n) { return n >= 1 && n <= 64 && (held >> (n - 1)) & 1; }

// Drawn as selected, whatever state the pointer left the button in: GTK's own
// states change on every enter and leave.
gboolean on_btn_expose_event(GtkWidget* button, GdkEventExpose* event, gpointer key) {
  HostCall call;
  const PageRecord* record = PageOf(button);
  GtkWidget* label = gtk_bin_get_child(GTK_BIN(button));
  if (record == nullptr || !((record->lit >> GPOINTER_TO_INT(key)) & 1) || !GTK_IS_LABEL(label)) return FALSE;
  GtkStyle* style = gtk_widget_get_style(button);
  GtkAllocation area;
  gtk_widget_get_allocation(button, &area);
  gtk_paint_box(style, event->window, GTK_STATE_SELECTED, GTK_SHADOW_IN, &event->area, button, "button",
                area.x, area.y, area.width, area.height);
  gint x = 0, y = 0;
  gtk_label_get_layout_offsets(GTK_LABEL(label), &x, &y);
  gtk_paint_layout(style, event->window, GTK_STATE_SELECTED, TRUE, &event->area, label, "label", x, y,
                   gtk_label_get_layout(GTK_LABEL(label)));
  return TRUE;
}

// A device's name is bytes, not text, and SDL's copy or the plug-in's own
// cuts it at 127 bytes, maybe inside a character: GTK takes only valid UTF-8. Each invalid byte shows as
// U+FFFD; a character cut at the end is left out.
void CopyAsText(const char* name, char* text, size_t size) {
  static constexpr char kReplacement[] = "\uFFFD";
  const char* const end = name + std::strlen(name);
  size_t used = 0;
  for (const char* p = name; p < end && used < size;) {
    const gunichar c = g_utf8_get_char_validated(p, end - p);
    if (c == static_cast<gunichar>(-2)) break;
    const bool valid = c != static_cast<gunichar>(-1);
    const size_t length = valid ? static_cast<size_t>(g_utf8_next_char(p) - p) : sizeof(kReplacement) - 1;
    if (used + length >= size) break;
    std::memcpy(text + used, valid ? p : kReplacement, length);
    used += length;
    p += valid ? length : 1;
  }
  if (size > 0) text[used < size ? used : size - 1] = '\0';
}

void ShowJoystickName(GtkWidget* page) {
  // The tab is the notebook's: asked for each time, as the host may move the page.
  GtkWidget* notebook = gtk_widget_get_parent(page);
  if (!GTK_IS_NOTEBOOK(notebook)) return;
  GtkWidget* tab = gtk_notebook_get_tab_label(GTK_NOTEBOOK(notebook), page);
  char name[256], text[600] = "No joystick";
  if (OpenJoystickName(name, sizeof(name))) {
    char shown[512];
    CopyAsText(name, shown, sizeof(shown));
    std::snprintf(text, sizeof(text), "Joystick: %s", shown);
  }
  if (tab != nullptr) SetTooltipIfChanged(tab, text);
}

void BringUpToDate(PageRecord& record) {
  const KeyMapSnapshot map = SnapshotKeyMap();
  const uint64_t held = HeldButtons();
  for (int key = 0; key < KEY_COUNT; ++key) {
    if (key == record.listening) {
      SetLit(record, key, false);  // the capture's own prompt shows
    } else {
      ShowAssignment(record, key, map.buttons[key]);
      SetLit(record, key, IsHeld(held, map.buttons[key]));
    }
  }
  ShowSensitivity(record, map.threshold);
  ShowJoystickName(record.page);
  ShowUnreadText(record);
}

// A tick's record is alive: a record removes its pending tick as it goes.
gboolean Tick(gpointer data) {
  HostCall call;
  auto* record = static_cast<PageRecord*>(data);
  const bool live = OnScreen(record->page);
  if (live) {
    BringUpToDate(*record);
  } else {
    record->tick = 0;  // the next draw starts another
  }
  return live;
}

// The first update comes as soon as the main loop is free, not a tick later.
gboolean FirstTick(gpointer data) {
  HostCall call;
  auto* record = static_cast<PageRecord*>(data);
  if (Tick(record)) record->tick = g_timeout_add(kTickMs, Tick, record);
  return FALSE;
}

// Every way a page comes on screen (built, its tab chosen, its window shown
// again) draws it.
gboolean on_page_expose_event(GtkWidget* page) {
  HostCall call;
  PageRecord* record = PageOf(page);
  if (record != nullptr && record->tick == 0)
    record->tick = g_idle_add_full(G_PRIORITY_DEFAULT, FirstTick, record, nullptr);
  return FALSE;
}

// A new font: laid out again once every widget has its new style.
void on_page_style_set(GtkWidget* page) {
  HostCall call;
  auto layOut = +[](gpointer data) {
    HostCall inner;
    if (PageRecord* record = PageOf(GTK_WIDGET(data))) LayOutPage(*record);
    return gboolean{FALSE};
  };
  g_idle_add_full(G_PRIORITY_HIGH_IDLE, layOut, g_object_ref(page), g_object_unref);
}

}  // namespace

void KeepUpToDateWhileShown(PageRecord& record) {
  g_signal_connect(record.page, "expose-event", G_CALLBACK(on_page_expose_event), nullptr);
  g_signal_connect(record.page, "style-set", G_CALLBACK(on_page_style_set), nullptr);
  for (int key = 0; key < KEY_COUNT; ++key)
    g_signal_connect(record.widgets[key], "expose-event", G_CALLBACK(on_btn_expose_event),
                     GINT_TO_POINTER(key));
}
