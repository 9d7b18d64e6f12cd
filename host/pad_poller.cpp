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
  unsigned long word = ~0ul;  // every key and direction released
  unsigned long last = word;
  timespec next;
  clock_gettime(CLOCK_MONOTONIC, &next);
  while (!stopping_.load()) {
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
