// Polling allocates nothing: this executable's malloc family counts the
// calls made while counting is on, the library's included.
#include <atomic>
#include <cstddef>

#include "tests/support/plugin_fixture.h"

extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
void Count() {
  if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

extern "C" void* malloc(size_t size) {
  Count();
  return __libc_malloc(size);
}
extern "C" void* calloc(size_t n, size_t size) {
  Count();
  return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, size_t size) {
  Count();
  return __libc_realloc(p, size);
}

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

  counting = true;
  for (int i = 0; i < 10000; ++i) plugin_.RunFunc(&word);
  counting = false;
  EXPECT_EQ(allocations.load(), 0);
  EXPECT_EQ(word & pad::kOwned, pad::kOwned & ~(pad::Start | pad::Left));

  // The counter works: an allocation while counting is seen.
  counting = true;
  void* p = malloc(16);
  counting = false;
  free(p);
  EXPECT_EQ(allocations.load(), 1);
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
    counting = true;
    plugin_.RunFunc(&word);
    counting = false;
    const bool keyHeld = (word & pad::kKeys[key]) == 0;
    const bool leftHeld = (word & pad::Left) == 0;
    if (keyHeld == press && leftHeld == press) ++seen;
  }
  EXPECT_EQ(allocations.load(), 0);
  EXPECT_EQ(seen, 10000) << "every poll read the change made before it";
}

TEST_F(NoAllocTest, PollingWithoutAJoystickAllocatesNothing) {
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  unsigned long word = 0;
  counting = true;
  for (int i = 0; i < 10000; ++i) plugin_.RunFunc(&word);
  counting = false;
  EXPECT_EQ(allocations.load(), 0);
}

}  // namespace
