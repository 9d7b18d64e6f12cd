// Polling allocates nothing: the calls to the malloc family made while
// counting is on are counted, the library's and SDL's included.
#include <cstdlib>
#include <cstring>

#include "tests/support/allocation_count.h"
#include "tests/support/plugin_fixture.h"

namespace {

using NoAllocTest = PluginTest;

TEST_F(NoAllocTest, TenThousandPollsAllocateNothing) {
  AttachJoystick();
  WriteFile("Kelvo.ini", ConfigText({1, 2, 3, 4, 5, 6, 7, 8}, 1000));
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  stick_->SetButton(3, true);
  stick_->SetAxis(0, -5000);
  unsigned long word = 0;
  plugin_.RunFunc(&word);

  CountAllocations(true);
  for (int i = 0; i < 10000; ++i) plugin_.RunFunc(&word);
  CountAllocations(false);
  EXPECT_EQ(CountedAllocations(), 0);
  EXPECT_EQ(word & pad::kOwned, pad::kOwned & ~(pad::Start | pad::Left));

  // The counter works: an allocation made inside a library while counting
  // is seen.
  CountAllocations(true);
  char* copy = strdup("counted");
  CountAllocations(false);
  free(copy);
  EXPECT_EQ(CountedAllocations(), 1);
}

// Every poll has a change to read: a button and the stick move before each.
TEST_F(NoAllocTest, PollsReadingAChangingPadAllocateNothing) {
  AttachJoystick();
  WriteFile("Kelvo.ini", ConfigText({1, 2, 3, 4, 5, 6, 7, 8}, 1000));
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  long seen = 0;
  for (int i = 0; i < 10000; ++i) {
    const int key = i % 8;
    const bool press = (i / 8) % 2 == 0;
    ASSERT_TRUE(stick_->SetButton(key, press));
    ASSERT_TRUE(stick_->SetAxis(0, press ? -5000 : 5000));
    unsigned long word = 0;
    CountAllocations(true);
    plugin_.RunFunc(&word);
    CountAllocations(false);
    const bool keyHeld = (word & pad::kKeys[key]) == 0;
    const bool leftHeld = (word & pad::Left) == 0;
    if (keyHeld == press && leftHeld == press) ++seen;
  }
  EXPECT_EQ(CountedAllocations(), 0);
  EXPECT_EQ(seen, 10000) << "every poll read the change made before it";
}

TEST_F(NoAllocTest, PollingWithoutAJoystickAllocatesNothing) {
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  unsigned long word = 0;
  CountAllocations(true);
  for (int i = 0; i < 10000; ++i) plugin_.RunFunc(&word);
  CountAllocations(false);
  EXPECT_EQ(CountedAllocations(), 0);
}

}  // namespace
