#include "ui/capture.h"

#include <cstdlib>
#include <mutex>
#include <thread>

#include "input/joystick.h"
#include "input/key_map.h"
#include "plugin/kelvo_class.h"
#include "plugin/message.h"
#include "ui/settings_page.h"

std::chrono::milliseconds captureTimeLimit = CAPTURE_TIME_LIMIT;

void on_btn_clicked(GtkButton* button) {
  // "btn1" to "btn8": the key index plus one.
  const char* name = gtk_widget_get_name(GTK_WIDGET(button));
  if (name == nullptr || name[0] == '\0' || name[1] == '\0' || name[2] == '\0') return;
  const int k = std::atoi(name + 3);
  if (k < 1 || k > KEY_COUNT) return;
  const int key = k - 1;

  // Each poll takes the joystick lock on its own, so a host polling from
  // another thread gets its turn between two of ours. The lock is not fair:
  // re-taking it at once could keep a waiting poll out for tens of
  // milliseconds, so after each poll the processor is offered to any thread
  // that is ready (a yield, not a timed pause).
  const auto deadline = std::chrono::steady_clock::now() + captureTimeLimit;
  int held;
  while ((held = PollLowestHeldButton()) == NO_BUTTON_HELD) {
    if (std::chrono::steady_clock::now() >= deadline) return;
    std::this_thread::yield();
  }
  if (held == NO_JOYSTICK_TO_READ) {
    Message("%s", NO_JOYSTICK_TEXT);
    return;
  }

  const int number = held + 1;
  {
    JoyGuard guard(joyLock);
    btn[key] = number;
  }
  SetButtonText(button, "%s : Button %i", btnName[key], number);
  Kelvo.SaveConf();
}
