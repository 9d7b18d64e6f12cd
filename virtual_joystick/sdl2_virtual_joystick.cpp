#include "virtual_joystick/sdl2_virtual_joystick.h"

#include <dlfcn.h>

#include <cstring>

// SDL 2's own declarations cannot be included beside SDL 1.2's headers; these
// follow SDL 2.26's SDL_joystick.h. The descriptor is version 1 of
// SDL_VirtualJoystickDesc.
struct VirtualJoystickDesc {
  uint16_t version;
  uint16_t type;
  uint16_t naxes;
  uint16_t nbuttons;
  uint16_t nhats;
  uint16_t vendor_id;
  uint16_t product_id;
  uint16_t padding;
  uint32_t button_mask;
  uint32_t axis_mask;
  const char* name;
  void* userdata;
  void* callbacks[6];
};

struct Sdl2Api {
  int (*AttachVirtualEx)(const VirtualJoystickDesc*);
  int (*DetachVirtual)(int);
  void* (*Open)(int);
  void (*Close)(void*);
  void* (*FromInstanceID)(int32_t);
  int32_t (*InstanceID)(void*);
  int (*NumJoysticks)();
  int32_t (*GetDeviceInstanceID)(int);
  int (*SetVirtualButton)(void*, int, uint8_t);
  int (*SetVirtualAxis)(void*, int, int16_t);
  int (*SetVirtualHat)(void*, int, uint8_t);
};

namespace {

template <typename F>
bool Resolve(void* library, const char* name, F* function) {
  *function = reinterpret_cast<F>(dlsym(library, name));
  return *function != nullptr;
}

// The SDL 2 that sdl12-compat loaded (the same copy: one soname per process).
const Sdl2Api* LoadSdl2() {
  static const Sdl2Api* loaded = []() -> const Sdl2Api* {
    void* library = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_GLOBAL);
    if (library == nullptr) return nullptr;
    static Sdl2Api api;
    const bool all = Resolve(library, "SDL_JoystickAttachVirtualEx", &api.AttachVirtualEx) &&
                     Resolve(library, "SDL_JoystickDetachVirtual", &api.DetachVirtual) &&
                     Resolve(library, "SDL_JoystickOpen", &api.Open) &&
                     Resolve(library, "SDL_JoystickClose", &api.Close) &&
                     Resolve(library, "SDL_JoystickFromInstanceID", &api.FromInstanceID) &&
                     Resolve(library, "SDL_JoystickInstanceID", &api.InstanceID) &&
                     Resolve(library, "SDL_NumJoysticks", &api.NumJoysticks) &&
                     Resolve(library, "SDL_JoystickGetDeviceInstanceID", &api.GetDeviceInstanceID) &&
                     Resolve(library, "SDL_JoystickSetVirtualButton", &api.SetVirtualButton) &&
                     Resolve(library, "SDL_JoystickSetVirtualAxis", &api.SetVirtualAxis) &&
                     Resolve(library, "SDL_JoystickSetVirtualHat", &api.SetVirtualHat);
    return all ? &api : nullptr;
  }();
  return loaded;
}

}  // namespace

const char* Sdl2VirtualJoystick::Name() { return "Kelvo test joystick"; }

Sdl2VirtualJoystick::Sdl2VirtualJoystick(JoystickShape shape, bool gameController, const char* name)
    : TestJoystick(shape), api_(LoadSdl2()), gameController_(gameController), name_(name ? name : Name()) {
  plugged_ = true;
  Handle();
}

Sdl2VirtualJoystick::~Sdl2VirtualJoystick() { Detach(); }

bool Sdl2VirtualJoystick::Attach() {
  VirtualJoystickDesc desc;
  std::memset(&desc, 0, sizeof(desc));
  desc.version = 1;
  desc.type = gameController_ ? 1 : 0;  // SDL_JOYSTICK_TYPE_GAMECONTROLLER or _UNKNOWN
  desc.naxes = static_cast<uint16_t>(shape_.axes);
  desc.nbuttons = static_cast<uint16_t>(shape_.buttons);
  desc.nhats = static_cast<uint16_t>(shape_.hats);
  desc.name = name_.c_str();
  const int index = api_->AttachVirtualEx(&desc);
  if (index < 0) return false;
  // The setters need an open handle; SDL 2 opens without its subsystem running.
  handle_ = api_->Open(index);
  instance_ = handle_ != nullptr ? api_->InstanceID(handle_) : -1;
  return handle_ != nullptr;
}

void* Sdl2VirtualJoystick::Handle() {
  if (api_ == nullptr || !plugged_) return nullptr;
  // Found by its instance: a handle SDL 2 freed must not be touched.
  if (handle_ == nullptr || api_->FromInstanceID(instance_) != handle_) {
    handle_ = nullptr;
    if (!Attach()) return nullptr;
  }
  return handle_;
}

bool Sdl2VirtualJoystick::ok() const { return plugged_ && handle_ != nullptr; }

bool Sdl2VirtualJoystick::Plug(JoystickShape shape) {
  Detach();
  shape_ = shape;
  plugged_ = true;
  return Handle() != nullptr;
}

bool Sdl2VirtualJoystick::Unplug() { return Detach(); }

bool Sdl2VirtualJoystick::Detach() {
  if (!plugged_) return false;
  plugged_ = false;
  if (handle_ == nullptr || api_->FromInstanceID(instance_) != handle_) {
    handle_ = nullptr;  // already freed with SDL 2's joystick subsystem
    return true;
  }
  for (int i = 0; i < api_->NumJoysticks(); ++i) {
    if (api_->GetDeviceInstanceID(i) == instance_) {
      api_->DetachVirtual(i);
      break;
    }
  }
  api_->Close(handle_);
  handle_ = nullptr;
  return true;
}

bool Sdl2VirtualJoystick::SetButton(int button, bool held) {
  if (button < 0 || button >= shape_.buttons) return false;
  void* handle = Handle();
  return handle != nullptr && api_->SetVirtualButton(handle, button, held ? 1 : 0) == 0;
}

bool Sdl2VirtualJoystick::SetAxis(int axis, int16_t value) {
  if (axis < 0 || axis >= shape_.axes) return false;
  void* handle = Handle();
  return handle != nullptr && api_->SetVirtualAxis(handle, axis, value) == 0;
}

bool Sdl2VirtualJoystick::SetHat(uint8_t hatBits) {
  if (shape_.hats < 1) return false;
  void* handle = Handle();
  return handle != nullptr && api_->SetVirtualHat(handle, 0, hatBits) == 0;
}
