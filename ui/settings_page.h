// The settings page that SetProperty appends to the host's properties
// notebook, and its signal handlers. Every handler runs on the host's GTK
// main-loop thread.
#ifndef KELVO_UI_SETTINGS_PAGE_H
#define KELVO_UI_SETTINGS_PAGE_H

#include <gtk/gtk.h>

// Formats a printf-style text through a 512-character buffer and makes it the
// button's label. A longer text is cut at 511 bytes, back to the last whole
// UTF-8 character.
void SetButtonText(GtkButton* button, const char* format, ...) __attribute__((format(printf, 2, 3)));

// "changed" of the sensitivity combo: threshold = item index * 500 + 500,
// then the file is saved.
void on_axisthresh_changed(GtkComboBox* combo);

// "clicked" of "Save config": rewrites the file.
void on_saveconf_clicked();

#endif
