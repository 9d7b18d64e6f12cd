// The settings page that SetProperty appends to the host's properties
// notebook, and its signal handlers. Every handler runs on the host's GTK
// main-loop thread.
//
// While a page is on screen a timeout of its own brings it up to date: key
// labels, the sensitivity, the tooltips, and the keys lit while their
// joystick buttons are held. It starts when the page is drawn and stops at
// the first tick that finds the page off screen, so nothing is read while no
// page shows.
#ifndef KELVO_UI_SETTINGS_PAGE_H
#define KELVO_UI_SETTINGS_PAGE_H

#include <gtk/gtk.h>

#include <cstdint>

// Formats a printf-style text through a 512-character buffer and makes it the
// button's label. A longer text is cut at 511 bytes, back to the last whole
// UTF-8 character.
void SetButtonText(GtkButton* button, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The key (0 to 7) of a key button, read from its widget name "btn1" to
// "btn8"; -1 for any other widget.
int KeyOfButton(GtkWidget* widget);

// Labels a key button with its key's assignment, "A : Button 3" or
// "A : None". Returns whether the text changed.
bool ShowAssignment(GtkButton* button, int key, int32_t number);

// Places and sizes the page's widgets for the current font and texts.
void LayOutPage(GtkWidget* page);

// Mapped, in a window that is shown: hiding a window unmaps only the window.
bool OnScreen(GtkWidget* widget);

// Pages bring themselves up to date while on screen, so there is nothing
// left to do here; kept for callers written before that.
inline void RefreshOpenPages() {}

// "changed" of the sensitivity combo: threshold = item index * 500 + 500,
// then the file is saved.
void on_axisthresh_changed(GtkComboBox* combo);

// "clicked" of "Save config": rewrites the file.
void on_saveconf_clicked();

#endif
