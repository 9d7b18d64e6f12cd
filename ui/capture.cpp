// Listening on a key button for a joystick button press.
#include "ui/capture.h"

#include <gdk/gdkkeysyms.h>

#include <chrono>

#include "input/joystick.h"
#include "plugin/host_call.h"
#include "ui/page.h"

// A capture that sees no press for this long gives up and changes nothing,
// so an unplugged joystick or a user who walks away cannot hold the page.
// Not in the header: only tests linked with this code shorten it.
std::chrono::milliseconds captureTimeLimit = std::chrono::seconds(10);

namespace {

using Clock = std::chrono::steady_clock;

// How often a capture reads the joystick: 200 times a second, so that a
// press of 10 ms is seen even when a poll comes a few milliseconds late.
constexpr guint kPollIntervalMs = 5;

using End = CaptureOutcome::End;

// One capture, kept on ListenForPress's stack for as long as it runs.
struct Capture {
  GtkWidget* button;
  guint level;  // the capture's own level of gtk_main
  Clock::time_point deadline;
  bool shown;  // on screen when clicked; not, for a page built away from any window
  bool ended = false;
  CaptureOutcome outcome = {End::Cancelled, NO_BUTTON_HELD};
  guint pollSource = 0;
  guint quitSource = 0;
  GdkWindow* keyboard = nullptr;  // the window the capture's keyboard grab is on
};

// The window this process holds the display's keyboard for; null for none.
GdkWindow* KeyboardHolder(GdkDisplay* display) {
  GdkWindow* holder = nullptr;
  gboolean ownerEvents = FALSE;
  return gdk_keyboard_grab_info_libgtk_only(display, &holder, &ownerEvents) ? holder : nullptr;
}

// Keys go to the capture wherever the focus is (another window, another
// program): Esc and Delete must reach it. While another program holds the
// keyboard the X server refuses, so each poll asks again until it is free.
// A grab of the host's own (a menu it opened) is left to it.
void TakeKeyboard(Capture* capture) {
  GdkWindow* window = gtk_widget_get_window(gtk_widget_get_toplevel(capture->button));
  if (!capture->shown || capture->keyboard != nullptr || window == nullptr) return;
  if (KeyboardHolder(gdk_drawable_get_display(window)) != nullptr) return;
  if (gdk_keyboard_grab(window, FALSE, gtk_get_current_event_time()) != GDK_GRAB_SUCCESS) return;
  capture->keyboard = GDK_WINDOW(g_object_ref(window));
}

// Lets go only of the capture's own grab: one taken since (a menu the host
// opened) is not the capture's to end.
void ReleaseKeyboard(Capture* capture) {
  if (capture->keyboard == nullptr) return;
  GdkDisplay* display = gdk_drawable_get_display(capture->keyboard);
  if (KeyboardHolder(display) == capture->keyboard) gdk_display_keyboard_ungrab(display, GDK_CURRENT_TIME);
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

// Stops listening. Runs once, from whichever event comes first; the outcome
// is returned once the capture's loop has.
void Finish(Capture* capture, End end, int held = NO_BUTTON_HELD) {
  if (capture->ended) return;
  capture->ended = true;
  capture->outcome = {end, held};
  if (capture->pollSource != 0) g_source_remove(capture->pollSource);
  capture->pollSource = 0;
  g_signal_handlers_disconnect_by_data(capture->button, capture);
  gtk_grab_remove(capture->button);
  ReleaseKeyboard(capture);
  capture->quitSource = gdk_threads_add_idle_full(G_PRIORITY_HIGH, QuitCaptureLevel, capture, nullptr);
}

gboolean Poll(gpointer data) {
  HostCall call;
  auto* capture = static_cast<Capture*>(data);
  if (capture->shown && !OnScreen(capture->button)) {
    Finish(capture, End::Closed);
    return FALSE;
  }
  TakeKeyboard(capture);
  const int held = PollLowestHeldButton();
  if (held >= 0) {
    Finish(capture, End::Pressed, held);
  } else if (held == NO_JOYSTICK_TO_READ) {
    Finish(capture, End::NoJoystick);
  } else if (Clock::now() >= capture->deadline) {
    Finish(capture, End::Cancelled);
  }
  return !capture->ended;
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
  if (key == GDK_KEY_Escape) Finish(static_cast<Capture*>(data), End::Cancelled);
  if (key == GDK_KEY_Delete || key == GDK_KEY_KP_Delete || key == GDK_KEY_BackSpace) {
    Finish(static_cast<Capture*>(data), End::Cleared);
  }
  return TRUE;
}

void on_btn_gone(GtkWidget*, gpointer data) {
  HostCall call;
  Finish(static_cast<Capture*>(data), End::Closed);
}

void on_btn_clicked_again(GtkButton*, gpointer data) {
  HostCall call;
  Finish(static_cast<Capture*>(data), End::Cancelled);
}

}  // namespace

CaptureOutcome ListenForPress(GtkWidget* button) {
  Capture capture{};
  capture.button = button;
  capture.level = gtk_main_level() + 1;
  capture.deadline = Clock::now() + captureTimeLimit;
  capture.shown = OnScreen(button);
  gtk_grab_add(button);
  TakeKeyboard(&capture);
  g_signal_connect(button, "key-press-event", G_CALLBACK(on_btn_key_press_event), &capture);
  g_signal_connect(button, "clicked", G_CALLBACK(on_btn_clicked_again), &capture);
  g_signal_connect(button, "unmap", G_CALLBACK(on_btn_gone), &capture);
  g_signal_connect(button, "destroy", G_CALLBACK(on_btn_gone), &capture);
  capture.pollSource = gdk_threads_add_idle_full(G_PRIORITY_DEFAULT_IDLE, StartPolling, &capture, nullptr);

  // A level of gtk_main of its own, as a modal loop: the host's gtk_main_quit
  // ends the innermost level, so a quit meant for the host ends this one
  // first. The capture then ends as cancelled and passes the quit on. Like
  // gtk_dialog_run, gtk_main lets go of GDK's lock while it waits.
  gtk_main();
  // Ended before the capture's own quit came: the quit was the host's.
  const bool hostQuit = !capture.ended || capture.quitSource != 0;
  Finish(&capture, End::Cancelled);
  if (capture.quitSource != 0) g_source_remove(capture.quitSource);
  if (hostQuit && gtk_main_level() > 0) gtk_main_quit();
  return capture.outcome;
}
