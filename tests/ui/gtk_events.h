// Driving GTK the way a person does, for tests of the settings page: real
// clicks and key presses through the X server, and actions taken from the
// main loop while a handler (a capture) runs a loop of its own.
#ifndef KELVO_TESTS_UI_GTK_EVENTS_H
#define KELVO_TESTS_UI_GTK_EVENTS_H

#include <gtk/gtk.h>

#include <chrono>
#include <functional>
#include <string>

// Runs an action once, from a GTK timeout, when a condition first holds.
class When {
 public:
  When(std::function<bool()> condition, std::function<void()> action);
  ~When();
  When(const When&) = delete;
  When& operator=(const When&) = delete;
  bool done() const { return source_ == 0; }

 private:
  static gboolean Tick(gpointer self);
  std::function<bool()> condition_;
  std::function<void()> action_;
  guint source_ = 0;
};

// Runs the main loop until the condition holds; false if the time ran out.
bool RunUntil(const std::function<bool()>& condition,
              std::chrono::milliseconds limit = std::chrono::milliseconds(15000));

// A pointer click (button 1) on the widget, through the X server.
void ClickForReal(GtkWidget* widget);
// A key pressed and released in the window that holds the widget.
bool PressKey(GtkWidget* widget, guint keyval);

// The file's inode and contents: a save replaces the file, so even one that
// writes the same text shows.
std::string FileState(const std::string& path);

#endif
