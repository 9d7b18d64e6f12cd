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

// Whether a periodic check is due, by a clock that costs no system call:
// once per 4 ms tick, but only once per 16 ticks while a joystick is open on
// classic SDL (where its going away is seen by FailedReadCheckDue).
// Cheap enough to ask at every poll.
bool DeviceCheckDue(bool joystickOpen);

// After a joystick update whose device read did not end as usual: whether
// to check now (at most once per tick).
bool FailedReadCheckDue();

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
