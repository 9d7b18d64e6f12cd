#include "host/pad_poller.h"

#include <time.h>

void PadPoller::Start(RunFn run, ChangeFn changed) {
  run_ = run;
  changed_ = changed;
  stopping_.store(false);
  thread_ = std::thread(&PadPoller::Loop, this);
}

void PadPoller::Stop() {
  stopping_.store(true);
  if (thread_.joinable()) thread_.join();
}

void PadPoller::Loop() {
  constexpr long kPeriod = 1000000000L / 60;
  unsigned long last = ~0ul;
  timespec next;
  clock_gettime(CLOCK_MONOTONIC, &next);
  while (!stopping_.load()) {
    // Each poll starts from the host's own bits, every key and direction
    // released, as a host's keypad word does when no other input holds
    // one: the plug-in leaves the bits it cannot read (no joystick) as they
    // come, so a word fed back from the last poll would keep its keys held.
    unsigned long word = ~0ul;
    {
      std::lock_guard<std::mutex> hold(pause_);
      run_(&word);
    }
    if (word != last) {
      last = word;
      changed_(word);
    }
    next.tv_nsec += kPeriod;
    if (next.tv_nsec >= 1000000000L) {
      next.tv_nsec -= 1000000000L;
      ++next.tv_sec;
    }
    // After a stall (a slow machine, a debugger) go on from now rather than
    // polling in a burst to catch up.
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (now.tv_sec > next.tv_sec + 1) next = now;
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
  }
}
