#include "host/host_window.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>

#include "gtk_helpers/tool_window.h"
#include "host/pad_names.h"
#include "host/say.h"

namespace {

struct Window {
  const Plugin* plugin = nullptr;
  WindowActions actions{};
  GtkWidget* window = nullptr;
  GtkWidget* wordLabel = nullptr;
  GtkWidget* lights[12] = {};
  GtkWidget* joystickLabel = nullptr;
  GtkWidget* gamepadButton = nullptr;
  GtkWidget* properties = nullptr;
};
Window shown;

// What other threads hand over for the window.
std::atomic<unsigned long> padWord{~0ul};
std::atomic<bool> gamepadRunning{false};
std::mutex joystickLock;
std::string joystickText;

gboolean UpdatePadWord(gpointer) {
  if (shown.window == nullptr) return FALSE;
  const unsigned long word = padWord.load();
  char text[64];
  std::snprintf(text, sizeof(text), "<span font_family=\"monospace\" size=\"x-large\">0x%05lX</span>",
                word & 0x3FFFFul);
  gtk_label_set_markup(GTK_LABEL(shown.wordLabel), text);
  static const GdkColor kLit = {0, 0x3000, 0xC000, 0x3000};
  for (int i = 0; i < 12; ++i) {
    const bool held = (word & kPadBits[i].bit) == 0;
    gtk_widget_modify_bg(shown.lights[i], GTK_STATE_NORMAL, held ? &kLit : nullptr);
  }
  return FALSE;
}

gboolean UpdateJoystick(gpointer) {
  if (shown.joystickLabel == nullptr) return FALSE;
  std::lock_guard<std::mutex> hold(joystickLock);
  gtk_label_set_text(GTK_LABEL(shown.joystickLabel), joystickText.c_str());
  return FALSE;
}

gboolean UpdateGamepadButton(gpointer) {
  if (shown.gamepadButton != nullptr) gtk_widget_set_sensitive(shown.gamepadButton, !gamepadRunning.load());
  return FALSE;
}

void on_properties_clicked(GtkButton*, gpointer) { OpenProperties(); }
void on_gamepad_clicked(GtkButton*, gpointer) { shown.actions.gamepad(); }
void on_switch_on_clicked(GtkButton*, gpointer) { shown.actions.switchOn(); }
void on_quit_clicked(GtkButton*, gpointer) { shown.actions.quit(); }
gboolean on_window_delete(GtkWidget*, GdkEvent*, gpointer) {
  shown.actions.quit();
  return TRUE;
}

GtkWidget* InfoRow(GtkWidget* table, int row, const char* title, const std::string& value) {
  GtkWidget* key = gtk_label_new(title);
  gtk_misc_set_alignment(GTK_MISC(key), 0, 0.5);
  GtkWidget* text = gtk_label_new(value.c_str());
  gtk_misc_set_alignment(GTK_MISC(text), 0, 0.5);
  const guint r = static_cast<guint>(row);
  gtk_table_attach(GTK_TABLE(table), key, 0, 1, r, r + 1, GTK_FILL, GTK_FILL, 0, 0);
  gtk_table_attach(GTK_TABLE(table), text, 1, 2, r, r + 1, GTK_FILL, GTK_FILL, 0, 0);
  return text;
}

// A key's cell is 56 x 24 at the least, and as large as its name needs at a
// larger font (a fixed size request would clip "Select" at 14 pt).
void AtLeastACell(GtkWidget*, GtkRequisition* size, gpointer) {
  size->width = std::max(size->width, 56);
  size->height = std::max(size->height, 24);
}

GtkWidget* PadFrame() {
  GtkWidget* frame = gtk_frame_new("Pad word (active low)");
  GtkWidget* box = gtk_vbox_new(FALSE, 6);
  gtk_container_set_border_width(GTK_CONTAINER(box), 6);
  gtk_container_add(GTK_CONTAINER(frame), box);
  shown.wordLabel = gtk_label_new("");
  gtk_box_pack_start(GTK_BOX(box), shown.wordLabel, FALSE, FALSE, 0);
  GtkWidget* lights = gtk_table_new(2, 6, TRUE);
  gtk_table_set_row_spacings(GTK_TABLE(lights), 3);
  gtk_table_set_col_spacings(GTK_TABLE(lights), 3);
  for (int i = 0; i < 12; ++i) {
    // An event box has a window of its own, so its background can be lit.
    GtkWidget* light = gtk_event_box_new();
    GtkWidget* label = gtk_label_new(kPadBits[i].name);
    g_signal_connect_after(label, "size-request", G_CALLBACK(AtLeastACell), nullptr);
    gtk_container_add(GTK_CONTAINER(light), label);
    GtkWidget* edge = gtk_frame_new(nullptr);
    gtk_frame_set_shadow_type(GTK_FRAME(edge), GTK_SHADOW_IN);
    gtk_container_add(GTK_CONTAINER(edge), light);
    const guint col = static_cast<guint>(i % 6), row = static_cast<guint>(i / 6);
    gtk_table_attach_defaults(GTK_TABLE(lights), edge, col, col + 1, row, row + 1);
    shown.lights[i] = light;
  }
  gtk_box_pack_start(GTK_BOX(box), lights, FALSE, FALSE, 0);
  return frame;
}

GtkWidget* Button(GtkWidget* box, GtkWidget* button, const char* name, GCallback clicked) {
  gtk_widget_set_name(button, name);
  g_signal_connect(button, "clicked", clicked, nullptr);
  gtk_container_add(GTK_CONTAINER(box), button);
  return button;
}

}  // namespace

void BuildHostWindow(const Plugin& plugin, const WindowContent& content, const WindowActions& actions) {
  shown.plugin = &plugin;
  shown.actions = actions;
  GtkWidget* box = nullptr;
  shown.window = NewToolWindow("Kelvo host", 8, &box);
  g_signal_connect(shown.window, "delete-event", G_CALLBACK(on_window_delete), nullptr);

  GtkWidget* info = gtk_table_new(5, 2, FALSE);
  gtk_table_set_col_spacings(GTK_TABLE(info), 8);
  InfoRow(info, 0, "Plug-in:", content.name);
  InfoRow(info, 1, "Type:", content.type);
  InfoRow(info, 2, "Identifier:", content.identifier);
  InfoRow(info, 3, "Library:", content.library);
  shown.joystickLabel = InfoRow(info, 4, "Joystick:", content.joystick);
  gtk_box_pack_start(GTK_BOX(box), info, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), PadFrame(), FALSE, FALSE, 0);

  GtkWidget* buttons = gtk_hbutton_box_new();
  gtk_button_box_set_layout(GTK_BUTTON_BOX(buttons), GTK_BUTTONBOX_END);
  gtk_box_set_spacing(GTK_BOX(buttons), 6);
  Button(buttons, gtk_button_new_with_label("Switch on"), "switch-on", G_CALLBACK(on_switch_on_clicked));
  Button(buttons, gtk_button_new_with_label("Properties"), "properties", G_CALLBACK(on_properties_clicked));
  if (content.gamepadButton)
    shown.gamepadButton =
        Button(buttons, gtk_button_new_with_label("Gamepad"), "gamepad", G_CALLBACK(on_gamepad_clicked));
  Button(buttons, gtk_button_new_from_stock(GTK_STOCK_QUIT), "quit", G_CALLBACK(on_quit_clicked));
  gtk_box_pack_start(GTK_BOX(box), buttons, FALSE, FALSE, 0);

  gtk_window_move(GTK_WINDOW(shown.window), 0, 0);
  gtk_widget_show_all(shown.window);
  UpdatePadWord(nullptr);
  UpdateGamepadButton(nullptr);
}

void DestroyHostWindow() {
  if (shown.window != nullptr) gtk_widget_destroy(shown.window);
  shown = Window{};
}

GtkWidget* HostWindow() { return shown.window; }

void ShowPadWord(unsigned long word) {
  padWord.store(word);
  g_idle_add(UpdatePadWord, nullptr);
}

void ShowJoystick(const std::string& text) {
  {
    std::lock_guard<std::mutex> hold(joystickLock);
    joystickText = text;
  }
  Say("joystick: %s", text.c_str());
  g_idle_add(UpdateJoystick, nullptr);
}

void ShowGamepadRunning(bool running) {
  gamepadRunning.store(running);
  g_idle_add(UpdateGamepadButton, nullptr);
}

void OpenProperties() {
  if (shown.window == nullptr) return;  // the plug-in is not switched on yet
  if (shown.properties != nullptr) {
    gtk_window_present(GTK_WINDOW(shown.properties));
    Say("properties: brought forward");
    return;
  }
  GtkWidget* dialog =
      gtk_dialog_new_with_buttons("Properties", GTK_WINDOW(shown.window), GTK_DIALOG_DESTROY_WITH_PARENT,
                                  GTK_STOCK_CLOSE, GTK_RESPONSE_CLOSE, nullptr);
  g_signal_connect(dialog, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
  GtkWidget* notebook = gtk_notebook_new();
  gtk_box_pack_start(GTK_BOX(GTK_DIALOG(dialog)->vbox), notebook, TRUE, TRUE, 0);
  gtk_widget_show(notebook);

  shown.plugin->SetProperty(notebook);
  const int pages = gtk_notebook_get_n_pages(GTK_NOTEBOOK(notebook));
  if (pages > 0) gtk_notebook_set_current_page(GTK_NOTEBOOK(notebook), pages - 1);

  // Below the host's window.
  GtkRequisition size;
  gtk_widget_size_request(shown.window, &size);
  gtk_window_move(GTK_WINDOW(dialog), 0, size.height + 8);
  gtk_widget_show(dialog);
  shown.properties = dialog;
  g_object_add_weak_pointer(G_OBJECT(dialog), reinterpret_cast<gpointer*>(&shown.properties));
  Say("properties: %d page%s", pages, pages == 1 ? "" : "s");
}

GtkWidget* PropertiesDialog() { return shown.properties; }
