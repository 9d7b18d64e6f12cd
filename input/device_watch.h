// Notices the open joystick going away and a joystick arriving, which SDL
// 1.2 never reports: its joystick list is fixed when the subsystem starts.
// It works from the polls themselves (no thread of its own) and looks only
// at what the plug-in owns: an inotify watch on the folders SDL lists
// joysticks from on classic SDL, SDL 2's instance IDs on sdl12-compat.
// Every function is called with joyLock held.
#ifndef KELVO_INPUT_DEVICE_WATCH_H
#define KELVO_INPUT_DEVICE_WATCH_H

#include <SDL.h>

// Opens joystick 0 when SDL lists one, notes what tells it apart, and
// watches for changes. Returns the joystick, or null (also for one gone).
SDL_Joystick* OpenFirstJoystickAndWatch();

// Whether to list the joysticks again: the open one may have gone, or one
// arrived while none is open. Looks once per 4 ms tick (a clock read without
// a system call), or at once when readFailed (this poll's update could not
// read the device) or lookNow.
bool DevicesChanged(bool joystickOpen, bool readFailed, bool lookNow);

// SDL's name for the joystick the last listing opened.
const char* OpenedJoystickName();

// Listing had to stop short (too few descriptors): DevicesChanged says to
// list again in about a second.
void ListAgainLater();

// Forgets the joystick and closes the watch.
void StopWatchingDevices();

#endif
