#include "virtual_joystick/joystick_relay.h"

#include <fcntl.h>
#include <linux/joystick.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "virtual_joystick/virtual_joystick.h"

bool JoystickRelay::Start(const std::string& fifo, TestJoystick* target, std::mutex* lock) {
  Stop();
  // Non-blocking: the open never waits for a writer, and the loop below
  // never stays in a read past a stop.
  fd_ = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return false;
  target_ = target;
  lock_ = lock;
  hatX_ = hatY_ = 0;
  stopping_ = false;
  thread_ = std::thread(&JoystickRelay::Loop, this);
  return true;
}

void JoystickRelay::Stop() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void JoystickRelay::Loop() {
  // Each event is written whole (8 bytes, below the pipe's atomic size), but
  // a read may still end inside one: the rest is kept for the next read.
  unsigned char buffer[64 * sizeof(js_event)];
  size_t kept = 0;
  while (!stopping_) {
    pollfd ready{fd_, POLLIN, 0};
    // A tenth of a second at most, so that a stop is seen soon.
    if (poll(&ready, 1, 100) <= 0) continue;
    const ssize_t n = read(fd_, buffer + kept, sizeof(buffer) - kept);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
      // No writer left (the device is being unplugged): wait for the stop
      // without spinning on a hang-up that poll keeps reporting.
      usleep(100000);
      continue;
    }
    if (n < 0) continue;
    kept += static_cast<size_t>(n);
    size_t at = 0;
    for (; kept - at >= sizeof(js_event); at += sizeof(js_event)) {
      js_event event;
      std::memcpy(&event, buffer + at, sizeof(event));
      Replay(static_cast<uint8_t>(event.type & ~JS_EVENT_INIT), event.number, event.value);
    }
    std::memmove(buffer, buffer + at, kept - at);
    kept -= at;
  }
}

void JoystickRelay::Replay(uint8_t type, uint8_t number, int16_t value) {
  std::lock_guard<std::mutex> hold(*lock_);
  const JoystickShape& shape = target_->shape();
  if (type == JS_EVENT_BUTTON) {
    target_->SetButton(number, value != 0);
  } else if (type == JS_EVENT_AXIS && number < shape.axes) {
    target_->SetAxis(number, value);
  } else if (type == JS_EVENT_AXIS && shape.hats > 0 && number < shape.axes + 2) {
    (number == shape.axes ? hatX_ : hatY_) = value;
    target_->SetHat(HatBitsFromAxes(hatX_, hatY_));
  }
}
