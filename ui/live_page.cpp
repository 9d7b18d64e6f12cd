// Keeping a settings page up to date while it is on screen.
#include <cstdio>
#include <cstring>

#include "input/joystick.h"
#include "input/key_map.h"
#include "plugin/host_call.h"
#include "ui/settings_page.h"

namespace {

constexpr const char* kSensitivityItems[] = {"High", "Medium", "Low"};
constexpr int kSensitivityItemCount = sizeof(kSensitivityItems) / sizeof(kSensitivityItems[0]);
constexpr int32_t kThresholdStep = 500;
constexpr char kSensitivityTooltip[] = "Stick travel each choice needs: High 500, Medium 1000, Low 1500";

// Often enough that a released key looks as before well within 100 ms.
constexpr guint kTickMs = 60;

// Object data: on a key button while it is drawn lit; on a page while its
// timeout runs.
constexpr char kLit[] = "kelvo-lit";
constexpr char kLive[] = "kelvo-live";

void SetLit(GtkWidget* button, bool lit) {
  if ((g_object_get_data(G_OBJECT(button), kLit) != nullptr) == lit) return;
  g_object_set_data(G_OBJECT(button), kLit, lit ? GINT_TO_POINTER(1) : nullptr);
  gtk_widget_queue_draw(button);
}

bool IsHeld(uint64_t held, int32_t n) { return n >= 1 && n <= 64 && (held >> (n - 1)) & 1; }

// Drawn as selected, whatever state the pointer left the button in: GTK's own
// states change on every enter and leave.
gboolean on_btn_expose_event(GtkWidget* button, GdkEventExpose* event) {
  HostCall call;
  GtkWidget* label = gtk_bin_get_child(GTK_BIN(button));
  if (g_object_get_data(G_OBJECT(button), kLit) == nullptr || !GTK_IS_LABEL(label)) return FALSE;
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

void BringUpToDate(GtkWidget* page) {
  const KeyMapSnapshot map = SnapshotKeyMap();
  const uint64_t held = HeldButtons();
  GList* children = gtk_container_get_children(GTK_CONTAINER(page));
  for (GList* l = children; l != nullptr; l = l->next) {
    GtkWidget* child = GTK_WIDGET(l->data);
    const int key = KeyOfButton(child);
    if (key >= 0 && IsCapturing(child)) {
      SetLit(child, false);  // the capture's own prompt shows
    } else if (key >= 0) {
      ShowAssignment(GTK_BUTTON(child), key, map.buttons[key]);
      SetLit(child, IsHeld(held, map.buttons[key]));
    } else if (GTK_IS_COMBO_BOX(child)) {
      ShowSensitivity(GTK_COMBO_BOX(child), map.threshold);
    }
  }
  g_list_free(children);
  ShowJoystickName(page);
  ShowUnreadText(page);
}

gboolean Tick(gpointer data) {
  HostCall call;
  GtkWidget* page = GTK_WIDGET(data);
  const bool live = OnScreen(page);
  g_object_set_data(G_OBJECT(page), kLive, live ? GINT_TO_POINTER(1) : nullptr);  // none once off screen
  if (live) BringUpToDate(page);
  return live;
}

// The first update comes as soon as the main loop is free, not a tick later.
gboolean FirstTick(gpointer data) {
  HostCall call;
  if (Tick(data)) g_timeout_add_full(G_PRIORITY_DEFAULT, kTickMs, Tick, g_object_ref(data), g_object_unref);
  return FALSE;
}

// Every way a page comes on screen (built, its tab chosen, its window shown
// again) draws it.
gboolean on_page_expose_event(GtkWidget* page) {
  HostCall call;
  if (g_object_get_data(G_OBJECT(page), kLive) == nullptr) {
    g_object_set_data(G_OBJECT(page), kLive, GINT_TO_POINTER(1));
    g_idle_add_full(G_PRIORITY_DEFAULT, FirstTick, g_object_ref(page), g_object_unref);
  }
  return FALSE;
}

// A new font: laid out again once every widget has its new style.
void on_page_style_set(GtkWidget* page) {
  HostCall call;
  auto layOut = +[](gpointer data) {
    HostCall inner;
    LayOutPage(GTK_WIDGET(data));
    return gboolean{FALSE};
  };
  g_idle_add_full(G_PRIORITY_HIGH_IDLE, layOut, g_object_ref(page), g_object_unref);
}

}  // namespace

void SetTooltipIfChanged(GtkWidget* widget, const char* text) {
  gchar* shown = gtk_widget_get_tooltip_text(widget);
  if (g_strcmp0(shown, text) != 0) gtk_widget_set_tooltip_text(widget, text);
  g_free(shown);
}

int32_t ThresholdOfItem(int item) { return item * kThresholdStep + kThresholdStep; }

int ItemOfThreshold(int32_t threshold) {
  const int item = threshold / kThresholdStep - 1;
  return item >= 0 && item < kSensitivityItemCount ? item : -1;
}

void AppendSensitivityItems(GtkComboBox* combo) {
  for (const char* item : kSensitivityItems) gtk_combo_box_append_text(combo, item);
}

void ShowSensitivity(GtkComboBox* combo, int32_t threshold) {
  const int item = ItemOfThreshold(threshold);
  if (gtk_combo_box_get_active(combo) != item) {
    g_signal_handlers_block_by_func(combo, reinterpret_cast<gpointer>(on_axisthresh_changed), nullptr);
    gtk_combo_box_set_active(combo, item);
    g_signal_handlers_unblock_by_func(combo, reinterpret_cast<gpointer>(on_axisthresh_changed), nullptr);
  }
  char text[512];
  std::snprintf(text, sizeof(text), "%s\nIn force now: %d", kSensitivityTooltip, threshold);
  if (item >= 0 && ThresholdOfItem(item) == threshold) text[sizeof(kSensitivityTooltip) - 1] = '\0';
  SetTooltipIfChanged(GTK_WIDGET(combo), text);
}

void KeepUpToDateWhileShown(GtkWidget* page) {
  g_signal_connect(page, "expose-event", G_CALLBACK(on_page_expose_event), nullptr);
  g_signal_connect(page, "style-set", G_CALLBACK(on_page_style_set), nullptr);
  GList* children = gtk_container_get_children(GTK_CONTAINER(page));
  for (GList* l = children; l != nullptr; l = l->next) {
    if (KeyOfButton(GTK_WIDGET(l->data)) >= 0)
      g_signal_connect(l->data, "expose-event", G_CALLBACK(on_btn_expose_event), nullptr);
  }
  g_list_free(children);
}
