#include "host/gamepad_joystick.h"

#include "virtual_joystick/sdl2_virtual_joystick.h"

bool GamepadJoystick::Make(const std::string& folder, JoystickShape shape, std::mutex* sdlLock) {
  Remove();
  sdlLock_ = sdlLock;
  fifo_ = std::make_unique<VirtualJoystick>(folder + "/js0", shape);
  if (LinkedSdlImplementation() == SdlImplementation::kCompat) {
    sdl2_ = std::make_unique<Sdl2VirtualJoystick>(shape);
    if (fifo_->ok() && sdl2_->ok() && relay_.Start(fifo_->path(), sdl2_.get(), sdlLock_)) return true;
  } else if (fifo_->ok()) {
    return true;
  }
  Remove();
  return false;
}

std::string GamepadJoystick::Describe() const {
  return (sdl2_ ? std::string(Sdl2VirtualJoystick::Name()) : fifo_->path()) + " (virtual gamepad)";
}

void GamepadJoystick::Unplug() {
  relay_.Stop();
  fifo_->Unplug();
  if (sdl2_) {
    std::lock_guard<std::mutex> hold(*sdlLock_);
    sdl2_->Unplug();
  }
}

bool GamepadJoystick::Plug() {
  if (!fifo_->Plug(fifo_->shape())) return false;
  if (!sdl2_) return true;
  {
    std::lock_guard<std::mutex> hold(*sdlLock_);
    if (!sdl2_->Plug(fifo_->shape())) return false;
  }
  return relay_.Start(fifo_->path(), sdl2_.get(), sdlLock_);
}

void GamepadJoystick::Reset() {
  if (fifo_) fifo_->Reset();
  if (sdl2_) {
    std::lock_guard<std::mutex> hold(*sdlLock_);
    sdl2_->Reset();
  }
}

void GamepadJoystick::Remove() {
  relay_.Stop();
  if (sdl2_) {
    std::lock_guard<std::mutex> hold(*sdlLock_);
    sdl2_.reset();
  }
  fifo_.reset();
}
