// The plug-in's share of SDL: it starts SDL's joystick subsystem only when
// nobody has, stops only what it started, and leaves the process's signal
// handling and joystick event setting as it found them. Every function here
// is called with joyLock held.
#ifndef KELVO_INPUT_SDL_SESSION_H
#define KELVO_INPUT_SDL_SESSION_H

// Makes sure SDL's joystick list exists. A subsystem the plug-in started is
// restarted, so that SDL lists the joysticks afresh; one found running
// belongs to someone else and is left alone. Returns whether it runs.
bool ListJoysticks();

// The host stopped or restarted SDL behind the plug-in's back: whatever runs
// now is not the plug-in's.
void ForgetJoystickSubsystem();

// True on sdl12-compat (SDL 1.2 on SDL 2), false on classic SDL 1.2; set
// when the library is loaded.
extern const bool runningOnSdl2;
inline bool RunningOnSdl2() { return runningOnSdl2; }

// A function of the SDL 2 that sdl12-compat loaded; null on classic SDL.
void* Sdl2Function(const char* name);

// Joystick events are only queued for a program that reads SDL's queue:
// without a video subsystem nobody does, and SDL 2 would queue one event per
// change until its queue is full. Called after each start and from the
// periodic device check (the host may start video later).
void KeepJoystickEventsOnlyForAReader();

// Undoes the above, stops what the plug-in started and lets go of SDL 2
// (at unload).
void LeaveSdlAsFound();

#endif
