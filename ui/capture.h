// Assigning a key by pressing a joystick button: the "clicked" handler of the
// settings page's eight key buttons.
#ifndef KELVO_UI_CAPTURE_H
#define KELVO_UI_CAPTURE_H

#include <gtk/gtk.h>

// Listens for a joystick button for the key named by the clicked widget
// ("btn1" to "btn8"), showing "A : press…" meanwhile. It runs a main loop of
// its own with a grab on the button, as a message box does: the host's
// windows keep redrawing and its timeouts keep running, but only the button
// takes clicks and keys. It ends when
//   - a joystick button is held: the lowest one is assigned, the label shows
//     it and the file is saved;
//   - Delete or BackSpace is pressed: the key is cleared to 0 and saved;
//   - Esc is pressed, the same button is clicked again, or 10 s pass with
//     no press: the label returns and nothing changes;
//   - the button is hidden or destroyed (its dialog closed): nothing changes;
//   - there is no joystick to read (none open, or it went away): the label
//     returns, nothing changes and a message box says so.
// One capture at a time: a click on another key button meanwhile is ignored.
void on_btn_clicked(GtkButton* button);

// Whether this key button is listening for a press.
bool IsCapturing(GtkWidget* button);

#endif
