#include "tests/ui/gtk_events.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <utility>

#include "tests/support/plugin_fixture.h"

When::When(std::function<bool()> condition, std::function<void()> action)
    : condition_(std::move(condition)), action_(std::move(action)) {
  source_ = g_timeout_add(5, &When::Tick, this);
}

When::~When() {
  if (source_ != 0) g_source_remove(source_);
}

gboolean When::Tick(gpointer self) {
  auto* when = static_cast<When*>(self);
  if (!when->condition_()) return TRUE;
  when->source_ = 0;
  when->action_();
  return FALSE;
}

bool RunUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  return WaitUntil(
      [&] {
        if (condition()) return true;
        while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
        return false;
      },
      limit);
}

void ClickForReal(GtkWidget* widget) { gtk_test_widget_click(widget, 1, GdkModifierType(0)); }

bool PressKey(GtkWidget* widget, guint keyval) {
  GdkWindow* window = gtk_widget_get_window(gtk_widget_get_toplevel(widget));
  return window != nullptr &&
         gdk_test_simulate_key(window, -1, -1, keyval, GdkModifierType(0), GDK_KEY_PRESS) &&
         gdk_test_simulate_key(window, -1, -1, keyval, GdkModifierType(0), GDK_KEY_RELEASE);
}

std::string FileState(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return "missing";
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return std::to_string(st.st_ino) + "\n" + text.str();
}
