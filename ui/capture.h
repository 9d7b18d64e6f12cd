// Assigning a key by pressing a joystick button: the "clicked" handler of the
// settings page's eight key buttons.
#ifndef KELVO_UI_CAPTURE_H
#define KELVO_UI_CAPTURE_H

#include <gtk/gtk.h>

#include <chrono>

// A capture that sees no press for this long gives up and changes nothing,
// so an unplugged joystick or a user who walks away cannot hold the page.
constexpr std::chrono::milliseconds CAPTURE_TIME_LIMIT = std::chrono::seconds(10);

// The limit in force. The plug-in never changes it; tests shorten it.
extern std::chrono::milliseconds captureTimeLimit;

// How often a capture reads the joystick: 200 times a second, so that a
// press of 10 ms is seen even when a poll comes a few milliseconds late.
constexpr unsigned CAPTURE_POLL_INTERVAL_MS = 5;

// Shown when a capture finds no joystick to read.
constexpr char NO_JOYSTICK_TEXT[] = "No joystick is open: switch the plug-in on with a joystick attached";

// Shown on the clicked key button while the capture listens.
constexpr char CAPTURE_PROMPT_FORMAT[] = "%s : press\u2026";

// Listens for a joystick button for the key named by the clicked widget
// ("btn1" to "btn8"), showing "A : press…" meanwhile. It runs a main loop of
// its own with a grab on the button, as a message box does: the host's
// windows keep redrawing and its timeouts keep running, but only the button
// takes clicks and keys. It ends when
//   - a joystick button is held: the lowest one is assigned, the label shows
//     it and the file is saved;
//   - Delete or BackSpace is pressed: the key is cleared to 0 and saved;
//   - Esc is pressed, the same button is clicked again, or the time limit
//     runs out: the label returns and nothing changes;
//   - the button is hidden or destroyed (its dialog closed): nothing changes;
//   - there is no joystick to read (none open, or it went away): the label
//     returns, nothing changes and a message box says so.
// Every open page then shows the key map in force.
void on_btn_clicked(GtkButton* button);

// Whether this key button is listening for a press.
bool IsCapturing(GtkWidget* button);

#endif
