// The plug-in's share of SDL: it starts SDL's joystick subsystem only when
// nobody has, stops only what it started, and leaves the process's signal
// handling and joystick event setting as it found them. Every function here
// is called with joyLock held.
#ifndef KELVO_INPUT_SDL_SESSION_H
#define KELVO_INPUT_SDL_SESSION_H

#include <SDL.h>

// Makes sure SDL's joystick list exists. A subsystem the plug-in started is
// restarted, so that SDL lists the joysticks afresh; one found running
// belongs to someone else and is left alone. Returns whether it runs.
bool ListJoysticks();

// The host stopped or restarted SDL behind the plug-in's back: whatever runs
// now is not the plug-in's.
void ForgetJoystickSubsystem();

// Starts or stops the joystick subsystem (SDL_InitSubSystem, never SDL_Init,
// which would install crash handlers), of SDL 1.2 or of the SDL 2 under it,
// keeping the process's signal handling. Returns whether it started.
bool StartOrStopJoysticks(bool start, int (*init)(Uint32) = SDL_InitSubSystem,
                          void (*quit)(Uint32) = SDL_QuitSubSystem);

// Stops and starts the subsystem, with the joystick event setting put back
// first. Returns whether it runs.
bool RestartJoystickSubsystem();

// Puts back the joystick event setting the plug-in changed.
void RestoreJoystickEventState();

// Joystick events are only queued for a program that reads SDL's queue:
// without a video subsystem nobody does, and SDL 2 would queue one event per
// change until its queue is full. Called after each start and from the
// periodic device check (the host may start video later).
void KeepJoystickEventsOnlyForAReader();

// Undoes the above, stops what the plug-in started and lets go of what the
// pads' side loaded (at unload).
void LeaveSdlAsFound();

#endif
