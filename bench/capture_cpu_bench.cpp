// What the settings page costs while it shows with nothing held, what a
// capture costs while it listens, and whether it hears short presses.
//
// 0. Idle page: the page in a shown window, no capture, nothing held, over
//    --idle-ms (default 10000). Its timeout reads the joystick 25 times a
//    second to light held keys. The process's CPU time as a share of one
//    processor; goal: under 1 %.
// 1. CPU: key A's button is clicked on a page in a shown window and the
//    capture waits with no press until its 10 s limit (--wait-ms shorter
//    waits are ended by clicking the button again). The process's CPU time
//    (user and kernel, every thread) over the wait, as a share of one
//    processor; goal: at most 5 %.
// 2. Short presses: a capture listens while another thread holds button 3
//    for 10 ms at a random moment; a capture that has not taken it 200 ms
//    later is cancelled and counts as a miss. Goal: no press missed.
//
// Needs an X display (scripts/bench uses Xvfb).
#include <gtk/gtk.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "loader/plugin_loader.h"
#include "tests/support/scratch_dir.h"
#include "virtual_joystick/test_joystick.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

Plugin plugin;
std::unique_ptr<TestJoystick> device;

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Key A's button: on the page, the child named "btn1".
GtkWidget* KeyAButton(GtkWidget* notebook) {
  GtkWidget* page = gtk_notebook_get_nth_page(GTK_NOTEBOOK(notebook), 0);
  GtkWidget* keyA = nullptr;
  if (page == nullptr) return nullptr;
  gtk_container_foreach(
      GTK_CONTAINER(page),
      +[](GtkWidget* child, gpointer found) {
        if (std::strcmp(gtk_widget_get_name(child), "btn1") == 0) *static_cast<GtkWidget**>(found) = child;
      },
      &keyA);
  return keyA;
}

void Settle() {
  for (int i = 0; i < 20; ++i) {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    g_usleep(5000);
  }
}

// Clicking the listening button again cancels its capture; this does it
// from the capture's own loop after the given time.
struct Cancel {
  GtkWidget* button;
  bool fired = false;
};
guint CancelAfter(Cancel* cancel, milliseconds after) {
  return g_timeout_add(
      static_cast<guint>(after.count()),
      +[](gpointer data) {
        auto* c = static_cast<Cancel*>(data);
        c->fired = true;
        gtk_button_clicked(GTK_BUTTON(c->button));
        return gboolean{FALSE};
      },
      cancel);
}

struct CpuResult {
  double seconds = 0, cpu = 0;
};

CpuResult MeasureIdle(milliseconds span) {
  const double cpu0 = ProcessCpuSeconds();
  const auto t0 = Clock::now();
  while (Clock::now() - t0 < span) g_main_context_iteration(nullptr, TRUE);
  CpuResult result;
  result.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  result.cpu = ProcessCpuSeconds() - cpu0;
  return result;
}

CpuResult MeasureWait(GtkWidget* keyA, milliseconds wait) {
  // The 10 s limit ends a wait that long by itself.
  Cancel cancel{keyA};
  if (wait < milliseconds(10000)) CancelAfter(&cancel, wait);
  const double cpu0 = ProcessCpuSeconds();
  const auto t0 = Clock::now();
  gtk_button_clicked(GTK_BUTTON(keyA));
  CpuResult result;
  result.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  result.cpu = ProcessCpuSeconds() - cpu0;
  return result;
}

// Rounds alternate between buttons 3 and 4, so that each catch changes the
// label; a round whose capture had to be cancelled is a miss.
int CountCaughtPresses(GtkWidget* keyA, int presses) {
  std::mt19937 random(12);
  std::uniform_int_distribution<int> delayMs(15, 45);
  int caught = 0;
  for (int i = 0; i < presses; ++i) {
    const int delay = delayMs(random), button = 2 + i % 2;
    std::thread presser([delay, button] {
      std::this_thread::sleep_for(milliseconds(delay));
      device->SetButton(button, true);
      std::this_thread::sleep_for(milliseconds(10));
      device->SetButton(button, false);
    });
    Cancel cancel{keyA};
    const guint source = CancelAfter(&cancel, milliseconds(delay + 200));
    gtk_button_clicked(GTK_BUTTON(keyA));
    presser.join();
    if (!cancel.fired) g_source_remove(source);
    const std::string expected = "A : Button " + std::to_string(button + 1);
    const char* label = gtk_button_get_label(GTK_BUTTON(keyA));
    if (!cancel.fired && label != nullptr && expected == label) ++caught;
  }
  return caught;
}

bool SetUp(const ScratchDir& dir) {
  device = MakeTestJoystick(dir.File("js0"), JoystickShape{12, 2, 1});
  if (!device->ok()) return false;
  plugin = LoadPlugin();
  return plugin.loaded() && plugin.SwitchOn() == 1;
}

}  // namespace

int main(int argc, char** argv) {
  // --wait-ms N: how long the listening capture waits (default 10000, its limit).
  // --presses N: how many 10 ms presses are sent (default 50).
  // --idle-ms N: how long the idle page is measured (default 10000).
  long waitMs = 10000, presses = 50, idleMs = 10000;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--idle-ms") == 0) idleMs = std::atol(argv[++i]);
    if (std::strcmp(argv[i], "--wait-ms") == 0) waitMs = std::atol(argv[++i]);
    if (std::strcmp(argv[i], "--presses") == 0) presses = std::atol(argv[++i]);
  }
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fprintf(stderr, "capture_cpu_bench: no X display (run it under xvfb-run)\n");
    return 2;
  }
  const ScratchDir dir;  // the working directory, for Kelvo.ini
  if (!SetUp(dir)) {
    std::fprintf(stderr, "capture_cpu_bench: set-up failed\n");
    return 1;
  }
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWidget* notebook = gtk_notebook_new();
  gtk_container_add(GTK_CONTAINER(window), notebook);
  gtk_widget_show_all(window);
  plugin.SetProperty(notebook);
  Settle();
  GtkWidget* keyA = KeyAButton(notebook);
  if (keyA == nullptr) {
    std::fprintf(stderr, "capture_cpu_bench: the settings page has no key A button\n");
    return 1;
  }

  const CpuResult idle = MeasureIdle(milliseconds(idleMs));
  const CpuResult wait = MeasureWait(keyA, milliseconds(waitMs));
  const int caught = CountCaughtPresses(keyA, static_cast<int>(presses));
  gtk_widget_destroy(window);
  device.reset();

  std::printf("settings page on screen, nothing held\n");
  std::printf("  %-40s %6.2f s, CPU %7.1f ms = %5.2f %% of one processor   (goal < 1 %%)\n",
              "no capture:", idle.seconds, idle.cpu * 1000, 100 * idle.cpu / idle.seconds);
  std::printf("capture on the settings page, listening\n");
  std::printf("  %-40s %6.2f s, CPU %7.1f ms = %5.2f %% of one processor   (goal <= 5 %%)\n",
              "wait with no press:", wait.seconds, wait.cpu * 1000, 100 * wait.cpu / wait.seconds);
  std::printf("  %-40s %d of %ld   (goal: all)\n", "presses of 10 ms taken:", caught, presses);
  return 0;
}
