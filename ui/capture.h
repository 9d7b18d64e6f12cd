// Assigning a key by pressing a joystick button: the "clicked" handler of the
// settings page's eight key buttons.
#ifndef KELVO_UI_CAPTURE_H
#define KELVO_UI_CAPTURE_H

#include <gtk/gtk.h>

#include <chrono>

// A capture that sees no press for this long gives up and changes nothing,
// so an unplugged joystick or a user who walks away cannot freeze the host.
constexpr std::chrono::milliseconds CAPTURE_TIME_LIMIT = std::chrono::seconds(10);

// The limit in force. The plug-in never changes it; tests shorten it.
extern std::chrono::milliseconds captureTimeLimit;

// Shown when a key button is clicked with no joystick to read.
constexpr char NO_JOYSTICK_TEXT[] = "No joystick is open: switch the plug-in on with a joystick attached";

// Blocks the GTK main loop, polling the joystick without pause until a button
// is held, then assigns the lowest held button to the key named by the
// clicked widget ("btn1" to "btn8"), relabels it and saves the file.
void on_btn_clicked(GtkButton* button);

#endif
