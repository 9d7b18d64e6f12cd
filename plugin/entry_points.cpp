// The five names the host resolves. Everything else in the library is hidden
// (exports.map), and nothing here may let an exception reach the host.
#include "input/joystick.h"
#include "plugin/host_records.h"
#include "plugin/kelvo_class.h"

#define KELVO_EXPORT extern "C" __attribute__((visibility("default")))

KELVO_EXPORT int32_t GetInfoFunc(_get_pluginfo* info) noexcept { return Kelvo.GetInfo(info); }

KELVO_EXPORT int32_t SetInfoFunc(_set_pluginfo* info) noexcept { return Kelvo.SetInfo(info); }

KELVO_EXPORT int32_t RunFunc(unsigned long* padWord) noexcept { return Kelvo.Run(padWord); }

KELVO_EXPORT int32_t SetPropertyFunc(SETPROPPLUGIN* prop) noexcept { return Kelvo.SetProperty(prop); }

KELVO_EXPORT int32_t DeleteFunc() noexcept { return 1; }

// dlclose, or the process's exit: the joystick's device, the watch on device
// folders and SDL's joystick subsystem (if the plug-in started it) are released.
__attribute__((destructor)) static void ReleaseAtUnload() { ReleaseJoystickAtUnload(); }
