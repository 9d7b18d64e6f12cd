// The settings page that SetProperty appends to the host's properties
// notebook, and its signal handlers. Every handler runs on the host's GTK
// main-loop thread.
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
// "A : None", and widens it when the text needs more room.
void ShowAssignment(GtkButton* button, int key, int32_t number);
// Widens a key button whose label needs more than its 144 pixels in the
// current font; a label that fits keeps the button at 144.
void FitKeyButton(GtkWidget* button);

// Brings every page in a window up to the key map in force: key labels (a
// button in the middle of a capture keeps its prompt) and the sensitivity.
// Pages are found through the toplevel windows: the plug-in keeps no widget.
void RefreshOpenPages();

// "changed" of the sensitivity combo: threshold = item index * 500 + 500,
// then the file is saved.
void on_axisthresh_changed(GtkComboBox* combo);

// "clicked" of "Save config": rewrites the file.
void on_saveconf_clicked();

// "map" of the page and of its window: whenever it becomes visible it shows
// the key map in force, which a capture on another page or a new switch-on
// may have changed.
void on_page_map(GtkWidget* page);
// "hierarchy-changed" of the page: follows the "map" of the window it is in.
void on_page_hierarchy_changed(GtkWidget* page, GtkWidget* previousToplevel);

#endif
