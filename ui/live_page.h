// Keeping a settings page up to date while it is on screen.
#ifndef KELVO_UI_LIVE_PAGE_H
#define KELVO_UI_LIVE_PAGE_H

#include "ui/page.h"

// From now on, whenever the page is drawn, a timeout of its own keeps it up
// to date (labels, sensitivity, tooltips, keys lit while held) until the
// first tick that finds it off screen: nothing is read while no page shows.
void KeepUpToDateWhileShown(PageRecord& record);

#endif
