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

constexpr char kNoJoystickText[] = "No joystick is open";
constexpr char kNoButtonsText[] = "The joystick in use has no buttons";

constexpr char kPromptFormat[] = "%s : press\u2026";

// Closed: the button left the screen (hidden, or destroyed): its label returns.
enum class Outcome { Listening, Pressed, Cleared, Cancelled, Closed, NoJoystick };

// One capture, kept on the click handler's stack for as long as it runs.
struct Capture {
  GtkWidget* button;
  int key;
  guint level;  // the capture's own level of gtk_main
  Clock::time_point deadline;
  bool shown;  // on screen when clicked; not, for a page built away from any window
  Outcome outcome = Outcome::Listening;
  int held = NO_BUTTON_HELD;
  guint pollSource = 0;
  guint quitSource = 0;
  GdkWindow* keyboard = nullptr;  // the window the capture's keyboard grab is on
};

// The capture running, if any: one at a time, since the grab keeps every
// other button from being clicked, and code that clicks one anyway is ignored.
Capture* current = nullptr;

// Keys go to the capture wherever the focus is (another window, another
// program): Esc and Delete must reach it.
void TakeKeyboard(Capture* capture) {
  GdkWindow* window = gtk_widget_get_window(gtk_widget_get_toplevel(capture->button));
  if (!capture->shown || window == nullptr) return;
  if (gdk_keyboard_grab(window, FALSE, gtk_get_current_event_time()) != GDK_GRAB_SUCCESS) return;
  capture->keyboard = GDK_WINDOW(g_object_ref(window));
}

// Lets go only of the capture's own grab: one taken since (a menu the host
// opened) is not the capture's to end.
void ReleaseKeyboard(Capture* capture) {
  if (capture->keyboard == nullptr) return;
  GdkDisplay* display = gdk_drawable_get_display(capture->keyboard);
  GdkWindow* holder = nullptr;
  gboolean ownerEvents = FALSE;
  if (gdk_keyboard_grab_info_libgtk_only(display, &holder, &ownerEvents) && holder == capture->keyboard)
    gdk_display_keyboard_ungrab(display, GDK_CURRENT_TIME);
  g_object_unref(capture->keyboard);
  capture->keyboard = nullptr;
}

// Ends the capture's level of gtk_main, from a source of its own: a host
// that destroys the window and then calls gtk_main_quit in one handler ends
// this level while the source is still pending, and the capture can tell
// that quit was the host's. A level someone opened over the capture (a
// host's own modal loop) is left to end first.
gboolean QuitCaptureLevel(gpointer data) {
  HostCall call;
  auto* capture = static_cast<Capture*>(data);
  if (gtk_main_level() > capture->level) {
    capture->quitSource =
        gdk_threads_add_timeout_full(G_PRIORITY_HIGH, kPollIntervalMs, QuitCaptureLevel, capture, nullptr);
  } else {
    capture->quitSource = 0;
    gtk_main_quit();
  }
  return FALSE;
}

// Stops listening. Runs once, from whichever event comes first; the click
// handler applies the outcome once the capture's loop has returned.
void Finish(Capture* capture, Outcome outcome, int held = NO_BUTTON_HELD) {
  if (capture->outcome != Outcome::Listening) return;
  capture->outcome = outcome;
  capture->held = held;
  if (capture->pollSource != 0) g_source_remove(capture->pollSource);
  capture->pollSource = 0;
  g_signal_handlers_disconnect_by_data(capture->button, capture);
  gtk_grab_remove(capture->button);
  ReleaseKeyboard(capture);
  capture->quitSource = gdk_threads_add_idle_full(G_PRIORITY_HIGH, QuitCaptureLevel, capture, nullptr);
}

// What to do when there is nothing to read. Switched on, the plug-in picks
// up a pad by itself; otherwise only switching on opens one.
void SayNoJoystick() {
  char name[128];
  if (!FollowingJoysticks()) {
    MessageWithAdvice("Switch the plug-in on, then click the key once more.", "%s", kNoJoystickText);
  } else if (OpenJoystickName(name, sizeof(name))) {
    MessageWithAdvice("Plug in a joystick that has buttons, then click the key once more.", "%s",
                      kNoButtonsText);
  } else {
    MessageWithAdvice("Plug a joystick in, then click the key once more: the plug-in picks it up by itself.",
                      "%s", kNoJoystickText);
  }
}

// Applies a finished capture, after its loop: a box or a save shown from
// here belongs to the host's level, not to the capture's.
void Apply(const Capture& capture) {
  // A button being destroyed has left its page already: nothing to show.
  if (gtk_widget_get_parent(capture.button) == nullptr) return;
  const bool assigned = capture.outcome == Outcome::Pressed || capture.outcome == Outcome::Cleared;
  if (assigned) {
    JoyGuard guard(joyLock);
    btn[capture.key] = capture.outcome == Outcome::Pressed ? capture.held + 1 : 0;
  }
  ShowAssignment(GTK_BUTTON(capture.button), capture.key, SnapshotKeyMap().buttons[capture.key]);
  if (assigned) Kelvo.SaveConf();
  if (capture.outcome == Outcome::NoJoystick) SayNoJoystick();
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
  capture.level = gtk_main_level() + 1;
  capture.deadline = Clock::now() + captureTimeLimit;
  capture.shown = OnScreen(widget);
  // Held until the capture is applied: the page may be destroyed meanwhile,
  // and the host may unload the plug-in from one of its sources.
  g_object_ref(widget);
  void* hold = HoldLibrary();
  current = &capture;
  SetButtonText(button, kPromptFormat, btnName[key]);
  LayOutPage(gtk_widget_get_parent(widget));
  gtk_grab_add(widget);
  TakeKeyboard(&capture);
  g_signal_connect(widget, "key-press-event", G_CALLBACK(on_btn_key_press_event), &capture);
  g_signal_connect(widget, "unmap", G_CALLBACK(on_btn_gone), &capture);
  g_signal_connect(widget, "destroy", G_CALLBACK(on_btn_gone), &capture);
  capture.pollSource = gdk_threads_add_idle_full(G_PRIORITY_DEFAULT_IDLE, StartPolling, &capture, nullptr);

  // A level of gtk_main of its own, as a modal loop: the host's gtk_main_quit
  // ends the innermost level, so a quit meant for the host ends this one
  // first. The capture then ends as cancelled and passes the quit on. Like
  // gtk_dialog_run, gtk_main lets go of GDK's lock while it waits.
  gtk_main();
  // Ended before the capture's own quit came: the quit was the host's.
  const bool hostQuit = capture.outcome == Outcome::Listening || capture.quitSource != 0;
  Finish(&capture, Outcome::Cancelled);
  if (capture.quitSource != 0) g_source_remove(capture.quitSource);
  current = nullptr;
  Apply(capture);
  g_object_unref(widget);
  ReleaseLibraryLater(hold);
  if (hostQuit && gtk_main_level() > 0) gtk_main_quit();
}
