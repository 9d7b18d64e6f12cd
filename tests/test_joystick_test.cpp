// The test joystick itself, on whichever SDL 1.2 this process runs: the
// backend is the one the loaded SDL reads, and unplugging and plugging in,
// also with another shape, is what SDL's next listing sees.
#include <cstdlib>
#include <cstring>

#include "tests/support/plugin_fixture.h"
#include "tests/support/sdl_differences.h"
#include "virtual_joystick/sdl2_virtual_joystick.h"

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
  const bool fifo = dynamic_cast<VirtualJoystick*>(stick_.get()) != nullptr;
  EXPECT_EQ(fifo, linked == SdlImplementation::kClassic);
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
