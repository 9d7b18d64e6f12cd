// RunFunc's latency on a polling thread, alone and while the GTK thread runs
// a capture that sees no press.
#ifndef KELVO_BENCH_POLL_LATENCY_H
#define KELVO_BENCH_POLL_LATENCY_H

#include <atomic>
#include <chrono>

#include "loader/plugin_loader.h"
#include "virtual_joystick/test_joystick.h"

struct Latency {
  long polls = 0;
  double p50 = 0, p999 = 0, worst = 0;  // microseconds
  bool realtime = false;
};

// Polls RunFunc on the calling thread for the given time, with a pause of
// 10 us between polls, and times each call into a histogram of 100 ns steps
// (up to 10 ms; longer calls count in the last step and in the worst time).
// The thread asks for real-time scheduling first, when the system allows it,
// so that what is measured is the plug-in (its lock against the capture) and
// not the other processes on the machine taking the processor away; the
// pauses keep it clear of the kernel's real-time throttling, which stops a
// thread that never sleeps for 50 ms in every second.
Latency MeasurePolling(const Plugin& plugin, std::chrono::milliseconds duration, std::atomic<bool>* started);

// Clicks key A's button on a freshly built settings page. The click blocks
// this (the GTK) thread in the capture until a button is pressed, so a
// second thread measures for the given time and then presses button 12,
// which ends the capture.
bool MeasureDuringCapture(const Plugin& plugin, TestJoystick& device, std::chrono::milliseconds duration,
                          Latency* latency);

#endif
