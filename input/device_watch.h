// Notices the open joystick going away and a joystick arriving, which SDL
// 1.2 never reports: its joystick list is fixed when the subsystem starts.
// It works from the polls themselves (no thread of its own) and looks only
// at what the plug-in owns: an inotify watch on the folders SDL lists
// joysticks from on classic SDL, SDL 2's instance IDs on sdl12-compat.
// Every function is called with joyLock held.
#ifndef KELVO_INPUT_DEVICE_WATCH_H
#define KELVO_INPUT_DEVICE_WATCH_H

#include <SDL.h>

// Opens joystick 0 when SDL lists one and can open it without running out
// of descriptors, remembers what tells that joystick apart, and watches for
// arrivals. Returns the joystick or null.
SDL_Joystick* OpenFirstJoystickAndWatch();

// Whether the joysticks should be listed again: the open one may have gone,
// or one arrived while none is open. Looks once per 4 ms tick, by a clock
// read without a system call (cheap enough to ask at every poll), or at
// once when readFailed (this poll's update could not read the open
// joystick's device) or lookNow.
bool DevicesChanged(bool joystickOpen, bool readFailed, bool lookNow);

// SDL's name for the joystick the last listing opened.
const char* OpenedJoystickName();

// Listing had to stop short (too few descriptors): DevicesChanged says to
// list again in about a second.
void ListAgainLater();

// Forgets the joystick and closes the watch.
void StopWatchingDevices();

#endif
