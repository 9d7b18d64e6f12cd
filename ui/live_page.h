// What keeps a settings page up to date while it is on screen: the key map,
// the sensitivity, the joystick's name, and the keys lit while held.
#ifndef KELVO_UI_LIVE_PAGE_H
#define KELVO_UI_LIVE_PAGE_H

#include <gtk/gtk.h>

#include <cstdint>

// Items "High", "Medium", "Low": item i stands for threshold i * 500 + 500.
int32_t ThresholdOfItem(int item);
// The item whose band (its threshold up to the next one's) holds the
// threshold, or -1 for none.
int ItemOfThreshold(int32_t threshold);

void AppendSensitivityItems(GtkComboBox* combo);
// Selects the threshold's item, without saving, and says in the tooltip what
// each item means and, when it is none of them, the threshold in force.
void ShowSensitivity(GtkComboBox* combo, int32_t threshold);

// Draws the key button lit while its key's joystick button is held.
void LightWhenHeld(GtkWidget* keyButton);

// From now on, whenever the page is drawn it keeps itself up to date until
// it leaves the screen.
void KeepUpToDateWhileShown(GtkWidget* page);

#endif
