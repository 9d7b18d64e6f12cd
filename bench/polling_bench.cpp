// How much the plug-in adds to the host's polling path.
//
// 1. RunFunc through the library loaded with dlopen, against a virtual
//    joystick (12 buttons, 2 axes, a hat) with all eight keys assigned, next
//    to a baseline that makes the same SDL calls directly on the same open
//    joystick: one update, one hat read, two axis reads, the button count
//    and the eight button reads. Both are timed in one run, interleaved, and
//    the ratio of their medians is the plug-in's cost. A second baseline
//    adds the priority-inheriting lock pair the plug-in takes around each
//    poll, so that the plug-in's own work shows (goal: at most 1.05 of it).
//    Then the calls to the malloc family per poll, with the pad changing
//    before every poll (goal: none, on either path).
// 2. RunFunc's latency on a polling thread (poll_latency.cpp), first with
//    the GTK thread idle, then while the GTK thread runs a capture (a click
//    on the settings page's key A button) that sees no press; goal: worst
//    and 99.9th percentile under 1 ms.
//
// Needs an X display for the settings page (scripts/bench uses Xvfb). Runs on
// whichever SDL 1.2 the loader finds: scripts/bench runs it on classic SDL
// 1.2 and on sdl12-compat, with the matching virtual joystick.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <gtk/gtk.h>
#include <pthread.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/median_reporter.h"
#include "bench/poll_latency.h"
#include "loader/plugin_loader.h"
#include "tests/support/allocation_count.h"
#include "virtual_joystick/test_joystick.h"

namespace {

constexpr int kButtons[8] = {1, 2, 3, 4, 5, 6, 7, 8};
constexpr int kThreshold = 1000;
constexpr unsigned long kKeyBits[8] = {0x1, 0x2, 0x4, 0x8, 0x200, 0x100, 0x10000, 0x20000};

Plugin plugin;
SDL_Joystick* stick = nullptr;
std::unique_ptr<TestJoystick> device;
std::string scratch;

// The same calls Run makes, and the same word built from them.
unsigned long BareSdlPoll(unsigned long word) {
  struct Direction {
    unsigned long bit;
    Uint8 hat;
    int axis;
    bool negative;
  };
  static constexpr Direction kDirections[4] = {{0x40, SDL_HAT_UP, 1, true},
                                               {0x80, SDL_HAT_DOWN, 1, false},
                                               {0x20, SDL_HAT_LEFT, 0, true},
                                               {0x10, SDL_HAT_RIGHT, 0, false}};
  SDL_JoystickUpdate();
  const Uint8 hat = SDL_JoystickGetHat(stick, 0);
  const int axes[2] = {SDL_JoystickGetAxis(stick, 0), SDL_JoystickGetAxis(stick, 1)};
  for (const Direction& d : kDirections) {
    const int value = axes[d.axis];
    const bool held = (hat & d.hat) != 0 || (d.negative ? value <= -kThreshold : value >= kThreshold);
    word = held ? (word & ~d.bit) : (word | d.bit);
  }
  const int count = SDL_JoystickNumButtons(stick);
  for (int key = 0; key < 8; ++key) {
    const int b = kButtons[key];
    if (b < 1 || b > count) continue;
    word = SDL_JoystickGetButton(stick, b - 1) ? (word & ~kKeyBits[key]) : (word | kKeyBits[key]);
  }
  return word;
}

// The plug-in holds a priority-inheriting mutex around each poll (the
// settings page's thread may hold it); this baseline takes the same kind.
pthread_mutex_t baselineLock;

void MakeBaselineLock() {
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
  pthread_mutex_init(&baselineLock, &attributes);
  pthread_mutexattr_destroy(&attributes);
}

void BM_RunFunc(benchmark::State& state) {
  unsigned long word = 0;
  for (auto _ : state) {
    plugin.RunFunc(&word);
    benchmark::DoNotOptimize(word);
  }
}

void BM_BareSdlCalls(benchmark::State& state) {
  unsigned long word = 0;
  for (auto _ : state) {
    word = BareSdlPoll(word);
    benchmark::DoNotOptimize(word);
  }
}

void BM_BareSdlCallsWithLock(benchmark::State& state) {
  unsigned long word = 0;
  for (auto _ : state) {
    pthread_mutex_lock(&baselineLock);
    word = BareSdlPoll(word);
    pthread_mutex_unlock(&baselineLock);
    benchmark::DoNotOptimize(word);
  }
}

// Instruction counts: scripts/bench runs --count-polls under callgrind,
// collecting only inside these two (valgrind's --toggle-collect), so that
// each total divided by the polls is the instructions one poll costs.
__attribute__((noinline)) void CountedPlugInPolls(long polls) {
  unsigned long word = 0;
  for (long i = 0; i < polls; ++i) plugin.RunFunc(&word);
  benchmark::DoNotOptimize(word);
}

__attribute__((noinline)) void CountedBarePolls(long polls) {
  unsigned long word = 0;
  for (long i = 0; i < polls; ++i) {
    pthread_mutex_lock(&baselineLock);
    word = BareSdlPoll(word);
    pthread_mutex_unlock(&baselineLock);
  }
  benchmark::DoNotOptimize(word);
}

BENCHMARK(BM_RunFunc);
BENCHMARK(BM_BareSdlCalls);
BENCHMARK(BM_BareSdlCallsWithLock);

// Calls to the malloc family per poll over many polls, with a button and
// the stick changing before each poll (the change itself is not counted).
double AllocationsPerChangingPoll(unsigned long (*poll)(unsigned long)) {
  constexpr int kPolls = 10000;
  const long before = CountedAllocations();
  unsigned long word = 0;
  for (int i = 0; i < kPolls; ++i) {
    const bool press = i % 2 == 0;
    device->SetButton(i % 8, press);
    device->SetAxis(0, press ? -20000 : 20000);
    CountAllocations(true);
    word = poll(word);
    CountAllocations(false);
  }
  benchmark::DoNotOptimize(word);
  device->Reset();
  return static_cast<double>(CountedAllocations() - before) / kPolls;
}

unsigned long PollThroughPlugin(unsigned long word) {
  plugin.RunFunc(&word);
  return word;
}

bool SetUp() {
  MakeBaselineLock();
  char pattern[] = "/tmp/kelvo-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr || chdir(pattern) != 0) return false;
  scratch = pattern;
  device = MakeTestJoystick(scratch + "/js0", JoystickShape{12, 2, 1});
  if (!device->ok()) return false;
  FILE* ini = std::fopen("Kelvo.ini", "w");
  if (ini == nullptr) return false;
  for (int key = 0; key < 8; ++key) std::fprintf(ini, "Btn%d=%d\n", key, kButtons[key]);
  std::fprintf(ini, "Axis threshold=%d\n", kThreshold);
  std::fclose(ini);

  plugin = LoadPlugin();
  if (!plugin.loaded() || plugin.SwitchOn() != 1) return false;
  // The library opened joystick 0 through the same SDL; this is its handle.
  stick = SDL_JoystickOpen(0);
  if (stick == nullptr) return false;

  // Both paths must read the joystick the same way: a held key, a pushed
  // stick and the hat give the same word.
  device->SetButton(2, true);
  device->SetAxis(0, -20000);
  device->SetHat(0x01);
  const unsigned long viaPlugin = plugin.Poll(0);
  const unsigned long direct = BareSdlPoll(0);
  device->Reset();
  plugin.Poll(0);
  if (viaPlugin != direct || viaPlugin != (0x303FFul & ~(0x4ul | 0x20ul | 0x40ul))) {
    std::fprintf(stderr, "polling_bench: words differ: plug-in 0x%lX, direct 0x%lX\n", viaPlugin, direct);
    return false;
  }
  return true;
}

void TearDown() {
  device.reset();
  if (!scratch.empty()) {
    std::remove((scratch + "/Kelvo.ini").c_str());
    rmdir(scratch.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  // --latency-ms N: how long each latency measurement polls (default 2000).
  // --count-polls N: only N polls through each path, for callgrind.
  long latencyMs = 2000, countPolls = 0;
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--latency-ms") == 0 && i + 1 < argc) {
      latencyMs = std::atol(argv[++i]);
    } else if (std::strcmp(argv[i], "--count-polls") == 0 && i + 1 < argc) {
      countPolls = std::atol(argv[++i]);
    } else {
      rest.push_back(argv[i]);
    }
  }
  int restCount = static_cast<int>(rest.size());
  benchmark::Initialize(&restCount, rest.data());
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fprintf(stderr, "polling_bench: no X display (run it under xvfb-run)\n");
    return 2;
  }
  if (!SetUp()) {
    std::fprintf(stderr, "polling_bench: set-up failed\n");
    TearDown();
    return 1;
  }
  if (countPolls > 0) {
    // Warm: the first polls after switching on look at the devices.
    for (int i = 0; i < 100; ++i) plugin.Poll(0);
    CountedPlugInPolls(countPolls);
    CountedBarePolls(countPolls);
    TearDown();
    return 0;
  }

  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const MedianReporter::Times viaPlugin = reporter.Median("BM_RunFunc");
  const MedianReporter::Times bare = reporter.Median("BM_BareSdlCalls");
  const MedianReporter::Times locked = reporter.Median("BM_BareSdlCallsWithLock");

  const double pluginAllocations = AllocationsPerChangingPoll(PollThroughPlugin);
  const double bareAllocations = AllocationsPerChangingPoll(BareSdlPoll);

  const std::chrono::milliseconds duration(latencyMs);
  const Latency idle = MeasurePolling(plugin, duration, nullptr);
  Latency capture;
  const bool captured = MeasureDuringCapture(plugin, *device, duration, &capture);
  TearDown();

  // The ratio is taken on the calling thread's CPU time (user and kernel):
  // the wall time also counts the moments another process had the processor.
  auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
  const SdlImplementation sdl = LinkedSdlImplementation();
  // A line of its own: the console reporter may leave a colour reset unterminated.
  std::printf("\nSDL 1.2: %s\n", SdlImplementationName(sdl));
  if (sdl == SdlImplementation::kCompat) {
    std::printf(
        "(both paths include SDL 2's own work in each update: polls of its udev sockets and its locks)\n");
  }
  std::printf("\n%-42s %12s %12s\n", "polling path, all eight keys assigned", "CPU ns/call", "wall ns/call");
  std::printf("%-42s %12.1f %12.1f\n", "RunFunc through the loaded library", viaPlugin.cpu, viaPlugin.real);
  std::printf("%-42s %12.1f %12.1f\n", "the same SDL calls, made directly", bare.cpu, bare.real);
  std::printf("%-42s %12.1f %12.1f\n", "the same SDL calls and the lock pair", locked.cpu, locked.real);
  std::printf("%-42s %12.3f %12.3f\n", "ratio to bare SDL", ratio(viaPlugin.cpu, bare.cpu),
              ratio(viaPlugin.real, bare.real));
  std::printf("%-42s %12.3f %12.3f   (goal: CPU ratio <= 1.05)\n", "ratio to bare SDL + lock",
              ratio(viaPlugin.cpu, locked.cpu), ratio(viaPlugin.real, locked.real));
  std::printf("\n%-42s %12s\n", "pad changing before every poll", "allocs/poll");
  std::printf("%-42s %12.3f   (goal: 0)\n", "RunFunc through the loaded library", pluginAllocations);
  std::printf("%-42s %12.3f\n", "the same SDL calls, made directly", bareAllocations);
  std::printf("\n%-42s %9s %9s %9s %9s\n", "RunFunc latency on a polling thread", "polls", "p50 us",
              "p99.9 us", "worst us");
  std::printf("%-42s %9ld %9.1f %9.1f %9.1f\n",
              idle.realtime ? "GTK thread idle (real-time poller)" : "GTK thread idle", idle.polls, idle.p50,
              idle.p999, idle.worst);
  if (captured) {
    std::printf("%-42s %9ld %9.1f %9.1f %9.1f   (goal < 1000)\n", "GTK thread in a capture, no press",
                capture.polls, capture.p50, capture.p999, capture.worst);
  }
  benchmark::Shutdown();
  return captured ? 0 : 1;
}
