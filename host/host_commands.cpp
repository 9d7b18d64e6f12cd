// The commands that run on the main loop (kelvo-host --help lists them).
#include <gtk/gtk.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "gtk_helpers/message_boxes.h"
#include "gtk_helpers/widget_search.h"
#include "gtk_helpers/window_picture.h"
#include "host/host_actions.h"
#include "host/host_window.h"
#include "host/say.h"

namespace {

using Words = std::vector<std::string>;

// The host's window and its properties dialog, where click looks.
GtkWidget* FindButton(const std::string& what) {
  GtkWidget* const roots[] = {PropertiesDialog(), HostWindow()};
  for (GtkWidget* root : roots) {
    GtkWidget* widget = FindWidgetNamed(root, what.c_str());
    if (widget != nullptr && GTK_IS_BUTTON(widget)) return widget;
  }
  GtkWidget* labelled = FindButtonLabelled(roots[0], what.c_str());
  return labelled != nullptr ? labelled : FindButtonLabelled(roots[1], what.c_str());
}

// click NAME or click LABEL: a widget name first, then a label as shown
// ("Save config", "Close"), which may hold blanks.
void Click(const Words& words) {
  std::string what = words[1];
  for (size_t i = 2; i < words.size(); ++i) what += " " + words[i];
  GtkWidget* widget = FindButton(what);
  if (widget == nullptr) {
    Say("click: no button %s", what.c_str());
    return;
  }
  Say("clicking %s", what.c_str());
  // The handler may keep the main loop until it is done (a capture waits
  // for a joystick button), and may destroy the button (the dialog's Close):
  // the reference keeps it readable until then.
  g_object_ref(widget);
  gtk_button_clicked(GTK_BUTTON(widget));
  const char* label = gtk_button_get_label(GTK_BUTTON(widget));
  Say("clicked %s: %s", what.c_str(), label ? label : "");
  g_object_unref(widget);
}

void Choose(const Words& words) {
  GtkWidget* combo = FindWidgetOfType(PropertiesDialog(), GTK_TYPE_COMBO_BOX);
  if (combo == nullptr) {
    Say("choose: no combo box");
    return;
  }
  const int index = std::atoi(words[1].c_str());
  gtk_combo_box_set_active(GTK_COMBO_BOX(combo), index);
  gchar* text = gtk_combo_box_get_active_text(GTK_COMBO_BOX(combo));
  Say("chose %d: %s", index, text ? text : "");
  g_free(text);
}

void Dialogs(const Words&) {
  std::vector<std::string> texts;
  if (AnswerMessageBoxes(&texts) == 0) Say("message: none");
  for (const std::string& text : texts) Say("message: %s", text.c_str());
}

void Shot(const Words& words) {
  const std::string& what = words[1];
  const std::string& file = words[2];
  gdk_window_process_all_updates();
  gdk_flush();
  const bool saved = what == "host"         ? SaveWindowPng(HostWindow(), file)
                     : what == "properties" ? SaveWindowPng(PropertiesDialog(), file)
                     : what == "screen"     ? SaveScreenPng(file)
                                            : false;
  Say("shot %s %s: %s", what.c_str(), file.c_str(), saved ? "saved" : "failed");
}

struct Command {
  const char* word;
  size_t arguments;  // words after the command word; more are joined for click
  bool moreWords;
  void (*run)(const Words&);
  // Acts on the host's window or its dialog. Such a command read while the
  // plug-in is still switching on (its message box runs a main loop of its
  // own) waits for the window; the others act at once, so that a script can
  // answer that box or quit.
  bool needsWindow;
};

const Command kCommands[] = {
    {"properties", 0, false, [](const Words&) { OpenProperties(); }, true},
    {"click", 1, true, Click, true},
    {"choose", 1, false, Choose, true},
    {"dialogs", 0, false, Dialogs, false},
    {"gamepad", 0, false, [](const Words&) { StartGamepad(); }, true},
    {"switch-on", 0, false, [](const Words&) { SwitchOnAgain(); }, true},
    {"shot", 2, false, Shot, true},
    {"quit", 0, false, [](const Words&) { RequestQuit(); }, false},
};

// Commands waiting for the window, in the order read.
std::vector<std::pair<const Command*, Words>> waiting;

}  // namespace

void RunHostCommand(const std::string& line) {
  Words words;
  std::istringstream in(line);
  for (std::string word; in >> word;) words.push_back(word);
  if (words.empty()) return;
  for (const Command& command : kCommands) {
    if (words[0] != command.word) continue;
    const size_t given = words.size() - 1;
    if (given < command.arguments || (given > command.arguments && !command.moreWords)) break;
    if (command.needsWindow && (HostWindow() == nullptr || !waiting.empty()))
      waiting.emplace_back(&command, words);
    else
      command.run(words);
    return;
  }
  Say("unknown command: %s", line.c_str());
}

void RunCommandsWaitingForTheWindow() {
  // A command may run a main loop of its own (a capture) in which more
  // commands arrive: each leaves the list before it runs, and those that
  // arrive meanwhile queue behind the rest.
  while (!waiting.empty() && HostWindow() != nullptr) {
    const auto next = waiting.front();
    waiting.erase(waiting.begin());
    next.first->run(next.second);
  }
}
