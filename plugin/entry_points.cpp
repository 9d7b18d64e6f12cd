// The five names the host resolves. Everything else in the library is hidden
// (exports.map), and nothing here may let an exception reach the host.
#include "input/joystick.h"
#include "plugin/host_call.h"
#include "plugin/host_records.h"
#include "plugin/kelvo_class.h"

#define KELVO_EXPORT extern "C" __attribute__((visibility("default")))

KELVO_EXPORT int32_t GetInfoFunc(_get_pluginfo* info) noexcept {
  HostCall call;
  return Kelvo.GetInfo(info);
}

KELVO_EXPORT int32_t SetInfoFunc(_set_pluginfo* info) noexcept {
  HostCall call;
  return Kelvo.SetInfo(info);
}

KELVO_EXPORT int32_t RunFunc(unsigned long* padWord) noexcept {
  HostCall call;
  return Kelvo.Run(padWord);
}

KELVO_EXPORT int32_t SetPropertyFunc(SETPROPPLUGIN* prop) noexcept {
  HostCall call;
  return Kelvo.SetProperty(prop);
}

KELVO_EXPORT int32_t DeleteFunc() noexcept { return 1; }

// The last reference gone (the host's dlclose, or the last page's hold let go
// after it, library_hold.h), or the process's exit: the joystick's device, the
// watch on device folders and SDL's joystick subsystem (if the plug-in started
// it) are released.
__attribute__((destructor)) static void ReleaseAtUnload() { ReleaseJoystickAtUnload(); }
