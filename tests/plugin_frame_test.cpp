// Identity, switching on and off, and the entry points' results, through the
// five names and raw records.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstring>

#include "tests/support/plugin_fixture.h"

namespace {

const uint8_t kGuid[16] = {0xC4, 0xCD, 0x29, 0x82, 0xAB, 0x89, 0xCF, 0x45,
                           0xBA, 0x01, 0x3F, 0xB8, 0x7A, 0xD9, 0x17, 0xE9};

using FrameTest = PluginTest;

// Bytes outside [from, to) are still the fill byte.
void ExpectUntouchedOutside(const RawRecord& r, std::vector<std::pair<size_t, size_t>> written) {
  for (size_t i = 0; i < r.bytes.size(); ++i) {
    bool inside = false;
    for (auto [from, to] : written) inside = inside || (i >= from && i < to);
    if (!inside) {
      EXPECT_EQ(r.bytes[i], 0xA5) << "byte " << i;
    }
  }
}

TEST_F(FrameTest, IdentityFillsTypeNameAndGuidOnly) {
  RawRecord info(record::kGetInfoSize);
  char name[32];
  std::memset(name, '#', sizeof(name));
  info.Put<char*>(record::kNameOffset, name);

  EXPECT_EQ(plugin_.GetInfoFunc(info.data()), 1);
  EXPECT_EQ(info.Get<int32_t>(record::kTypeOffset), 4);
  EXPECT_EQ(0, std::memcmp(info.bytes.data() + record::kGuidOffset, kGuid, 16));
  EXPECT_STREQ(name, "Kelvo plugin 1.6.1");
  EXPECT_EQ(name[19], '#') << "exactly 19 bytes are copied";
  EXPECT_EQ(info.Get<char*>(record::kNameOffset), name);
  ExpectUntouchedOutside(info, {{record::kTypeOffset, record::kTypeOffset + 4},
                                {record::kNameOffset, record::kNameOffset + sizeof(void*)},
                                {record::kGuidOffset, record::kGuidOffset + 16}});
}

TEST_F(FrameTest, IdentityWithoutNameBufferWritesTypeAndGuid) {
  RawRecord info(record::kGetInfoSize);
  info.Put<char*>(record::kNameOffset, nullptr);
  EXPECT_EQ(plugin_.GetInfoFunc(info.data()), 1);
  EXPECT_EQ(info.Get<int32_t>(record::kTypeOffset), 4);
  EXPECT_EQ(0, std::memcmp(info.bytes.data() + record::kGuidOffset, kGuid, 16));
  EXPECT_EQ(info.Get<char*>(record::kNameOffset), nullptr);
}

TEST_F(FrameTest, NullSetInfoRecordReturnsZeroAndStartsNothing) {
  EXPECT_EQ(plugin_.SetInfoFunc(nullptr), 0);
  EXPECT_FALSE(FileExists("Kelvo.ini"));
  EXPECT_TRUE(dialogs_->texts().empty());
}

// Only the enable bit in both words switches the plug-in on; a switch-on is
// seen as the configuration file being written and the no-joystick message.
TEST_F(FrameTest, OnlyTheEnableBitInBothWordsSwitchesOn) {
  struct Case {
    uint32_t stateMask, state;
    bool switchesOn;
  };
  const Case cases[] = {
      {0, 0, false},
      {1, 0, false},
      {0, 1, false},
      {0xFFFFFFFE, 0xFFFFFFFE, false},
      {2, 3, false},
      {1, 1, true},
      {0xFFFFFFFF, 0xFFFFFFFF, true},
      {3, 1, true},
  };
  size_t switchOns = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "stateMask " << c.stateMask << " state " << c.state);
    EXPECT_EQ(plugin_.SetInfo(c.stateMask, c.state), 1);
    if (c.switchesOn) ++switchOns;
    EXPECT_EQ(FileExists("Kelvo.ini"), c.switchesOn);
    EXPECT_EQ(dialogs_->texts().size(), switchOns);
    std::remove("Kelvo.ini");
  }
}

TEST_F(FrameTest, NoJoystickShowsHowManyWereFoundAndStillLoads) {
  EXPECT_EQ(plugin_.SwitchOn(), 1);
  ASSERT_EQ(dialogs_->texts().size(), 1u);
  EXPECT_EQ(dialogs_->texts()[0], "Error 0 opening the joystick");
  EXPECT_EQ(ReadFile("Kelvo.ini"), ConfigText({0, 0, 0, 0, 0, 0, 0, 0}, 1000));
  // Without a joystick the directions read released at threshold 1000,
  // and the keys keep the host's bits.
  EXPECT_EQ(plugin_.Poll(0), pad::kDirections);
  EXPECT_EQ(plugin_.Poll(~0ul), ~0ul);
}

TEST_F(FrameTest, TwoSwitchOnsOpenTheJoystickAndReadTheFileTwice) {
  AttachJoystick();
  WriteFile("Kelvo.ini", ConfigText({1, 0, 0, 0, 0, 0, 0, 0}, 1000));
  EXPECT_EQ(plugin_.SwitchOn(), 1);
  EXPECT_EQ(ProbeButtons()[0], 1);
  WriteFile("Kelvo.ini", ConfigText({3, 0, 0, 0, 0, 0, 0, 0}, 1500));
  EXPECT_EQ(plugin_.SwitchOn(), 1);
  EXPECT_EQ(ProbeButtons()[0], 3);
  EXPECT_EQ(ProbeThreshold(), 1500);
  EXPECT_TRUE(dialogs_->texts().empty());
}

TEST_F(FrameTest, SwitchingOffStopsNothing) {
  AttachJoystick();
  WriteFile("Kelvo.ini", ConfigText({2, 0, 0, 0, 0, 0, 0, 0}, 1000));
  plugin_.SwitchOn();
  EXPECT_EQ(plugin_.SetInfo(1, 0), 1);
  stick_->SetButton(1, true);
  EXPECT_EQ(plugin_.Poll(~0ul) & pad::A, 0u);
}

TEST_F(FrameTest, DeleteReturnsOneWhateverCameBefore) {
  EXPECT_EQ(plugin_.DeleteFunc(), 1);
  AttachJoystick();
  plugin_.SwitchOn();
  plugin_.Poll(0);
  EXPECT_EQ(plugin_.DeleteFunc(), 1);
  EXPECT_EQ(plugin_.DeleteFunc(), 1);
}

}  // namespace
