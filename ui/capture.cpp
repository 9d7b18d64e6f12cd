// Assigning a key by pressing a joystick button.
#include <gdk/gdkkeysyms.h>

#include <chrono>
#include <mutex>

#include "input/joystick.h"
#include "input/key_map.h"
#include "plugin/host_call.h"
#include "plugin/kelvo_class.h"
#include "plugin/library_hold.h"
#include "plugin/message.h"
#include "ui/settings_page.h"

// A capture that sees no press for this long gives up and changes nothing,
// so an unplugged joystick or a user who walks away cannot hold the page.
// Not in the header: only tests linked with this code shorten it.
std::chrono::milliseconds captureTimeLimit = std::chrono::seconds(10);

namespace {

using Clock = std::chrono::steady_clock;

// How often a capture reads the joystick: 200 times a second, so that a
// press of 10 ms is seen even when a poll comes a few milliseconds late.
constexpr guint kPollIntervalMs = 5;

constexpr char kNoJoystickText[] = "No joystick is open: switch the plug-in on with a joystick attached";
constexpr char kNoJoystickAdvice[] =
    "Plug a joystick in, switch the plug-in on again, then click the key once more.";

constexpr char kPromptFormat[] = "%s : press\u2026";

// Closed: the button left the screen (hidden, or destroyed): its label returns.
enum class Outcome { Listening, Pressed, Cleared, Cancelled, Closed, NoJoystick };

// One capture, kept on the click handler's stack for as long as it runs.
struct Capture {
  GtkWidget* button;
  int key;
  GMainLoop* loop;
  Clock::time_point deadline;
  bool shown;  // on screen when clicked; not, for a page built away from any window
  Outcome outcome = Outcome::Listening;
  guint pollSource = 0;
};

// The capture running, if any: one at a time, since the grab keeps every
// other button from being clicked, and code that clicks one anyway is ignored.
Capture* current = nullptr;

// Stops listening and applies the outcome. Runs once, from whichever event
// comes first; the capture's main loop then returns.
void Finish(Capture* capture, Outcome outcome, int held = NO_BUTTON_HELD) {
  if (capture->outcome != Outcome::Listening) return;
  capture->outcome = outcome;
  if (capture->pollSource != 0) g_source_remove(capture->pollSource);
  capture->pollSource = 0;
  g_signal_handlers_disconnect_by_data(capture->button, capture);
  gtk_grab_remove(capture->button);

  // A button being destroyed has left its page already: nothing to show.
  if (gtk_widget_get_parent(capture->button) != nullptr) {
    const bool assigned = outcome == Outcome::Pressed || outcome == Outcome::Cleared;
    if (assigned) {
      JoyGuard guard(joyLock);
      btn[capture->key] = outcome == Outcome::Pressed ? held + 1 : 0;
    }
    ShowAssignment(GTK_BUTTON(capture->button), capture->key, SnapshotKeyMap().buttons[capture->key]);
    if (assigned) Kelvo.SaveConf();
    if (outcome == Outcome::NoJoystick) MessageWithAdvice(kNoJoystickAdvice, "%s", kNoJoystickText);
  }
  g_main_loop_quit(capture->loop);
}

gboolean Poll(gpointer data) {
  HostCall call;
  auto* capture = static_cast<Capture*>(data);
  if (capture->shown && !OnScreen(capture->button)) {
    Finish(capture, Outcome::Closed);
    return FALSE;
  }
  const int held = PollLowestHeldButton();
  if (held >= 0) {
    Finish(capture, Outcome::Pressed, held);
  } else if (held == NO_JOYSTICK_TO_READ) {
    Finish(capture, Outcome::NoJoystick);
  } else if (Clock::now() >= capture->deadline) {
    Finish(capture, Outcome::Cancelled);
  }
  return capture->outcome == Outcome::Listening;
}

// The first poll waits until the prompt is drawn: this idle comes after
// GTK's resize and redraw, and the flush hands the drawing to the X server.
gboolean StartPolling(gpointer data) {
  HostCall call;
  auto* capture = static_cast<Capture*>(data);
  gdk_flush();
  if (Poll(capture))
    capture->pollSource =
        gdk_threads_add_timeout_full(G_PRIORITY_HIGH, kPollIntervalMs, Poll, capture, nullptr);
  return FALSE;
}

// Every key goes to the listening button while it has the grab; only these
// three mean something, the others are swallowed as a modal box would.
gboolean on_btn_key_press_event(GtkWidget*, GdkEventKey* event, gpointer data) {
  HostCall call;
  const guint key = event->keyval;
  if (key == GDK_KEY_Escape) Finish(static_cast<Capture*>(data), Outcome::Cancelled);
  if (key == GDK_KEY_Delete || key == GDK_KEY_KP_Delete || key == GDK_KEY_BackSpace) {
    Finish(static_cast<Capture*>(data), Outcome::Cleared);
  }
  return TRUE;
}

void on_btn_gone(GtkWidget*, gpointer data) {
  HostCall call;
  Finish(static_cast<Capture*>(data), Outcome::Closed);
}

}  // namespace

bool IsCapturing(const GtkWidget* button) { return current != nullptr && current->button == button; }

void on_btn_clicked(GtkButton* button) {
  HostCall call;
  GtkWidget* widget = GTK_WIDGET(button);
  const int key = KeyOfButton(widget);
  if (key < 0) return;
  if (current != nullptr) {
    // A click on the listening button cancels its capture.
    if (current->button == widget) Finish(current, Outcome::Cancelled);
    return;
  }

  Capture capture{};
  capture.button = widget;
  capture.key = key;
  capture.loop = g_main_loop_new(nullptr, FALSE);
  capture.deadline = Clock::now() + captureTimeLimit;
  capture.shown = OnScreen(widget);
  // Held until the loop returns: the page may be destroyed meanwhile, and
  // the host may unload the plug-in from one of its sources.
  g_object_ref(widget);
  void* hold = HoldLibrary();
  current = &capture;
  SetButtonText(button, kPromptFormat, btnName[key]);
  LayOutPage(gtk_widget_get_parent(widget));
  gtk_grab_add(widget);
  g_signal_connect(widget, "key-press-event", G_CALLBACK(on_btn_key_press_event), &capture);
  g_signal_connect(widget, "unmap", G_CALLBACK(on_btn_gone), &capture);
  g_signal_connect(widget, "destroy", G_CALLBACK(on_btn_gone), &capture);
  capture.pollSource = gdk_threads_add_idle_full(G_PRIORITY_DEFAULT_IDLE, StartPolling, &capture, nullptr);

  // As gtk_dialog_run does: a host that uses GDK's lock has it released
  // while the loop waits, and its sources take it again.
  GDK_THREADS_LEAVE();
  g_main_loop_run(capture.loop);
  GDK_THREADS_ENTER();

  g_main_loop_unref(capture.loop);
  current = nullptr;
  g_object_unref(widget);
  ReleaseLibraryLater(hold);
}
