// The settings page's signal handlers, connected by SetProperty without user
// data. They run on the host's GTK thread.
#ifndef KELVO_UI_SETTINGS_PAGE_H
#define KELVO_UI_SETTINGS_PAGE_H

#include <gtk/gtk.h>

// Listens for a joystick button for the key named by the clicked widget
// ("btn1" to "btn8"), showing "A : press…" meanwhile. It runs a level of
// gtk_main of its own with a grab on the button, as a modal box does, and
// takes the keyboard wherever the focus is: the host's windows keep
// redrawing and its timeouts keep running, but only the button takes clicks
// and keys. It ends when
//   - a joystick button is held: the lowest one is assigned, the label shows
//     it and the file is saved;
//   - Delete or BackSpace is pressed: the key is cleared to 0 and saved;
//   - Esc, the same button clicked again, or 10 s without a press: the label
//     returns and nothing changes; the button hidden or destroyed (its
//     dialog closed): nothing changes;
//   - the host calls gtk_main_quit: as Esc, and the quit is passed on;
//   - no joystick to read (none open, or it went away): the label returns,
//     nothing changes and a message box says so and what to do.
// Whatever it ends with, the grabs are let go first, and the save and any
// box come after the capture's loop.
void on_btn_clicked(GtkButton* button);

// "changed" of the combo: the item's threshold, saved. "clicked" of "Save
// config": rewrites the file.
void on_axisthresh_changed(GtkComboBox* combo);
void on_saveconf_clicked();

#endif
