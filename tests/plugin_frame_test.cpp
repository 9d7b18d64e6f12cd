// Identity, switching on and off, and the entry points' results, through the
// five names and raw records.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstring>
#include <vector>

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

// Records are one word longer than the host's, to catch a write past them.
constexpr size_t kPastTheEnd = sizeof(unsigned long);

TEST_F(FrameTest, IdentityFillsTypeNameAndGuidOnly) {
  RawRecord info(record::kGetInfoSize + kPastTheEnd);
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
// The host's own words before them are not read, and the record is not written.
TEST_F(FrameTest, OnlyTheEnableBitInBothWordsSwitchesOn) {
  struct Case {
    uint32_t hostWords, stateMask, state;
    bool switchesOn;
  };
  const Case cases[] = {
      {0, 0, 0, false},
      {0xFFFFFFFF, 0, 0, false},
      {0, 1, 0, false},
      {0, 0, 1, false},
      {0, 0xFFFFFFFE, 0xFFFFFFFE, false},
      {0, 0xFFFFFFFE, 0xFFFFFFFF, false},
      {0, 2, 3, false},
      {0, 1, 1, true},
      {0xFFFFFFFF, 1, 1, true},
      {0, 0xFFFFFFFF, 0xFFFFFFFF, true},
      {0, 0x80000001, 3, true},
  };
  size_t switchOns = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << "host words 0x" << c.hostWords << ", stateMask 0x"
                                    << c.stateMask << ", state 0x" << c.state);
    RawRecord set(record::kSetInfoSize + kPastTheEnd);
    set.Put<uint32_t>(0, c.hostWords);
    set.Put<uint32_t>(4, c.hostWords);
    set.Put<uint32_t>(record::kStateMaskOffset, c.stateMask);
    set.Put<uint32_t>(record::kStateOffset, c.state);
    const std::vector<uint8_t> before = set.bytes;
    EXPECT_EQ(plugin_.SetInfoFunc(set.data()), 1);
    EXPECT_EQ(set.bytes, before) << "the record was written";
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

// The pad word is the host's unsigned long (4 bytes at 32 bits): the plug-in
// rewrites its own bits of it, keeps the others, and writes nothing after it.
TEST_F(FrameTest, RunRewritesOnePadWordAndNothingPastIt) {
  WriteFile("Kelvo.ini", ConfigText({1, 0, 0, 0, 0, 0, 0, 12}, 1000));
  AttachJoystick();
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  ASSERT_LT(PressUntilHeld(0, pad::A).count(), 1000) << "A never read held";
  ASSERT_TRUE(stick_->SetAxis(0, 32767));
  constexpr unsigned long written = pad::A | pad::Y | pad::kDirections;
  constexpr unsigned long released = pad::Y | pad::Up | pad::Down | pad::Left;  // set: not held
  for (unsigned long in : {~0ul, 0ul, 0xA5A5A5A5ul, 0x5A5A5A5Aul}) {
    SCOPED_TRACE(testing::Message() << std::hex << "word in 0x" << in);
    RawRecord words(sizeof(unsigned long) + kPastTheEnd);
    words.Put<unsigned long>(0, in);
    const std::vector<uint8_t> after(words.bytes.begin() + sizeof(unsigned long), words.bytes.end());
    EXPECT_EQ(plugin_.RunFunc(static_cast<unsigned long*>(words.data())), 1);
    EXPECT_EQ(words.Get<unsigned long>(0), (in & ~written) | released);
    EXPECT_EQ(std::vector<uint8_t>(words.bytes.begin() + sizeof(unsigned long), words.bytes.end()), after)
        << "wrote past the pad word";
  }
}

TEST_F(FrameTest, SetPropertyReadsTheNotebookAtOffsetZeroAndWritesNothing) {
  GtkWidget* notebook = gtk_notebook_new();
  g_object_ref_sink(notebook);
  RawRecord prop(record::kPropertySize + kPastTheEnd);
  prop.Put<void*>(record::kNotebookOffset, notebook);
  const std::vector<uint8_t> before = prop.bytes;
  EXPECT_EQ(plugin_.SetPropertyFunc(prop.data()), 0);
  EXPECT_EQ(prop.bytes, before);
  ASSERT_EQ(gtk_notebook_get_n_pages(GTK_NOTEBOOK(notebook)), 1);
  GtkWidget* page = gtk_notebook_get_nth_page(GTK_NOTEBOOK(notebook), 0);
  EXPECT_STREQ(gtk_notebook_get_tab_label_text(GTK_NOTEBOOK(notebook), page), "Kelvo Plugin Config");
  g_object_unref(notebook);
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
