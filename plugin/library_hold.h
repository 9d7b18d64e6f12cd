// Keeps this library mapped while GTK holds something that may call into it
// (a page, its timeouts and idles, a capture): a host may unload the plug-in
// while its page is on screen, or just after destroying the page's window.
#ifndef KELVO_PLUGIN_LIBRARY_HOLD_H
#define KELVO_PLUGIN_LIBRARY_HOLD_H

// A reference of the library's own on itself; null if none could be taken.
void* HoldLibrary();

// Lets a hold go from the host's main loop: an idle whose callback is
// libdl's dlclose itself, so that the last unload never returns into the
// library's unmapped code. dlclose returns 0, which removes the idle. Null
// is ignored. Call on the GTK thread.
void ReleaseLibraryLater(void* hold);

#endif
