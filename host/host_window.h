// kelvo-host's window: the plug-in's identity, the joystick line, the pad
// word with a light for each key and direction, and the buttons; and the
// properties dialog whose notebook the plug-in fills. GTK thread only, except
// where said.
#ifndef KELVO_HOST_HOST_WINDOW_H
#define KELVO_HOST_HOST_WINDOW_H

#include <gtk/gtk.h>

#include <string>

#include "host/plugin_library.h"

struct WindowContent {
  std::string name, type, identifier, library, joystick;
  bool gamepadButton;  // a virtual joystick is there for the gamepad
};

struct WindowActions {
  void (*gamepad)();
  void (*switchOn)();
  void (*quit)();
};

void BuildHostWindow(const Plugin& plugin, const WindowContent& content, const WindowActions& actions);
void DestroyHostWindow();
GtkWidget* HostWindow();

// Any thread: the window shows these at the main loop's next turn.
void ShowPadWord(unsigned long word);
void ShowJoystick(const std::string& text);
void ShowGamepadRunning(bool running);

// Opens the properties dialog, whose notebook the plug-in fills; when it is
// open already, brings it forward instead.
void OpenProperties();
GtkWidget* PropertiesDialog();

#endif
