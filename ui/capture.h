// Listening on a key button for a joystick button press.
#ifndef KELVO_UI_CAPTURE_H
#define KELVO_UI_CAPTURE_H

#include <gtk/gtk.h>

// How a capture ended. Closed: the button was hidden or destroyed.
struct CaptureOutcome {
  enum End { Pressed, Cleared, Cancelled, Closed, NoJoystick } end;
  int button;  // Pressed: the lowest joystick button held, from 0
};

// Listens on a key button as on_btn_clicked (ui/settings_page.h) describes
// and returns how that ended, with the grabs let go and a host's quit passed
// on. The caller keeps the button alive meanwhile.
CaptureOutcome ListenForPress(GtkWidget* button);

#endif
