#include "input/sdl_session.h"

#include "input/pad_backend.h"

#include <SDL.h>
#include <dlfcn.h>
#include <signal.h>

namespace {

bool subsystemIsOurs = false;
bool eventsIgnoredByUs = false;

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
    // SDL 1.2, and on sdl12-compat the SDL 2 under it.
    void* sdl2 = dlopen("libSDL2-2.0.so.0", RTLD_LAZY | RTLD_NOLOAD);
    const void* sdl[2] = {LibraryOf(reinterpret_cast<void*>(&SDL_InitSubSystem)),
                          sdl2 != nullptr ? LibraryOf(dlsym(sdl2, "SDL_InitSubSystem")) : nullptr};
    if (sdl2 != nullptr) dlclose(sdl2);
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

}  // namespace

const PadBackend& pads = SDL_Linked_Version()->patch >= 50 ? compatPads : classicPads;

bool StartOrStopJoysticks(bool start, int (*init)(Uint32), void (*quit)(Uint32)) {
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

bool RestartJoystickSubsystem() {
  RestoreJoystickEventState();
  StartOrStopJoysticks(false);
  return StartOrStopJoysticks(true);
}

bool ListJoysticks() {
  // Stopped by the host while no joystick was open: whoever starts it owns it.
  if (!SDL_WasInit(SDL_INIT_JOYSTICK)) subsystemIsOurs = false;
  if (!subsystemIsOurs) {
    if (SDL_WasInit(SDL_INIT_JOYSTICK) && !pads.ListMissing()) return true;
    subsystemIsOurs = StartOrStopJoysticks(true);
    return subsystemIsOurs;
  }
  subsystemIsOurs = pads.Restart();
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
  if (subsystemIsOurs && SDL_WasInit(SDL_INIT_JOYSTICK)) StartOrStopJoysticks(false);
  subsystemIsOurs = false;
  pads.Forget(true);
}
