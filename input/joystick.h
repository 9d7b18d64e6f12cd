// Joystick reads shared by polling and by the settings page's capture.
#ifndef KELVO_INPUT_JOYSTICK_H
#define KELVO_INPUT_JOYSTICK_H

#include <cstddef>
#include <cstdint>

constexpr int NO_JOYSTICK_TO_READ = -2;  // none open, or one without buttons
constexpr int NO_BUTTON_HELD = -1;

// Updates the joystick (checking first that it is still there) and returns
// the lowest held button, counting from 0, or one of the two values above.
int PollLowestHeldButton();

// The joystick buttons held now, bit i for button i (the first 64), after
// an update; 0 when no joystick is open. For the settings page's lit keys.
uint64_t HeldButtons();

// SDL's name for the open joystick, cut to fit; false and empty for none.
bool OpenJoystickName(char* name, size_t size);

// Whether the plug-in is switched on and picks up a joystick plugged in by
// itself; false before the first switch-on and once the host stopped SDL's
// joystick subsystem.
bool FollowingJoysticks();

// At unload: closes what the plug-in opened and stops what it started.
void ReleaseJoystickAtUnload();

#endif
