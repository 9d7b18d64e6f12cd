#include <fcntl.h>
#include <linux/joystick.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "gamepad/gamepad.h"

namespace {

// Nobody reads the joystick any more: the host is gone.
void DeviceGone() {
  pad.writeFailed = true;
  std::fprintf(stderr, "kelvo-vjoy: the joystick device no longer takes events\n");
  gtk_main_quit();
}

}  // namespace

bool OpenDevice() {
  pad.fd = open(pad.device.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (pad.fd < 0) {
    std::fprintf(stderr, "kelvo-vjoy: cannot open %s: %s\n", pad.device.c_str(), std::strerror(errno));
    return false;
  }
  // Blocking from here on: events are small, and a full pipe only waits.
  fcntl(pad.fd, F_SETFL, fcntl(pad.fd, F_GETFL) & ~O_NONBLOCK);
  return true;
}

void Send(uint8_t type, uint8_t number, int16_t value) {
  if (pad.fd < 0 || pad.writeFailed) return;
  if (!WriteJoystickEvent(pad.fd, type, number, value)) DeviceGone();
}

void SendHat() {
  if (pad.shape.hats < 1 || pad.fd < 0 || pad.writeFailed) return;
  if (!WriteHatEvents(pad.fd, pad.shape, pad.hat)) DeviceGone();
}

void ReleaseAll() {
  for (size_t i = 0; i < pad.held.size(); ++i)
    if (pad.held[i]) Send(JS_EVENT_BUTTON, static_cast<uint8_t>(i), 0);
  for (int a = 0; a < pad.shape.axes; ++a) Send(JS_EVENT_AXIS, static_cast<uint8_t>(a), 0);
  pad.hat = 0;
  SendHat();
}

bool Plugged() { return pad.fd >= 0; }

void Unplug() {
  if (!Plugged()) return;
  close(pad.fd);
  pad.fd = -1;
  ForgetHeld();
  ShowPlugged(false, false);
  Say("unplugged");
}

void AskToPlugIn() {
  if (Plugged()) return;
  ShowPlugged(false, true);
  Say("plugging in");
}

void PluggedIn() {
  if (Plugged() || !OpenDevice()) return;
  ShowPlugged(true, false);
  Say("plugged in");
}
