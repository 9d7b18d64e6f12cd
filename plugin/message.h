#ifndef KELVO_PLUGIN_MESSAGE_H
#define KELVO_PLUGIN_MESSAGE_H

// Shows a modal box with the formatted text and waits until the user
// dismisses it. The text is cut at 511 characters.
void Message(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The same box with a second line under the text that says what happened
// and what to do (none when advice is null or empty). The box's title names
// the plug-in.
void MessageWithAdvice(const char* advice, const char* format, ...) __attribute__((format(printf, 2, 3)));

#endif
