#include <linux/joystick.h>

#include <string>

#include "gamepad/gamepad.h"
#include "gtk_helpers/tool_window.h"

const HatButton kHatButtons[4] = {
    {"up", kHatUp, 0, 1}, {"left", kHatLeft, 1, 0}, {"right", kHatRight, 1, 2}, {"down", kHatDown, 2, 1}};

namespace {

void on_button_pressed(GtkButton* button, gpointer data) {
  const int n = GPOINTER_TO_INT(data);
  if (pad.held[n] || !Plugged()) return;
  pad.held[n] = true;
  Send(JS_EVENT_BUTTON, static_cast<uint8_t>(n), 1);
  Highlight(GTK_WIDGET(button), true);
  ShowStatus();
}

void on_button_released(GtkButton* button, gpointer data) {
  const int n = GPOINTER_TO_INT(data);
  if (!pad.held[n]) return;
  pad.held[n] = false;
  Send(JS_EVENT_BUTTON, static_cast<uint8_t>(n), 0);
  Highlight(GTK_WIDGET(button), false);
  ShowStatus();
}

void on_hat_pressed(GtkButton* button, gpointer data) {
  if (!Plugged()) return;
  pad.hat |= static_cast<uint8_t>(GPOINTER_TO_INT(data));
  SendHat();
  Highlight(GTK_WIDGET(button), true);
  ShowStatus();
}

void on_hat_released(GtkButton* button, gpointer data) {
  if (!Plugged()) return;
  pad.hat &= static_cast<uint8_t>(~GPOINTER_TO_INT(data));
  SendHat();
  Highlight(GTK_WIDGET(button), false);
  ShowStatus();
}

void on_axis_changed(GtkRange* range, gpointer data) {
  const int axis = GPOINTER_TO_INT(data);
  Send(JS_EVENT_AXIS, static_cast<uint8_t>(axis), static_cast<int16_t>(gtk_range_get_value(range)));
}

void on_centre_clicked(GtkButton*, gpointer) {
  for (GtkWidget* slider : pad.sliders)
    if (slider) gtk_range_set_value(GTK_RANGE(slider), 0);
}

void on_window_destroy(GtkWidget*, gpointer) {
  pad.window = nullptr;
  if (gtk_main_level() > 0) gtk_main_quit();
}

void on_plug_clicked(GtkButton*, gpointer) {
  if (Plugged())
    Unplug();
  else
    AskToPlugIn();
}

GtkWidget* Frame(const char* title, GtkWidget* child) {
  GtkWidget* frame = gtk_frame_new(title);
  gtk_container_set_border_width(GTK_CONTAINER(child), 6);
  gtk_container_add(GTK_CONTAINER(frame), child);
  return frame;
}

}  // namespace

void BuildWindow(int x, int y, bool placed) {
  GtkWidget* outer = nullptr;
  pad.window = NewToolWindow("Kelvo virtual gamepad", 6, &outer);
  g_signal_connect(pad.window, "destroy", G_CALLBACK(on_window_destroy), nullptr);
  // Everything that sends input, so that it can be made insensitive while
  // the pad is unplugged.
  GtkWidget* box = pad.controls = gtk_vbox_new(FALSE, 6);
  gtk_box_pack_start(GTK_BOX(outer), box, FALSE, FALSE, 0);

  // Buttons in rows of four, numbered from 1 as Kelvo.ini and the settings
  // page count them.
  const int columns = 4;
  const int rows = (pad.shape.buttons + columns - 1) / columns;
  GtkWidget* grid = gtk_table_new(static_cast<guint>(rows), columns, TRUE);
  gtk_table_set_row_spacings(GTK_TABLE(grid), 4);
  gtk_table_set_col_spacings(GTK_TABLE(grid), 4);
  for (int i = 0; i < pad.shape.buttons; ++i) {
    GtkWidget* button = gtk_button_new_with_label(std::to_string(i + 1).c_str());
    gtk_widget_set_size_request(button, 44, 32);
    g_signal_connect(button, "pressed", G_CALLBACK(on_button_pressed), GINT_TO_POINTER(i));
    g_signal_connect(button, "released", G_CALLBACK(on_button_released), GINT_TO_POINTER(i));
    const guint col = static_cast<guint>(i % columns), row = static_cast<guint>(i / columns);
    gtk_table_attach_defaults(GTK_TABLE(grid), button, col, col + 1, row, row + 1);
    pad.buttons.push_back(button);
  }
  gtk_box_pack_start(GTK_BOX(box), Frame("Buttons", grid), FALSE, FALSE, 0);

  GtkWidget* lower = gtk_hbox_new(FALSE, 6);
  gtk_box_pack_start(GTK_BOX(box), lower, FALSE, FALSE, 0);
  if (pad.shape.hats > 0) {
    GtkWidget* cross = gtk_table_new(3, 3, TRUE);
    for (int i = 0; i < 4; ++i) {
      const HatButton& h = kHatButtons[i];
      const char* arrow = h.bit == kHatUp     ? "\u25B2"
                          : h.bit == kHatDown ? "\u25BC"
                          : h.bit == kHatLeft ? "\u25C0"
                                              : "\u25B6";
      GtkWidget* button = gtk_button_new_with_label(arrow);
      gtk_widget_set_size_request(button, 32, 28);
      g_signal_connect(button, "pressed", G_CALLBACK(on_hat_pressed), GINT_TO_POINTER(h.bit));
      g_signal_connect(button, "released", G_CALLBACK(on_hat_released), GINT_TO_POINTER(h.bit));
      gtk_table_attach_defaults(GTK_TABLE(cross), button, static_cast<guint>(h.column),
                                static_cast<guint>(h.column + 1), static_cast<guint>(h.row),
                                static_cast<guint>(h.row + 1));
      pad.hatButtons[i] = button;
    }
    gtk_box_pack_start(GTK_BOX(lower), Frame("Hat", cross), FALSE, FALSE, 0);
  }
  if (pad.shape.axes > 0) {
    GtkWidget* stick = gtk_table_new(2, 2, FALSE);
    gtk_table_set_col_spacings(GTK_TABLE(stick), 4);
    for (int a = 0; a < pad.shape.axes && a < 2; ++a) {
      // Axis 1 grows downwards, as the stick's y does.
      GtkWidget* slider =
          a == 0 ? gtk_hscale_new_with_range(-32767, 32767, 1) : gtk_vscale_new_with_range(-32767, 32767, 1);
      gtk_scale_set_draw_value(GTK_SCALE(slider), FALSE);
      gtk_range_set_value(GTK_RANGE(slider), 0);
      gtk_widget_set_size_request(slider, a == 0 ? 110 : -1, a == 0 ? -1 : 64);
      g_signal_connect(slider, "value-changed", G_CALLBACK(on_axis_changed), GINT_TO_POINTER(a));
      if (a == 0)
        gtk_table_attach(GTK_TABLE(stick), slider, 0, 1, 1, 2, GTK_FILL, GTK_SHRINK, 0, 0);
      else
        gtk_table_attach(GTK_TABLE(stick), slider, 1, 2, 0, 1, GTK_SHRINK, GTK_FILL, 0, 0);
      pad.sliders[a] = slider;
    }
    GtkWidget* centre = gtk_button_new_with_label("Centre");
    g_signal_connect(centre, "clicked", G_CALLBACK(on_centre_clicked), nullptr);
    gtk_table_attach(GTK_TABLE(stick), centre, 0, 1, 0, 1, GTK_SHRINK, GTK_SHRINK, 0, 0);
    gtk_box_pack_start(GTK_BOX(lower), Frame("Stick (axes 0, 1)", stick), FALSE, FALSE, 0);
  }
  GtkWidget* bottom = gtk_hbox_new(FALSE, 6);
  pad.status = gtk_label_new("");
  gtk_misc_set_alignment(GTK_MISC(pad.status), 0, 0.5);
  gtk_box_pack_start(GTK_BOX(bottom), pad.status, TRUE, TRUE, 0);
  pad.plugButton = gtk_button_new_with_label("Unplug");
  gtk_widget_set_name(pad.plugButton, "plug");
  g_signal_connect(pad.plugButton, "clicked", G_CALLBACK(on_plug_clicked), nullptr);
  gtk_box_pack_start(GTK_BOX(bottom), pad.plugButton, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(outer), bottom, FALSE, FALSE, 0);
  ShowStatus();

  if (placed) gtk_window_move(GTK_WINDOW(pad.window), x, y);
  gtk_widget_show_all(pad.window);
}

void ShowStatus() {
  if (!Plugged()) return;
  std::string text = "Held:";
  bool any = false;
  for (size_t i = 0; i < pad.held.size(); ++i) {
    if (!pad.held[i]) continue;
    text += " " + std::to_string(i + 1);
    any = true;
  }
  for (const HatButton& h : kHatButtons) {
    if (pad.hat & h.bit) {
      text += std::string(" hat-") + h.name;
      any = true;
    }
  }
  if (!any) text += " nothing";
  gtk_label_set_text(GTK_LABEL(pad.status), text.c_str());
}

// A held control is drawn highlighted whatever the mouse does, so that a
// press made by a command shows too.
void Highlight(GtkWidget* widget, bool on) {
  static const GdkColor kHeld = {0, 0x5C00, 0xB800, 0x5C00};
  for (GtkStateType state : {GTK_STATE_NORMAL, GTK_STATE_PRELIGHT, GTK_STATE_ACTIVE})
    gtk_widget_modify_bg(widget, state, on ? &kHeld : nullptr);
}

void ForgetHeld() {
  for (size_t i = 0; i < pad.buttons.size(); ++i) Highlight(pad.buttons[i], false);
  for (GtkWidget* h : pad.hatButtons)
    if (h) Highlight(h, false);
  pad.held.assign(pad.held.size(), false);
  pad.hat = 0;
  for (GtkWidget* slider : pad.sliders)
    if (slider) gtk_range_set_value(GTK_RANGE(slider), 0);
}

void ShowPlugged(bool plugged, bool waiting) {
  gtk_widget_set_sensitive(pad.controls, plugged);
  gtk_widget_set_sensitive(pad.plugButton, !waiting);
  gtk_button_set_label(GTK_BUTTON(pad.plugButton), plugged ? "Unplug" : "Plug in");
  if (plugged)
    ShowStatus();
  else
    gtk_label_set_text(GTK_LABEL(pad.status), waiting ? "Plugging in..." : "Unplugged");
}
