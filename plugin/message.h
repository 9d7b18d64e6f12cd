#ifndef KELVO_PLUGIN_MESSAGE_H
#define KELVO_PLUGIN_MESSAGE_H

// Shows a modal box with the formatted text and waits until the user
// dismisses it. The text is cut at 511 characters.
void Message(const char* format, ...) __attribute__((format(printf, 1, 2)));

#endif
