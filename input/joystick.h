// Joystick reads shared by polling and by the settings page's capture.
#ifndef KELVO_INPUT_JOYSTICK_H
#define KELVO_INPUT_JOYSTICK_H

#include <cstddef>
#include <cstdint>

// Result of PollLowestHeldButton when there is nothing to read: the joystick
// library was never started, no joystick is open, or it has no buttons.
constexpr int NO_JOYSTICK_TO_READ = -2;
constexpr int NO_BUTTON_HELD = -1;

// One poll under the lock: updates the joystick and returns the lowest held
// button, counting from 0, or one of the two values above.
int PollLowestHeldButton();

// The joystick buttons held now, bit i for button i (the first 64), after
// an update; 0 when no joystick is open. For the settings page's lit keys.
uint64_t HeldButtons();

// Copies SDL's name for the open joystick into name (cut to fit, always
// NUL-terminated). Returns false, with name empty, when none is open.
bool OpenJoystickName(char* name, size_t size);

// Closes what the plug-in opened and stops what it started in SDL, leaving
// the rest as found: run when the library is unloaded or the process exits.
void ReleaseJoystickAtUnload();

#endif
