// sdl12-compat lists joysticks only when its joystick subsystem starts from
// stopped, and recentres a pad that SDL 2 removed. The SDL 2 underneath
// follows devices itself; the plug-in follows the open pad by its SDL 2
// instance ID: an instance SDL 2 no longer lists is gone, a newer one than
// any seen is an arrival.
#include <dlfcn.h>

#include <algorithm>
#include <cstring>

#include "input/pad_backend.h"
#include "input/sdl_session.h"

namespace {

// SDL 2's functions, and the instances followed.
struct Watch {
  DeviceLooks looks;
  void* library = nullptr;
  int (*NumJoysticks)() = nullptr;
  int32_t (*InstanceOf)(int) = nullptr;
  const char* (*NameOf)(int) = nullptr;
  void (*Update)() = nullptr;
  int32_t instance = -1;  // the open pad's
  int32_t newest = -1;    // the newest seen
};
Watch watch;

// A function of the SDL 2 that sdl12-compat loaded.
template <typename Function>
bool Load(Function** function, const char* name) {
  if (watch.library == nullptr) watch.library = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_NOLOAD);
  *function = watch.library ? reinterpret_cast<Function*>(dlsym(watch.library, name)) : nullptr;
  return *function != nullptr;
}

bool LoadFunctions() {
  if (Load(&watch.NumJoysticks, "SDL_NumJoysticks") &&
      Load(&watch.InstanceOf, "SDL_JoystickGetDeviceInstanceID") &&
      Load(&watch.NameOf, "SDL_JoystickNameForIndex") && Load(&watch.Update, "SDL_JoystickUpdate")) {
    return true;
  }
  watch.Update = nullptr;
  return false;
}

// Its SDL_WasInit reports SDL 2's state for the whole process: a program
// using SDL 2 directly makes it true while sdl12-compat has listed nothing.
bool ListMissing() { return LoadFunctions() && watch.NumJoysticks() > SDL_NumJoysticks(); }

// A reference on SDL 2's joystick subsystem is held across the restart, so
// that SDL 2 keeps its devices (virtual ones too) and its other users'.
bool Restart() {
  int (*init2)(Uint32) = nullptr;
  void (*quit2)(Uint32) = nullptr;
  const bool held = Load(&init2, "SDL_InitSubSystem") && Load(&quit2, "SDL_QuitSubSystem") &&
                    StartOrStopJoysticks(true, init2, quit2);
  const bool runs = RestartJoystickSubsystem();
  if (held) StartOrStopJoysticks(false, init2, quit2);
  return runs;
}

// The SDL 2 instance with SDL 1.2's name for joystick 0; -1 when SDL 2 no
// longer lists one (the pad went as it was opened). Only what this listing
// took in counts as seen: a pad SDL 2 found just too late for sdl12-compat's
// list still arrives at the next look.
bool Follow(bool opened, const char* name) {
  watch.looks.listAt = -1;
  watch.instance = -1;
  for (int i = 0, n = LoadFunctions() ? watch.NumJoysticks() : 0; name != nullptr && i < n; ++i) {
    const char* candidate = watch.NameOf(i);
    if (candidate == nullptr || std::strcmp(candidate, name) != 0) continue;
    watch.instance = watch.InstanceOf(i);
    watch.newest = std::max(watch.newest, watch.instance);
    break;
  }
  return !opened || watch.instance >= 0;
}

bool DevicesChanged(bool padOpen) {
  if (watch.Update == nullptr || !SDL_WasInit(SDL_INIT_JOYSTICK)) return false;
  if (padOpen) {
    for (int i = 0, n = watch.NumJoysticks(); i < n; ++i) {
      if (watch.InstanceOf(i) == watch.instance) return false;
    }
    return true;
  }
  watch.Update();  // SDL 2 finds new devices during an update
  int32_t newest = watch.newest;
  for (int i = 0, n = watch.NumJoysticks(); i < n; ++i) newest = std::max(newest, watch.InstanceOf(i));
  if (newest == watch.newest) return false;
  watch.newest = newest;
  return true;
}

bool UpdateAndLook(bool padOpen, bool look) {
  // SDL 2 tells of a pad gone at the next look. The clock is read at every
  // poll: a host may start video at any time, and its joystick events then
  // start at the next tick.
  if (padOpen) SDL_JoystickUpdate();
  const int64_t now = DeviceLooks::Now();
  if (!watch.looks.Due(now, look)) return false;
  KeepJoystickEventsOnlyForAReader();
  if (!padOpen && watch.looks.ListDue(now)) return true;
  return DevicesChanged(padOpen);
}

void ListLater() { watch.looks.ListAfter(DeviceLooks::Now(), DeviceLooks::kRetryNs); }

void Forget(bool unloading) {
  void* library = watch.library;
  watch = Watch();
  if (!unloading) {
    watch.library = library;
  } else if (library != nullptr) {
    dlclose(library);
  }
}

}  // namespace

const PadBackend compatPads = {false, ListMissing, Restart, Follow, UpdateAndLook, ListLater, Forget};
