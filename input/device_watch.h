// Notices the open joystick going away and a joystick appearing, which SDL
// 1.2 never reports: its joystick list is fixed when the subsystem starts.
// Every function is called with joyLock held.
#ifndef KELVO_INPUT_DEVICE_WATCH_H
#define KELVO_INPUT_DEVICE_WATCH_H

#include <SDL.h>

enum class DeviceChange { kNone, kGone, kArrived };

// Opens joystick 0 when SDL lists one, remembers which device that is, and
// starts watching for arrivals. Returns the joystick or null.
SDL_Joystick* OpenFirstJoystickAndWatch();

// Whether a periodic check is due: true once per tick of a clock that costs
// no system call (4 ms here), so that it may be asked at every poll.
bool DeviceCheckDue();

// Looks for a change. kGone: the open joystick's device went away (asked
// only while one is open). kArrived: a joystick device appeared while none
// is open.
DeviceChange CheckDevices(bool joystickOpen);

// Whether SDL's descriptor for the open joystick was closed or replaced
// since it opened (the host stopped or restarted SDL's joystick subsystem).
// Classic SDL only; a system call, so asked only when a check is due.
bool OpenedDeviceReplaced();

// Forgets the device and closes the watch.
void StopWatchingDevices();

#endif
