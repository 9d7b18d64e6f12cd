// The settings page that SetProperty appends to the host's properties
// notebook, and its signal handlers, all run on the host's GTK thread.
#ifndef KELVO_UI_SETTINGS_PAGE_H
#define KELVO_UI_SETTINGS_PAGE_H

#include <gtk/gtk.h>

#include <cstdint>

// Formats a printf-style text through a 512-character buffer into the
// button's label, cut at 511 bytes, back to the last whole UTF-8 character.
void SetButtonText(GtkButton* button, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The key (0 to 7) of a key button, read from its widget name "btn1" to
// "btn8"; -1 for any other widget.
int KeyOfButton(GtkWidget* widget);

// Labels a key button with its key's assignment, "A : Button 3" or
// "A : None", and lays its page out again when the text changed.
void ShowAssignment(GtkButton* button, int key, int32_t number);

// Sets the tooltip (null: none) only when it differs from the one shown.
void SetTooltipIfChanged(GtkWidget* widget, const char* text);

// Where the file holds text its load did not read, the key buttons whose
// lines gave no value and "Save config" say so in their tooltips.
void ShowUnreadText(GtkWidget* page);

// Places and sizes the page's widgets for the current font and texts.
void LayOutPage(GtkWidget* page);

// Mapped, in a window that is shown: hiding a window unmaps only the window.
bool OnScreen(GtkWidget* widget);

// Items "High", "Medium", "Low": item i stands for threshold i * 500 + 500,
// and holds the thresholds from its own up to the next item's.
int32_t ThresholdOfItem(int item);
int ItemOfThreshold(int32_t threshold);  // -1 for none
void AppendSensitivityItems(GtkComboBox* combo);
// Selects the threshold's item, without saving, and says in the tooltip what
// each item means and, when it is none of them, the threshold in force.
void ShowSensitivity(GtkComboBox* combo, int32_t threshold);

// From now on, whenever the page is drawn, a timeout of its own keeps it up
// to date (labels, sensitivity, tooltips, keys lit while held) until the
// first tick that finds it off screen: nothing is read while no page shows.
void KeepUpToDateWhileShown(GtkWidget* page);

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

// Whether this key button is listening for a press.
bool IsCapturing(const GtkWidget* button);

// "changed" of the combo: the item's threshold, saved. "clicked" of "Save
// config": rewrites the file.
void on_axisthresh_changed(GtkComboBox* combo);
void on_saveconf_clicked();

#endif
