// Polling for a long time while the joystick streams events must not make the
// process grow: the polling path keeps nothing per call. Memory is measured
// twice, after a warm-up and at the end, as resident size and as bytes the
// heap has handed out.
#include <malloc.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>

#include "tests/support/plugin_fixture.h"

namespace {

// A sanitizer's run-time grows the process by itself (shadow memory, stack
// frames kept to catch use after return), so resident size means nothing
// there; in the AddressSanitizer build LeakSanitizer checks instead, at exit.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

constexpr long kPolls = 1000000;
constexpr long kWarmUp = 100000;

long ResidentKiB() {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return -1;
  char line[256];
  long kib = -1;
  while (std::fgets(line, sizeof(line), status) != nullptr) {
    if (std::sscanf(line, "VmRSS: %ld kB", &kib) == 1) break;
  }
  std::fclose(status);
  return kib;
}

size_t HeapInUse() { return mallinfo2().uordblks; }

using SoakTest = PluginTest;

TEST_F(SoakTest, AMillionPollsWhileTheJoystickStreamsKeepMemoryFlat) {
  AttachJoystick({12, 2, 1});
  WriteFile("Kelvo.ini", ConfigText({1, 2, 3, 4, 5, 6, 7, 8}, 1000));
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  ASSERT_TRUE(dialogs_->texts().empty());

  // Presses and releases every key's button in turn, pushes the stick and
  // turns the hat, pausing briefly between bursts so that polls see both
  // quiet and busy queues.
  std::atomic<bool> stop{false};
  std::atomic<long> events{0};
  std::thread streamer([&] {
    const uint8_t hats[4] = {kHatUp, kHatRight, kHatDown, kHatLeft};
    for (long round = 0; !stop.load(); ++round) {
      const int button = static_cast<int>(round % 8);
      const bool press = (round / 8) % 2 == 0;
      bool ok = stick_->SetButton(button, press);
      ok = stick_->SetAxis(static_cast<int>(round % 2), press ? -20000 : 20000) && ok;
      ok = stick_->SetHat(press ? hats[round % 4] : 0) && ok;
      if (!ok) break;
      events.fetch_add(4);
      usleep(20);
    }
  });

  unsigned long word = 0;
  long sawAHeld = 0, sawAReleased = 0;
  long residentAfterWarmUp = 0;
  size_t heapAfterWarmUp = 0;
  for (long i = 0; i < kPolls; ++i) {
    if (i == kWarmUp) {
      residentAfterWarmUp = ResidentKiB();
      heapAfterWarmUp = HeapInUse();
    }
    word = ~0ul;
    plugin_.RunFunc(&word);
    if (word & pad::A) {
      ++sawAReleased;
    } else {
      ++sawAHeld;
    }
  }
  const long residentAtEnd = ResidentKiB();
  const size_t heapAtEnd = HeapInUse();

  // The streamer may be blocked on a full queue: keep draining until it ends.
  stop = true;
  std::atomic<bool> joined{false};
  std::thread drain([&] {
    unsigned long w = 0;
    while (!joined.load()) plugin_.RunFunc(&w);
  });
  streamer.join();
  joined = true;
  drain.join();

  // The events were really read: key A was seen both held and released.
  EXPECT_GT(events.load(), 1000);
  EXPECT_GT(sawAHeld, 0);
  EXPECT_GT(sawAReleased, 0);

  // A quiet joystick reads back exactly as set after all that traffic.
  ASSERT_TRUE(stick_->Reset());
  ASSERT_TRUE(stick_->SetButton(4, true));  // key L
  ASSERT_TRUE(stick_->SetHat(kHatDown));
  word = 0;
  plugin_.RunFunc(&word);
  EXPECT_EQ(word, pad::kOwned & ~(pad::L | pad::Down));

  // 900,000 polls: even one byte kept per poll would show here.
  if (kSanitized) return;
  ASSERT_GT(residentAfterWarmUp, 0);
  EXPECT_LT(residentAtEnd - residentAfterWarmUp, 512) << "resident KiB grew";
  EXPECT_LE(heapAtEnd, heapAfterWarmUp + 4096) << "heap bytes in use grew";
}

}  // namespace
