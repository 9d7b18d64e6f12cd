// kelvo-host's standard output: one line per event, flushed at once, so that
// whoever drives the host (a test, a script) reads it as it happens.
#ifndef KELVO_HOST_SAY_H
#define KELVO_HOST_SAY_H

// Prints one line; safe from any thread.
void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));

#endif
