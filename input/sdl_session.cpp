#include "input/sdl_session.h"

#include <SDL.h>
#include <dlfcn.h>
#include <signal.h>

namespace {

bool subsystemIsOurs = false;
bool eventsIgnoredByUs = false;
void* sdl2Library = nullptr;

// Starting or stopping the joystick subsystem may change signal handling:
// sdl12-compat (SDL 2 underneath) catches SIGINT and SIGTERM where they are at
// their defaults. Classic SDL 1.2's joystick start changes none, but its
// SDL_Init would install crash handlers, which is why only the subsystem is
// ever started. Every disposition is saved before SDL is called and put back
// where it changed to a handler in SDL's own code: a host thread may install
// a handler of its own meanwhile, and that one stays. Static, as the table is
// too large for a host's stack.
struct SignalDispositions {
  struct sigaction action[NSIG];
  bool saved[NSIG];

  void Save() {
    for (int sig = 1; sig < NSIG; ++sig) saved[sig] = sigaction(sig, nullptr, &action[sig]) == 0;
  }
  void Restore() {
    const void* sdl[2] = {LibraryOf(reinterpret_cast<void*>(&SDL_InitSubSystem)),
                          LibraryOf(Sdl2Function("SDL_InitSubSystem"))};
    for (int sig = 1; sig < NSIG; ++sig) {
      struct sigaction now;
      if (!saved[sig] || sigaction(sig, nullptr, &now) != 0) continue;
      if (now.sa_handler == action[sig].sa_handler && now.sa_flags == action[sig].sa_flags) continue;
      const void* owner = LibraryOf(reinterpret_cast<void*>(now.sa_handler));
      if (owner != nullptr && (owner == sdl[0] || owner == sdl[1])) sigaction(sig, &action[sig], nullptr);
    }
  }
  // The start of the loaded object holding the address; null for none (and
  // for SIG_DFL and SIG_IGN).
  static const void* LibraryOf(void* address) {
    Dl_info info;
    return address != nullptr && dladdr(address, &info) != 0 ? info.dli_fbase : nullptr;
  }
};
SignalDispositions dispositions;

// Starts (SDL_InitSubSystem, not SDL_Init: no crash handlers to begin with)
// or stops the joystick subsystem, of SDL 1.2 or of the SDL 2 under it.
bool StartOrStop(bool start, int (*init)(Uint32) = SDL_InitSubSystem,
                 void (*quit)(Uint32) = SDL_QuitSubSystem) {
  dispositions.Save();
  const bool started = start && init(SDL_INIT_JOYSTICK) == 0;
  if (!start) quit(SDL_INIT_JOYSTICK);
  dispositions.Restore();
  return started;
}

void RestoreJoystickEventState() {
  if (eventsIgnoredByUs && SDL_WasInit(SDL_INIT_JOYSTICK)) SDL_JoystickEventState(SDL_ENABLE);
  eventsIgnoredByUs = false;
}

// sdl12-compat's SDL_WasInit reports SDL 2's state for the whole process: a
// program using SDL 2 directly makes it true while sdl12-compat has listed
// nothing. Its list is missing when SDL 2 sees more joysticks than it.
bool Sdl12ListMissing() {
  auto count = reinterpret_cast<int (*)()>(Sdl2Function("SDL_NumJoysticks"));
  return count != nullptr && count() > SDL_NumJoysticks();
}

void StopOwnJoystickSubsystem() {
  if (subsystemIsOurs && SDL_WasInit(SDL_INIT_JOYSTICK)) {
    RestoreJoystickEventState();
    StartOrStop(false);
  }
  subsystemIsOurs = false;
}

}  // namespace

const bool runningOnSdl2 = SDL_Linked_Version()->patch >= 50;

void* Sdl2Function(const char* name) {
  if (!RunningOnSdl2()) return nullptr;
  if (sdl2Library == nullptr) sdl2Library = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_NOLOAD);
  return sdl2Library ? dlsym(sdl2Library, name) : nullptr;
}

bool ListJoysticks() {
  // Stopped by the host while no joystick was open: whoever starts it owns it.
  if (!SDL_WasInit(SDL_INIT_JOYSTICK)) subsystemIsOurs = false;
  if (!subsystemIsOurs) {
    if (SDL_WasInit(SDL_INIT_JOYSTICK) && !(RunningOnSdl2() && Sdl12ListMissing())) return true;
    subsystemIsOurs = StartOrStop(true);
    return subsystemIsOurs;
  }
  // sdl12-compat lists only when its subsystem starts from stopped. A
  // reference on SDL 2's joystick subsystem is held across the restart, so
  // that SDL 2 keeps its devices (virtual ones too) and its other users'.
  auto init2 = reinterpret_cast<int (*)(Uint32)>(Sdl2Function("SDL_InitSubSystem"));
  auto quit2 = reinterpret_cast<void (*)(Uint32)>(Sdl2Function("SDL_QuitSubSystem"));
  const bool held = init2 != nullptr && quit2 != nullptr && StartOrStop(true, init2, quit2);
  RestoreJoystickEventState();
  StartOrStop(false);
  subsystemIsOurs = StartOrStop(true);
  if (held) StartOrStop(false, init2, quit2);
  return subsystemIsOurs;
}

void ForgetJoystickSubsystem() {
  subsystemIsOurs = false;
  eventsIgnoredByUs = false;
}

void KeepJoystickEventsOnlyForAReader() {
  if (!SDL_WasInit(SDL_INIT_JOYSTICK)) return;
  if (SDL_WasInit(SDL_INIT_VIDEO)) {
    RestoreJoystickEventState();
  } else if (!eventsIgnoredByUs && SDL_JoystickEventState(SDL_QUERY) == SDL_ENABLE) {
    SDL_JoystickEventState(SDL_IGNORE);
    eventsIgnoredByUs = true;
  }
}

void LeaveSdlAsFound() {
  RestoreJoystickEventState();
  StopOwnJoystickSubsystem();
  if (sdl2Library != nullptr) dlclose(sdl2Library);
  sdl2Library = nullptr;
}
