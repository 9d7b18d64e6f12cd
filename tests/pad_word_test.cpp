// The pad word from a virtual joystick that the real SDL reads.
#include "tests/support/plugin_fixture.h"

namespace {

class PadWordTest : public PluginTest {
 protected:
  // Switches on with this key map on a joystick of this shape.
  void Start(const std::array<int, 8>& buttons, int threshold, JoystickShape shape = {12, 2, 1}) {
    AttachJoystick(shape);
    WriteFile("Kelvo.ini", ConfigText(buttons, threshold));
    ASSERT_EQ(plugin_.SwitchOn(), 1);
    ASSERT_TRUE(dialogs_->texts().empty());
  }
  unsigned long Directions(unsigned long word) { return word & pad::kDirections; }
};

// Held directions show as cleared bits.
constexpr unsigned long Held(unsigned long bits) { return pad::kDirections & ~bits; }

TEST_F(PadWordTest, DirectionsFromHatAndStickAroundTheThreshold) {
  Start({0, 0, 0, 0, 0, 0, 0, 0}, 1000);
  struct Case {
    const char* what;
    uint8_t hat;
    int16_t x, y;
    unsigned long expected;
  };
  const Case cases[] = {
      {"centred", 0, 0, 0, Held(0)},
      {"hat up", kHatUp, 0, 0, Held(pad::Up)},
      {"hat down", kHatDown, 0, 0, Held(pad::Down)},
      {"hat left", kHatLeft, 0, 0, Held(pad::Left)},
      {"hat right", kHatRight, 0, 0, Held(pad::Right)},
      {"hat up-right", kHatUp | kHatRight, 0, 0, Held(pad::Up | pad::Right)},
      {"stick up at the threshold", 0, 0, -1000, Held(pad::Up)},
      {"stick up one unit inside", 0, 0, -999, Held(0)},
      {"stick down at the threshold", 0, 0, 1000, Held(pad::Down)},
      {"stick down one unit inside", 0, 0, 999, Held(0)},
      {"stick left at the threshold", 0, -1000, 0, Held(pad::Left)},
      {"stick left one unit inside", 0, -999, 0, Held(0)},
      {"stick right at the threshold", 0, 1000, 0, Held(pad::Right)},
      {"stick right one unit inside", 0, 999, 0, Held(0)},
      {"stick fully up-left", 0, -32768, -32768, Held(pad::Up | pad::Left)},
      {"stick fully down-right", 0, 32767, 32767, Held(pad::Down | pad::Right)},
      {"hat up with stick fully down", kHatUp, 0, 32767, Held(pad::Up | pad::Down)},
      {"hat left with stick fully right", kHatLeft, 32767, 0, Held(pad::Left | pad::Right)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    stick_->SetHat(c.hat);
    stick_->SetAxis(0, c.x);
    stick_->SetAxis(1, c.y);
    EXPECT_EQ(Directions(plugin_.Poll(0)), c.expected);
    EXPECT_EQ(Directions(plugin_.Poll(~0ul)), c.expected);
  }
}

// A hand-edited threshold below 1 stays as written, but a stick at rest is
// never a direction: the smallest push counts.
TEST_F(PadWordTest, ThresholdsBelowOneNeverHoldACentredStick) {
  Start({0, 0, 0, 0, 0, 0, 0, 0}, 1000);
  for (int threshold : {0, -1, -2147483647 - 1}) {
    SCOPED_TRACE(threshold);
    WriteFile("Kelvo.ini", ConfigText({0, 0, 0, 0, 0, 0, 0, 0}, threshold));
    ASSERT_EQ(plugin_.SwitchOn(), 1);
    EXPECT_EQ(Directions(plugin_.Poll(~0ul)), Held(0));
    stick_->SetAxis(0, 1);
    EXPECT_EQ(Directions(plugin_.Poll(~0ul)), Held(pad::Right));
    stick_->SetAxis(1, -1);
    EXPECT_EQ(Directions(plugin_.Poll(~0ul)), Held(pad::Right | pad::Up));
    stick_->Reset();
  }
  EXPECT_EQ(ReadFile("Kelvo.ini"), ConfigText({0, 0, 0, 0, 0, 0, 0, 0}, -2147483647 - 1));
}

TEST_F(PadWordTest, WhatAJoystickLacksReadsCentred) {
  // One axis and no hat: only Left and Right can be held.
  Start({0, 0, 0, 0, 0, 0, 0, 0}, 1000, {4, 1, 0});
  stick_->SetAxis(0, -20000);
  EXPECT_EQ(Directions(plugin_.Poll(0)), Held(pad::Left));
  stick_->SetAxis(0, 20000);
  EXPECT_EQ(Directions(plugin_.Poll(0)), Held(pad::Right));
}

TEST_F(PadWordTest, AssignedKeysFollowTheirButtons) {
  // A..Y on buttons 1..8 of a 12-button joystick.
  Start({1, 2, 3, 4, 5, 6, 7, 8}, 1000);
  for (int key = 0; key < 8; ++key) {
    SCOPED_TRACE(key);
    stick_->SetButton(key, true);
    EXPECT_EQ(plugin_.Poll(0), pad::kOwned & ~pad::kKeys[key]);
    stick_->SetButton(key, false);
  }
  // Released everything, centred: a word passed in as 0 gets all twelve bits.
  EXPECT_EQ(plugin_.Poll(0), pad::kOwned);
  EXPECT_EQ(plugin_.Poll(pad::kOwned), pad::kOwned);
}

TEST_F(PadWordTest, NoKeyAssignedSetsOnlyTheDirections) {
  Start({0, 0, 0, 0, 0, 0, 0, 0}, 1000);
  EXPECT_EQ(plugin_.Poll(0), 0xF0u);
  stick_->SetButton(0, true);
  EXPECT_EQ(plugin_.Poll(0), 0xF0u);
}

TEST_F(PadWordTest, KeysWithoutAUsableButtonKeepTheHostsBits) {
  // 10 buttons: 10 is the last usable one; 11, 12, 0 and negatives are not.
  Start({10, 11, 12, 0, -1, -2147483647 - 1, 2147483647, 1}, 1000, {10, 2, 1});
  for (int b = 0; b < 10; ++b) stick_->SetButton(b, true);
  const unsigned long unusable = pad::B | pad::Select | pad::Start | pad::L | pad::R | pad::X;
  EXPECT_EQ(plugin_.Poll(0), pad::kDirections);
  EXPECT_EQ(plugin_.Poll(~0ul), ~0ul & ~(pad::A | pad::Y));
  EXPECT_EQ(plugin_.Poll(unusable) & pad::kOwned, unusable | pad::kDirections);
}

TEST_F(PadWordTest, OneButtonDrivesEveryKeyAssignedToIt) {
  Start({5, 0, 0, 0, 5, 0, 0, 5}, 1000);
  stick_->SetButton(4, true);
  EXPECT_EQ(plugin_.Poll(~0ul) & (pad::A | pad::L | pad::Y), 0u);
  stick_->SetButton(4, false);
  EXPECT_EQ(plugin_.Poll(0) & (pad::A | pad::L | pad::Y), pad::A | pad::L | pad::Y);
}

TEST_F(PadWordTest, ButtonsEitherSideOfTheSixtyFourthDriveTheirKeys) {
  Start({64, 65, 0, 0, 64, 65, 0, 0}, 1000, {70, 2, 1});
  constexpr unsigned long kUsed = pad::A | pad::B | pad::L | pad::R;
  const struct {
    int button;  // from 0
    unsigned long held;
  } rows[] = {{63, pad::A | pad::L}, {64, pad::B | pad::R}, {69, 0}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.button);
    stick_->SetButton(row.button, true);
    EXPECT_EQ(plugin_.Poll(~0ul) & kUsed, kUsed & ~row.held);
    stick_->SetButton(row.button, false);
  }
}

TEST_F(PadWordTest, BitsTheHostOwnsPassThrough) {
  Start({1, 2, 3, 4, 5, 6, 7, 8}, 1000);
  stick_->SetButton(0, true);
  stick_->SetHat(kHatUp);
  const unsigned long hostBits[] = {0ul,      ~0ul,         0xA5A5A5A5ul & ~pad::kOwned,
                                    0xFC00ul, 0xFFFC0000ul, static_cast<unsigned long>(~0ull << 18)};
  for (unsigned long host : hostBits) {
    SCOPED_TRACE(host);
    const unsigned long word = plugin_.Poll(host);
    EXPECT_EQ(word & ~pad::kOwned, host & ~pad::kOwned);
    EXPECT_EQ(word & pad::kOwned, pad::kOwned & ~(pad::A | pad::Up));
  }
}

TEST_F(PadWordTest, ExtremeThresholdsNeverOverflow) {
  Start({0, 0, 0, 0, 0, 0, 0, 0}, 2147483647);
  // No axis value reaches the threshold.
  stick_->SetAxis(0, -32768);
  stick_->SetAxis(1, 32767);
  EXPECT_EQ(Directions(plugin_.Poll(~0ul)), Held(0));
}

}  // namespace
