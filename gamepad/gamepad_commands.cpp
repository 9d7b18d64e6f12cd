// The gamepad's command input: one command a line on standard input (the
// list is in kelvo_vjoy.cpp).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gamepad/gamepad.h"
#include "gtk_helpers/window_picture.h"

namespace {

void RunCommand(const std::string& line) {
  char word[32] = {}, argument[512] = {};
  int value = 0;
  if (std::sscanf(line.c_str(), "%31s", word) != 1) return;
  const std::string command = word;
  const bool isInput = command == "press" || command == "release" || command == "hat" || command == "axis";
  if (isInput && !Plugged()) {
    Say("unplugged: " + line);
  } else if ((command == "press" || command == "release") &&
             std::sscanf(line.c_str(), "%*s %d", &value) == 1) {
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
  } else if (command == "unplug") {
    Unplug();
  } else if (command == "plug") {
    AskToPlugIn();
  } else if (command == "plugged") {
    PluggedIn();
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

}  // namespace

void ReadCommands() {
  GIOChannel* input = g_io_channel_unix_new(0);
  g_io_add_watch(input, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), on_stdin, nullptr);
  g_io_channel_unref(input);  // the watch keeps its own reference
}
