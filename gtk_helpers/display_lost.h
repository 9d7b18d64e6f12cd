// What a program does when its X server goes away (the Xvfb of a headless
// run ended by Ctrl-C, say). GDK's own answer prints "Fatal IO error" and
// exits with threads still running, which aborts a C++ program.
#ifndef KELVO_GTK_HELPERS_DISPLAY_LOST_H
#define KELVO_GTK_HELPERS_DISPLAY_LOST_H

// From now on, losing the display calls cleanUp (which must not use the
// display) and then ends the process with status 0 without running static
// destructors. Call after gtk_init.
void OnDisplayLost(void (*cleanUp)());

#endif
