// kelvo-vjoy's state and the parts that share it: the device it writes
// (gamepad_device.cpp), its window (gamepad_window.cpp) and its command
// input (gamepad_commands.cpp).
#ifndef KELVO_GAMEPAD_GAMEPAD_H
#define KELVO_GAMEPAD_GAMEPAD_H

#include <gtk/gtk.h>

#include <cstdint>
#include <string>
#include <vector>

#include "virtual_joystick/virtual_joystick.h"

struct HatButton {
  const char* name;
  uint8_t bit;
  int row, column;
};
extern const HatButton kHatButtons[4];

struct Gamepad {
  std::string device;
  int fd = -1;  // the device, open for writing while plugged in
  bool writeFailed = false;
  JoystickShape shape{12, 2, 1};
  std::vector<bool> held;
  uint8_t hat = 0;
  GtkWidget* window = nullptr;
  std::vector<GtkWidget*> buttons;
  GtkWidget* hatButtons[4] = {};
  GtkWidget* sliders[2] = {};
  GtkWidget* controls = nullptr;  // everything that sends input
  GtkWidget* plugButton = nullptr;
  GtkWidget* status = nullptr;
};
extern Gamepad pad;

// One line on standard output, "gamepad: " first.
void Say(const std::string& line);

// The device (gamepad_device.cpp).
bool OpenDevice();
void Send(uint8_t type, uint8_t number, int16_t value);
void SendHat();
// Lets go of everything, so that the reader is not left with a held button.
void ReleaseAll();
bool Plugged();
// Pulls the cable: the device is closed without letting go of anything, as
// a real pad does, and whoever made the device is told "unplugged".
void Unplug();
// Asks whoever made the device to make it again ("plugging in"); it answers
// with the command "plugged", on which PluggedIn opens it.
void AskToPlugIn();
void PluggedIn();

// The window (gamepad_window.cpp).
void BuildWindow(int x, int y, bool placed);
void ShowStatus();
void Highlight(GtkWidget* widget, bool on);
// Forgets what was held, shown released, without sending anything.
void ForgetHeld();
void ShowPlugged(bool plugged, bool waiting);

// Commands on standard input (gamepad_commands.cpp).
void ReadCommands();

#endif
