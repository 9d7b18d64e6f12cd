// The host's side of the settings page: a shown window holding the
// properties notebook that SetPropertyFunc appends to, and ways to read the
// built page back the way a person would see it.
#ifndef KELVO_TESTS_UI_SETTINGS_HOST_H
#define KELVO_TESTS_UI_SETTINGS_HOST_H

#include <gtk/gtk.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "loader/plugin_loader.h"
#include "tests/support/plugin_fixture.h"

// Key buttons' widget names, in key order A, B, Select, Start, L, R, X, Y.
extern const char* const kKeyButtonNames[8];

class PropertiesWindow {
 public:
  PropertiesWindow();
  ~PropertiesWindow();
  PropertiesWindow(const PropertiesWindow&) = delete;
  PropertiesWindow& operator=(const PropertiesWindow&) = delete;

  GtkNotebook* notebook() const { return GTK_NOTEBOOK(notebook_); }
  GtkWidget* window() const { return window_; }
  int pageCount() const { return gtk_notebook_get_n_pages(notebook()); }

  // Calls SetPropertyFunc with a record naming this notebook; returns its result.
  int32_t AddPage(const Plugin& plugin);
  GtkWidget* page(int index) const { return gtk_notebook_get_nth_page(notebook(), index); }

  // Lets GTK draw everything that is pending.
  void Settle();

 private:
  GtkWidget* window_ = nullptr;
  GtkWidget* notebook_ = nullptr;
};

// The page's children in the order they were put into it.
std::vector<GtkWidget*> Children(GtkWidget* container);
// The widget with this widget name inside container, or null.
GtkWidget* ChildNamed(GtkWidget* container, const std::string& name);
// The child of this type with this label text, or null.
GtkWidget* ButtonLabelled(GtkWidget* container, const std::string& text);
GtkWidget* FirstChildOfType(GtkWidget* container, GType type);
// A button's label or a label's text.
std::string TextOf(GtkWidget* widget);
std::vector<std::string> ComboItems(GtkWidget* combo);

struct Placement {
  int x, y, width, height;
  bool operator==(const Placement& o) const {
    return x == o.x && y == o.y && width == o.width && height == o.height;
  }
};
inline std::ostream& operator<<(std::ostream& out, const Placement& p) {
  return out << "(" << p.x << ", " << p.y << ") " << p.width << " x " << p.height;
}
Placement PlacementOf(GtkWidget* fixed, GtkWidget* child);

// Texts of the key buttons, in key order.
std::vector<std::string> KeyTexts(GtkWidget* page);

// Counts GLib/GTK warnings and criticals while it lives.
class GtkWarningCounter {
 public:
  GtkWarningCounter();
  ~GtkWarningCounter();
  int count() const { return count_; }
  const std::string& last() const { return last_; }

 private:
  static void Handler(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer self);
  std::vector<std::pair<std::string, unsigned>> handlers_;
  int count_ = 0;
  std::string last_;
};

// A plug-in test with an X display and the host's properties window shown.
class PageTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    ASSERT_NE(gdk_display_get_default(), nullptr) << "needs an X display";
    host_ = std::make_unique<PropertiesWindow>();
  }
  std::unique_ptr<PropertiesWindow> host_;
};

#endif
