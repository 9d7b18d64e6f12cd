// The test joystick itself, on whichever SDL 1.2 this process runs: the
// backend is the one the loaded SDL reads, and unplugging and plugging in,
// also with another shape, is what SDL's next listing sees.
#include <fcntl.h>
#include <linux/joystick.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "tests/support/plugin_fixture.h"
#include "tests/support/sdl_differences.h"
#include "virtual_joystick/joystick_relay.h"
#include "virtual_joystick/sdl2_virtual_joystick.h"
#include "virtual_joystick/uinput_device.h"

namespace {

using TestJoystickTest = PluginTest;

TEST_F(TestJoystickTest, TheBackendIsTheOneTheLoadedSdlReads) {
  const SdlImplementation linked = LinkedSdlImplementation();
  RecordProperty("sdl", SdlImplementationName(linked));
  // scripts/test names the implementation each pass means to test, so that a
  // wrong library path cannot test classic SDL twice.
  const char* expected = std::getenv("KELVO_EXPECT_SDL");
  if (expected != nullptr) {
    EXPECT_STREQ(SdlImplementationName(linked), expected);
  }
  AttachJoystick();
  // The kernel stage asks for kernel pads on both SDLs.
  const bool uinput = dynamic_cast<UinputJoystick*>(stick_.get()) != nullptr;
  EXPECT_EQ(uinput, UinputPadsRequested());
  const bool fifo = dynamic_cast<VirtualJoystick*>(stick_.get()) != nullptr;
  EXPECT_EQ(fifo, !uinput && linked == SdlImplementation::kClassic);
}

TEST_F(TestJoystickTest, AnUnpluggedJoystickTakesNoInputAndIsNotListed) {
  AttachJoystick();
  ASSERT_TRUE(stick_->Unplug());
  EXPECT_FALSE(stick_->ok());
  EXPECT_FALSE(stick_->SetButton(0, true));
  EXPECT_FALSE(stick_->Unplug()) << "already unplugged";
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  ASSERT_EQ(dialogs_->texts().size(), 1u);
  EXPECT_EQ(dialogs_->texts()[0], "Error 0 opening the joystick");
}

TEST_F(TestJoystickTest, PluggedInAgainWithMoreButtonsItIsListedWithThem) {
  AttachJoystick({12, 2, 1});
  WriteFile("Kelvo.ini", ConfigText({16, 0, 0, 0, 0, 0, 0, 0}, 1000));
  ASSERT_TRUE(stick_->Unplug());
  ASSERT_TRUE(stick_->Plug({16, 1, 0}));
  EXPECT_TRUE(stick_->ok());
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  EXPECT_TRUE(dialogs_->texts().empty());
  EXPECT_FALSE(stick_->SetHat(kHatUp)) << "the new shape has no hat";
  EXPECT_FALSE(stick_->SetButton(16, true)) << "beyond the new shape";
  ASSERT_TRUE(stick_->SetButton(15, true));
  ASSERT_TRUE(stick_->SetAxis(0, -32767));
  EXPECT_EQ(plugin_.Poll(~0ul) & (pad::A | pad::kDirections), pad::Up | pad::Down | pad::Right);
}

// How the host lets the gamepad, another process, drive a joystick that only
// this process can reach: events written into a FIFO are replayed on the
// test joystick, the hat's two axes as the hat.
TEST_F(TestJoystickTest, TheRelayReplaysFifoEventsOnTheJoystick) {
  const std::string source = dir_.File("gamepad-events");
  ASSERT_EQ(mkfifo(source.c_str(), 0600), 0);
  AttachJoystick({12, 2, 1});
  const int writer = open(source.c_str(), O_RDWR);
  ASSERT_GE(writer, 0);
  WriteFile("Kelvo.ini", ConfigText({3, 0, 0, 0, 0, 0, 0, 0}, 1000));
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  std::mutex sdl;
  JoystickRelay relay;
  ASSERT_TRUE(relay.Start(source, stick_.get(), &sdl));
  struct Step {
    uint8_t hatBits;
    int16_t stickY;
    unsigned long held;
  };
  const Step steps[] = {{kHatRight, 0, pad::A | pad::Right},
                        {kHatLeft | kHatDown, 0, pad::A | pad::Left | pad::Down},
                        {0, -32767, pad::A | pad::Up}};
  ASSERT_TRUE(WriteJoystickEvent(writer, JS_EVENT_BUTTON, 2, 1));
  for (const Step& step : steps) {
    SCOPED_TRACE(step.held);
    ASSERT_TRUE(WriteHatEvents(writer, stick_->shape(), step.hatBits));
    ASSERT_TRUE(WriteJoystickEvent(writer, JS_EVENT_AXIS, 1, step.stickY));
    // The relay is a thread: give it up to five seconds on a busy machine.
    unsigned long word = ~0ul;
    for (int i = 0; i < 500 && (~word & pad::kOwned) != step.held; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      std::lock_guard<std::mutex> hold(sdl);
      word = plugin_.Poll(~0ul);
    }
    EXPECT_EQ(~word & pad::kOwned, step.held);
  }
  relay.Stop();
  close(writer);
}

// The user's sdl12-compat setting that shows joysticks as game controllers:
// a game controller's d-pad hat no longer gives directions there, its stick
// and buttons still do.
TEST_F(TestJoystickTest, TheGameControllerSettingHidesTheHatOnSdl12CompatOnly) {
  setenv("SDL12COMPAT_USE_GAME_CONTROLLERS", "1", 1);
  const SdlImplementation sdl = LinkedSdlImplementation();
  if (sdl == SdlImplementation::kCompat) {
    stick_ = std::make_unique<Sdl2VirtualJoystick>(JoystickShape{12, 2, 1}, true);
  } else {
    AttachJoystick({12, 2, 1});
  }
  WriteFile("Kelvo.ini", ConfigText({3, 0, 0, 0, 0, 0, 0, 0}, 1000));
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  EXPECT_TRUE(dialogs_->texts().empty());

  ASSERT_TRUE(stick_->SetHat(kHatUp));
  const bool hatGivesUp = (plugin_.Poll(~0ul) & pad::Up) == 0;
  EXPECT_EQ(hatGivesUp, !ExpectedDifferences(sdl).gameControllerSettingHidesTheHat);
  ASSERT_TRUE(stick_->SetHat(0));
  ASSERT_TRUE(stick_->SetAxis(1, -20000));
  ASSERT_TRUE(stick_->SetButton(2, true));
  EXPECT_EQ(plugin_.Poll(~0ul) & (pad::A | pad::kDirections), pad::Down | pad::Left | pad::Right);
}

}  // namespace
