#include "bench/poll_latency.h"

#include <gtk/gtk.h>
#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

#include "gtk_helpers/widget_search.h"

Latency MeasurePolling(const Plugin& plugin, std::chrono::milliseconds duration, std::atomic<bool>* started) {
  constexpr int64_t kStepNs = 100;
  constexpr size_t kSteps = 100000;
  std::vector<long> histogram(kSteps, 0);
  Latency result;
  sched_param param{};
  param.sched_priority = sched_get_priority_min(SCHED_FIFO);
  result.realtime = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;

  unsigned long word = 0;
  int64_t worst = 0;
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + duration;
  if (started != nullptr) *started = true;
  for (;;) {
    const auto t0 = Clock::now();
    if (t0 >= end) break;
    plugin.RunFunc(&word);
    const int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - t0).count();
    worst = std::max(worst, ns);
    ++histogram[std::min(static_cast<size_t>(ns / kStepNs), kSteps - 1)];
    ++result.polls;
    const timespec pause{0, 10000};
    nanosleep(&pause, nullptr);
  }
  if (result.realtime) {
    param.sched_priority = 0;
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &param);
  }
  auto at = [&](double q) {
    const long rank = static_cast<long>(q * static_cast<double>(result.polls - 1));
    long seen = 0;
    for (size_t i = 0; i < kSteps; ++i) {
      seen += histogram[i];
      if (seen > rank) return static_cast<double>((i + 1) * kStepNs) / 1000.0;  // upper edge
    }
    return worst / 1000.0;
  };
  if (result.polls > 0) {
    result.p50 = at(0.5);
    result.p999 = at(0.999);
    result.worst = static_cast<double>(worst) / 1000.0;
  }
  return result;
}

bool MeasureDuringCapture(const Plugin& plugin, TestJoystick& device, std::chrono::milliseconds duration,
                          Latency* latency) {
  GtkWidget* notebook = gtk_notebook_new();
  g_object_ref_sink(notebook);
  plugin.SetProperty(notebook);
  const int pages = gtk_notebook_get_n_pages(GTK_NOTEBOOK(notebook));
  GtkWidget* keyA =
      pages > 0 ? FindWidgetNamed(gtk_notebook_get_nth_page(GTK_NOTEBOOK(notebook), pages - 1), "btn1")
                : nullptr;
  if (keyA == nullptr) {
    std::fprintf(stderr, "polling_bench: the settings page has no key A button\n");
    g_object_unref(notebook);
    return false;
  }
  std::atomic<bool> started{false};
  std::thread poller([&] {
    *latency = MeasurePolling(plugin, duration, &started);
    device.SetButton(11, true);
  });
  while (!started) std::this_thread::yield();
  const auto t0 = std::chrono::steady_clock::now();
  gtk_button_clicked(GTK_BUTTON(keyA));
  const auto blocked = std::chrono::steady_clock::now() - t0;
  poller.join();
  device.SetButton(11, false);
  g_object_unref(notebook);
  // The capture must have run for the whole measurement, not returned early.
  if (blocked < duration / 2) {
    std::fprintf(
        stderr, "polling_bench: the capture ended after %lld ms, before the measurement\n",
        static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(blocked).count()));
    return false;
  }
  return true;
}
