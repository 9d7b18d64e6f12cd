// One settings page's record, and how a page shows the key map: texts,
// tooltips, the sensitivity choice and the layout. All on the GTK thread.
#ifndef KELVO_UI_PAGE_H
#define KELVO_UI_PAGE_H

#include <gtk/gtk.h>

#include <cstdint>

#include "input/key_map.h"

// Where each of the page's widgets sits in its record: the key buttons in
// key order, then these.
enum PageWidget { kSensitivityLabel = KEY_COUNT, kSensitivity, kSave, kPageWidgets };

// What the page's code finds on one page. The page's own widgets live as
// long as the page, and the record goes when the page is destroyed.
struct PageRecord {
  GtkWidget* page;  // the GtkFixed in the host's notebook
  GtkWidget* widgets[kPageWidgets];
  gulong sensitivityChanged;  // its "changed" handler, held off while the page sets the item
  int listening;              // the key whose button a capture listens on; -1 for none
  guint tick;                 // the live update's pending idle or timeout; 0 for none
  unsigned lit;               // bit 1 << key for each key button drawn lit
};

// A new record on the page, which owns it from now on; null when there is
// no memory for it.
PageRecord* AttachPageRecord(GtkWidget* page);
// The record of the page, or of the page a widget is on; null once the
// page is destroyed, or for a widget on no page.
PageRecord* PageOf(GtkWidget* widget);
// Puts a widget on the page at its place for the default font, shows it and
// enters it in the record.
void PutOnPage(PageRecord& record, PageWidget index, GtkWidget* widget);

// Formats a printf-style text through a 512-character buffer into the
// button's label, cut at 511 bytes, back to the last whole UTF-8 character.
void SetButtonText(GtkButton* button, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Labels a key button with its key's assignment, "A : Button 3" or
// "A : None", and lays the page out again when the text changed.
void ShowAssignment(PageRecord& record, int key, int32_t number);

// Places and sizes the page's widgets for the current font and texts.
void LayOutPage(PageRecord& record);

// Sets the tooltip (null: none) only when it differs from the one shown.
void SetTooltipIfChanged(GtkWidget* widget, const char* text);

// Where the file holds text its load did not read, the key buttons whose
// lines gave no value and "Save config" say so in their tooltips.
void ShowUnreadText(PageRecord& record);

// Mapped, in a window that is shown: hiding a window unmaps only the window.
bool OnScreen(GtkWidget* widget);

// Items "High", "Medium", "Low": item i stands for threshold i * 500 + 500,
// and holds the thresholds from its own up to the next item's.
int32_t ThresholdOfItem(int item);
int ItemOfThreshold(int32_t threshold);  // -1 for none
void AppendSensitivityItems(GtkComboBox* combo);
// Selects the threshold's item, without saving, and says in the tooltip what
// each item means and, when it is none of them, the threshold in force.
void ShowSensitivity(PageRecord& record, int32_t threshold);

#endif
