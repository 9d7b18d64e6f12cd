// kelvo-host's tests that run on both SDL 1.2s (label "joystick"): on
// classic SDL the plug-in reads the gamepad's FIFO itself, on sdl12-compat
// the host relays the gamepad's events to an SDL 2 virtual joystick. The
// host's "sdl:" line says which one it runs on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/host/host_fixture.h"

namespace {

class HostTestOnEitherSdl : public HostTest {
 protected:
  void StartWithGamepad(const std::array<int, 8>& buttons) {
    HostTest::StartWithGamepad(buttons);
    // scripts/test names the SDL each pass means to test.
    const char* expected = std::getenv("KELVO_EXPECT_SDL");
    const std::string sdl = host_.Transcript().substr(host_.Transcript().find("sdl: ") + 5);
    if (expected != nullptr) {
      EXPECT_EQ(sdl.substr(0, sdl.find(' ')), expected) << host_.Transcript();
    }
  }
};

// The README's worked example: gamepad button 3 assigned to A by capture,
// then A held whenever button 3 is.
TEST_F(HostTestOnEitherSdl, TheWorkedExampleAssignsAByCaptureAndThenSeesItHeld) {
  StartWithGamepad({});
  for (const char* line : {"properties", "click btn1", "sleep 0.5", "vjoy press 3"}) host_.Send(line);
  Expect("properties: 1 page");
  Expect("clicking btn1");
  Expect("clicked btn1: A : Button 3");
  EXPECT_TRUE(host_.Seen(PadLine(pad::A, "A"), 5)) << host_.Transcript();
  host_.Send("vjoy release 3");
  Expect(kReleased);
  host_.Send("vjoy press 3");
  Expect(PadLine(pad::A, "A"));
  Quit();
  EXPECT_EQ(ReadFile(dir_.File("Kelvo.ini")).rfind("Btn0=3\n", 0), 0u);
}

// The gamepad's "Unplug" takes the device away as a pulled cable does: the
// host's joystick line says so and the key it held reads released. "Plug
// in" brings it back, and the plug-in's polls pick it up by themselves.
TEST_F(HostTestOnEitherSdl, UnplugAndPlugInAreShownAndThePadFollows) {
  StartWithGamepad({3, 0, 0, 0, 0, 0, 0, 0});
  const size_t from = host_.Transcript().find("joystick: ");
  const std::string joystick = host_.Transcript().substr(from, host_.Transcript().find('\n', from) - from);
  host_.Send("vjoy press 3");
  Expect(PadLine(pad::A, "A"));
  host_.Send("vjoy unplug");
  // Reported by the polling thread, before or after the joystick line.
  EXPECT_TRUE(host_.Arrives(kReleased, 5)) << host_.Transcript();
  Expect("gamepad: unplugged");
  Expect("joystick: unplugged");
  // On classic SDL the device is the FIFO itself: its node is gone.
  const size_t path = joystick.find('/');
  const std::string device =
      path == std::string::npos ? "" : joystick.substr(path, joystick.find(" (virtual") - path);
  if (!device.empty()) {
    EXPECT_FALSE(FileExists(device)) << device;
  }
  host_.Send("vjoy press 3");
  Expect("gamepad: unplugged: press 3");
  host_.Send("vjoy plug");
  Expect(joystick);
  Expect("gamepad: plugged in");
  if (!device.empty()) {
    EXPECT_TRUE(FileExists(device)) << device;
  }
  // The plug-in's polls pick the pad up by themselves; a press made before
  // that may be lost with the old device, so it is made again until seen.
  bool held = false;
  for (int attempt = 0; attempt < 5 && !held; ++attempt) {
    host_.Send("vjoy press 3");
    held = host_.Arrives(PadLine(pad::A, "A"), 2);
    if (!held) host_.Send("vjoy release 3");
  }
  EXPECT_TRUE(held) << host_.Transcript();
  host_.Send("vjoy release 3");
  Expect(kReleased);
  Quit();
}

}  // namespace
