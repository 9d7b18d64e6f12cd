// kelvo-vjoy: a gamepad on the screen. It writes Linux joystick events into a
// joystick FIFO that some other process (kelvo-host) made and keeps open, so
// that SDL in that process reads it as joystick 0. Buttons are held while the
// mouse holds them; the hat's four buttons likewise; two sliders set the
// stick's axes.
//
// It runs as a process of its own so that it keeps answering while the host's
// main loop is blocked (a capture on the settings page waits there for a
// button press).
//
// With --commands it also reads one command a line from standard input, and
// quits at end of input (the host went away):
//   press N | release N      joystick button N, counting from 1
//   hat up|down|left|right|centre
//   axis N VALUE             axis 0 (x) or 1 (y), -32767 to 32767
//   close                    closes the window, as its close button does
//   shot FILE                saves the window as a PNG
#include <fcntl.h>
#include <gtk/gtk.h>
#include <linux/joystick.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gtk_helpers/display_lost.h"
#include "gtk_helpers/tool_window.h"
#include "gtk_helpers/window_picture.h"
#include "virtual_joystick/virtual_joystick.h"

namespace {

constexpr int kMaxButtons = 32;

struct HatButton {
  const char* name;
  uint8_t bit;
  int row, column;
};
const HatButton kHatButtons[4] = {
    {"up", kHatUp, 0, 1}, {"left", kHatLeft, 1, 0}, {"right", kHatRight, 1, 2}, {"down", kHatDown, 2, 1}};

struct Gamepad {
  int fd = -1;
  JoystickShape shape{12, 2, 1};
  std::vector<bool> held;
  uint8_t hat = 0;
  GtkWidget* window = nullptr;
  std::vector<GtkWidget*> buttons;
  GtkWidget* hatButtons[4] = {};
  GtkWidget* sliders[2] = {};
  GtkWidget* status = nullptr;
  bool writeFailed = false;
};

Gamepad pad;

// Nobody reads the joystick any more: the host is gone.
void DeviceGone() {
  pad.writeFailed = true;
  std::fprintf(stderr, "kelvo-vjoy: the joystick device no longer takes events\n");
  gtk_main_quit();
}

void Send(uint8_t type, uint8_t number, int16_t value) {
  if (pad.fd < 0 || pad.writeFailed) return;
  if (!WriteJoystickEvent(pad.fd, type, number, value)) DeviceGone();
}

void SendHat() {
  if (pad.shape.hats < 1 || pad.fd < 0 || pad.writeFailed) return;
  if (!WriteHatEvents(pad.fd, pad.shape, pad.hat)) DeviceGone();
}

void ShowStatus() {
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

void on_button_pressed(GtkButton* button, gpointer data) {
  const int n = GPOINTER_TO_INT(data);
  if (pad.held[n]) return;
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
  pad.hat |= static_cast<uint8_t>(GPOINTER_TO_INT(data));
  SendHat();
  Highlight(GTK_WIDGET(button), true);
  ShowStatus();
}

void on_hat_released(GtkButton* button, gpointer data) {
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

// Lets go of everything, so that the reader is not left with a held button.
void ReleaseAll() {
  for (size_t i = 0; i < pad.held.size(); ++i)
    if (pad.held[i]) Send(JS_EVENT_BUTTON, static_cast<uint8_t>(i), 0);
  for (int a = 0; a < pad.shape.axes; ++a) Send(JS_EVENT_AXIS, static_cast<uint8_t>(a), 0);
  pad.hat = 0;
  SendHat();
}

void on_window_destroy(GtkWidget*, gpointer) {
  pad.window = nullptr;
  if (gtk_main_level() > 0) gtk_main_quit();
}

void Say(const std::string& line) {
  std::printf("gamepad: %s\n", line.c_str());
  std::fflush(stdout);
}

void RunCommand(const std::string& line) {
  char word[32] = {}, argument[512] = {};
  int value = 0;
  if (std::sscanf(line.c_str(), "%31s", word) != 1) return;
  const std::string command = word;
  if ((command == "press" || command == "release") && std::sscanf(line.c_str(), "%*s %d", &value) == 1) {
    if (value < 1 || value > pad.shape.buttons) {
      Say("no button " + std::to_string(value));
      return;
    }
    g_signal_emit_by_name(pad.buttons[value - 1], command == "press" ? "pressed" : "released");
  } else if (command == "hat" && std::sscanf(line.c_str(), "%*s %511s", argument) == 1) {
    if (pad.shape.hats < 1) {
      Say("no hat");
      return;
    }
    bool known = std::strcmp(argument, "centre") == 0 || std::strcmp(argument, "center") == 0;
    for (int i = 0; i < 4; ++i) {
      if (pad.hatButtons[i] == nullptr) continue;
      const bool wanted = std::strcmp(argument, kHatButtons[i].name) == 0;
      known = known || wanted;
      const bool isHeld = (pad.hat & kHatButtons[i].bit) != 0;
      if (isHeld && !wanted) g_signal_emit_by_name(pad.hatButtons[i], "released");
    }
    for (int i = 0; i < 4; ++i) {
      if (pad.hatButtons[i] != nullptr && std::strcmp(argument, kHatButtons[i].name) == 0)
        g_signal_emit_by_name(pad.hatButtons[i], "pressed");
    }
    if (!known) Say(std::string("no hat direction ") + argument);
  } else if (command == "axis" && std::sscanf(line.c_str(), "%*s %d %511s", &value, argument) == 2) {
    if (value < 0 || value >= pad.shape.axes || value > 1) {
      Say("no axis " + std::to_string(value));
      return;
    }
    gtk_range_set_value(GTK_RANGE(pad.sliders[value]), std::atoi(argument));
  } else if (command == "close") {
    if (pad.window) gtk_widget_destroy(pad.window);
  } else if (command == "shot" && std::sscanf(line.c_str(), "%*s %511s", argument) == 1) {
    Say(std::string(SaveWindowPng(pad.window, argument) ? "saved " : "could not save ") + argument);
  } else {
    Say("unknown command: " + line);
  }
}

gboolean on_stdin(GIOChannel* channel, GIOCondition, gpointer) {
  gchar* text = nullptr;
  gsize length = 0;
  const GIOStatus status = g_io_channel_read_line(channel, &text, &length, nullptr, nullptr);
  if (status == G_IO_STATUS_NORMAL && text != nullptr) {
    std::string line(text);
    g_free(text);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    RunCommand(line);
    return TRUE;
  }
  g_free(text);
  if (status == G_IO_STATUS_AGAIN) return TRUE;
  gtk_main_quit();  // end of input: whoever drove us is gone
  return FALSE;
}

GtkWidget* Frame(const char* title, GtkWidget* child) {
  GtkWidget* frame = gtk_frame_new(title);
  gtk_container_set_border_width(GTK_CONTAINER(child), 6);
  gtk_container_add(GTK_CONTAINER(frame), child);
  return frame;
}

void BuildWindow(int x, int y, bool placed) {
  GtkWidget* box = nullptr;
  pad.window = NewToolWindow("Kelvo virtual gamepad", 6, &box);
  g_signal_connect(pad.window, "destroy", G_CALLBACK(on_window_destroy), nullptr);

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
  pad.status = gtk_label_new("");
  gtk_misc_set_alignment(GTK_MISC(pad.status), 0, 0.5);
  gtk_box_pack_start(GTK_BOX(box), pad.status, FALSE, FALSE, 0);
  ShowStatus();

  if (placed) gtk_window_move(GTK_WINDOW(pad.window), x, y);
  gtk_widget_show_all(pad.window);
}

int Usage(const char* self) {
  std::fprintf(stderr,
               "usage: %s --device FIFO [--buttons N] [--axes N] [--hats 0|1] [--at X,Y] [--commands]\n",
               self);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string device;
  bool commands = false, placed = false;
  int x = 0, y = 0;
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "kelvo-vjoy: cannot open the display\n");
    return 1;
  }
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--device" && hasValue) {
      device = argv[++i];
    } else if (arg == "--buttons" && hasValue) {
      pad.shape.buttons = std::atoi(argv[++i]);
    } else if (arg == "--axes" && hasValue) {
      pad.shape.axes = std::atoi(argv[++i]);
    } else if (arg == "--hats" && hasValue) {
      pad.shape.hats = std::atoi(argv[++i]);
    } else if (arg == "--at" && hasValue) {
      placed = std::sscanf(argv[++i], "%d,%d", &x, &y) == 2;
    } else if (arg == "--commands") {
      commands = true;
    } else {
      return Usage(argv[0]);
    }
  }
  if (device.empty() || pad.shape.buttons < 1 || pad.shape.buttons > kMaxButtons || pad.shape.axes < 0 ||
      pad.shape.axes > 2 || pad.shape.hats < 0 || pad.shape.hats > 1)
    return Usage(argv[0]);
  pad.held.assign(static_cast<size_t>(pad.shape.buttons), false);

  // A write to a device nobody reads ends the gamepad quietly, not by signal.
  signal(SIGPIPE, SIG_IGN);
  // Driven through its input (by kelvo-host), it ends when that input ends:
  // a Ctrl-C meant for the host does not cut it short, and the host lets go
  // of the joystick after it. Losing the display ends it quietly too.
  if (commands) signal(SIGINT, SIG_IGN);
  OnDisplayLost(nullptr);
  pad.fd = open(device.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (pad.fd < 0) {
    std::fprintf(stderr, "kelvo-vjoy: cannot open %s: %s\n", device.c_str(), std::strerror(errno));
    return 1;
  }
  // Blocking from here on: events are small, and a full pipe only waits.
  fcntl(pad.fd, F_SETFL, fcntl(pad.fd, F_GETFL) & ~O_NONBLOCK);

  BuildWindow(x, y, placed);
  if (commands) {
    GIOChannel* input = g_io_channel_unix_new(STDIN_FILENO);
    g_io_add_watch(input, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), on_stdin, nullptr);
    g_io_channel_unref(input);  // the watch keeps its own reference
  }
  Say("ready, pid " + std::to_string(getpid()));
  gtk_main();
  ReleaseAll();
  if (pad.window) gtk_widget_destroy(pad.window);
  close(pad.fd);
  return 0;
}
