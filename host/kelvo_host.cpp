// kelvo-host: stands where the real host program would, so that the plug-in
// can be tried and tested as a whole. It loads libKelvo.so with dlopen and
// resolves the five entry points, shows the plug-in's identity, switches it
// on, and polls the pad word at 60 Hz on a thread of its own (as a real host
// polls from its emulation thread). Its window shows the pad word live; its
// "Properties" dialog hands a notebook to the plug-in, which appends its page.
//
// Without a joystick (or with --virtual) it makes a virtual one that SDL reads
// and starts kelvo-vjoy, the on-screen gamepad that drives it, as a separate
// process: the gamepad keeps working while a capture on the plug-in's page
// blocks this program's main loop.
//
// Standard output gets a line for each event, flushed: the identity, the
// joystick, the gamepad's process, and "pad 0x3FFFF held: ..." for each change
// of the pad word. With --commands, standard input is read as commands, one a
// line (see kUsage); end of input quits.
#include <dlfcn.h>
#include <fcntl.h>
#include <gdk/gdkx.h>
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <limits.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "host/pad_names.h"
#include "virtual_joystick/virtual_joystick.h"

namespace {

const char kUsage[] =
    "usage: kelvo-host [--library PATH] [--seconds N] [--virtual | --no-virtual]\n"
    "                  [--vjoy PATH] [--commands]\n"
    "\n"
    "  --library PATH  the plug-in to load (default: ../lib/libKelvo.so or ../libKelvo.so\n"
    "                  beside this program, then libKelvo.so through the loader)\n"
    "  --seconds N     quit after N seconds\n"
    "  --virtual       always use the virtual gamepad; --no-virtual never\n"
    "                  (default: only when SDL finds no joystick)\n"
    "  --vjoy PATH     the gamepad program (default: kelvo-vjoy beside this program)\n"
    "  --commands      read commands from standard input, one a line:\n"
    "      vjoy COMMAND      passed to the gamepad (press N, release N, hat up|down|left|\n"
    "                        right|centre, axis N VALUE, close, shot FILE)\n"
    "      gamepad           starts the gamepad again after it was closed\n"
    "      properties        opens the properties dialog\n"
    "      click NAME        clicks the button with that widget name on it (btn1..btn8)\n"
    "      choose INDEX      chooses an item of the combo box on it\n"
    "      dialogs           reads and dismisses the message boxes shown\n"
    "      shot host|properties|screen FILE   saves a PNG\n"
    "      sleep SECONDS     waits before reading the next command\n"
    "      quit\n";

// The records as the host lays them out: 32-bit words, pointers at their
// natural alignment.
struct GetInfoRecord {
  uint32_t reserved0;
  int32_t type;
  uint32_t reserved8;
  char* name;
  uint32_t reserved16;
  uint8_t guid[16];
};
struct SetInfoRecord {
  uint32_t reserved[2];
  uint32_t stateMask;
  uint32_t state;
};
struct PropertyRecord {
  GtkNotebook* notebook;
};

using GetInfoFn = int32_t (*)(GetInfoRecord*);
using SetInfoFn = int32_t (*)(SetInfoRecord*);
using RunFn = int32_t (*)(unsigned long*);
using SetPropertyFn = int32_t (*)(PropertyRecord*);
using DeleteFn = int32_t (*)();

constexpr JoystickShape kGamepadShape{12, 2, 1};

// Every line of output goes through here: several threads write.
std::mutex sayLock;
void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Say(const char* format, ...) {
  std::lock_guard<std::mutex> hold(sayLock);
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::string ExecutableDir() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (n <= 0) return ".";
  path[n] = '\0';
  std::string self = path;
  const size_t slash = self.rfind('/');
  return slash == std::string::npos ? "." : self.substr(0, slash);
}

struct Plugin {
  void* handle = nullptr;
  std::string path;
  GetInfoFn getInfo = nullptr;
  SetInfoFn setInfo = nullptr;
  RunFn run = nullptr;
  SetPropertyFn setProperty = nullptr;
  DeleteFn drop = nullptr;
};

// --library when given; else beside this program (installed: the install's
// library directory or ../lib; built: ../), then the loader's own search for
// the soname.
bool LoadPlugin(const std::string& requested, Plugin* plugin) {
  std::string candidates[4];
  int count = 0;
  if (!requested.empty()) {
    candidates[count++] = requested;
  } else {
    const std::string dir = ExecutableDir();
#ifdef KELVO_INSTALL_LIBDIR
    // The install's library directory (lib/x86_64-linux-gnu under /usr).
    if (std::strcmp(KELVO_INSTALL_LIBDIR, "lib") != 0 && KELVO_INSTALL_LIBDIR[0] != '/')
      candidates[count++] = dir + "/../" KELVO_INSTALL_LIBDIR "/libKelvo.so";
#endif
    candidates[count++] = dir + "/../lib/libKelvo.so";
    candidates[count++] = dir + "/../libKelvo.so";
    candidates[count++] = "libKelvo.so";
  }
  std::string errors;
  for (int i = 0; i < count; ++i) {
    const std::string& candidate = candidates[i];
    if (candidate.find('/') != std::string::npos && access(candidate.c_str(), F_OK) != 0 && requested.empty())
      continue;
    plugin->handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (plugin->handle != nullptr) {
      char* resolved = realpath(candidate.c_str(), nullptr);
      plugin->path = resolved ? resolved : candidate;
      std::free(resolved);
      break;
    }
    errors += std::string("\n  ") + dlerror();
  }
  if (plugin->handle == nullptr) {
    std::fprintf(stderr, "kelvo-host: cannot load the plug-in:%s\n", errors.c_str());
    return false;
  }
  plugin->getInfo = reinterpret_cast<GetInfoFn>(dlsym(plugin->handle, "GetInfoFunc"));
  plugin->setInfo = reinterpret_cast<SetInfoFn>(dlsym(plugin->handle, "SetInfoFunc"));
  plugin->run = reinterpret_cast<RunFn>(dlsym(plugin->handle, "RunFunc"));
  plugin->setProperty = reinterpret_cast<SetPropertyFn>(dlsym(plugin->handle, "SetPropertyFunc"));
  plugin->drop = reinterpret_cast<DeleteFn>(dlsym(plugin->handle, "DeleteFunc"));
  if (!plugin->getInfo || !plugin->setInfo || !plugin->run || !plugin->setProperty || !plugin->drop) {
    std::fprintf(stderr, "kelvo-host: %s lacks an entry point\n", plugin->path.c_str());
    return false;
  }
  return true;
}

struct Host {
  Plugin plugin;

  // The virtual joystick, when there is one, and its gamepad process.
  std::unique_ptr<VirtualJoystick> stick;
  std::string vjoyProgram;
  std::mutex gamepadLock;  // guards gamepadPid and gamepadInput
  pid_t gamepadPid = -1;
  int gamepadInput = -1;
  std::thread gamepadReaper;

  // Polling.
  std::thread poller;
  std::atomic<bool> stopping{false};
  std::atomic<unsigned long> shownWord{~0ul};

  // Widgets.
  GtkWidget* window = nullptr;
  GtkWidget* wordLabel = nullptr;
  GtkWidget* indicators[12] = {};
  GtkWidget* joystickLabel = nullptr;
  GtkWidget* gamepadButton = nullptr;
  GtkWidget* properties = nullptr;  // the latest properties dialog
  std::string joystickText;
};

Host host;

// ---- The pad word on screen ----------------------------------------------

gboolean ShowPadWord(gpointer) {
  if (host.window == nullptr) return FALSE;
  const unsigned long word = host.shownWord.load();
  char text[64];
  std::snprintf(text, sizeof(text), "<span font_family=\"monospace\" size=\"x-large\">0x%05lX</span>",
                word & 0x3FFFFul);
  gtk_label_set_markup(GTK_LABEL(host.wordLabel), text);
  static const GdkColor kLit = {0, 0x3000, 0xC000, 0x3000};
  for (int i = 0; i < 12; ++i) {
    const bool held = (word & kPadBits[i].bit) == 0;
    gtk_widget_modify_bg(host.indicators[i], GTK_STATE_NORMAL, held ? &kLit : nullptr);
  }
  return FALSE;
}

void PollLoop() {
  constexpr long kPeriod = 1000000000L / 60;
  unsigned long word = ~0ul;  // every key and direction released
  unsigned long last = word;
  timespec next;
  clock_gettime(CLOCK_MONOTONIC, &next);
  while (!host.stopping.load()) {
    host.plugin.run(&word);
    if (word != last) {
      last = word;
      // The window is told first: whoever acts on the printed line finds
      // the window's update already queued ahead of what it asks next.
      host.shownWord.store(word);
      g_idle_add(ShowPadWord, nullptr);
      Say("pad %s", DescribePadWord(word).c_str());
    }
    next.tv_nsec += kPeriod;
    if (next.tv_nsec >= 1000000000L) {
      next.tv_nsec -= 1000000000L;
      ++next.tv_sec;
    }
    // After a stall (a slow machine, a debugger) go on from now rather than
    // polling in a burst to catch up.
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (now.tv_sec > next.tv_sec + 1) next = now;
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
  }
}

// ---- The gamepad process --------------------------------------------------

gboolean ShowGamepadState(gpointer) {
  if (host.gamepadButton == nullptr) return FALSE;
  std::lock_guard<std::mutex> hold(host.gamepadLock);
  gtk_widget_set_sensitive(host.gamepadButton, host.gamepadPid < 0);
  return FALSE;
}

// Waits for the gamepad to end, however it ends (its window closed, killed),
// then lets go of everything on the joystick: a button the gamepad held when
// it died must not stay held. Runs on a thread of its own, so that this works
// while the main loop is blocked too.
void ReapGamepad(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (host.stick) host.stick->Reset();
  {
    std::lock_guard<std::mutex> hold(host.gamepadLock);
    host.gamepadPid = -1;
    if (host.gamepadInput >= 0) close(host.gamepadInput);
    host.gamepadInput = -1;
  }
  if (WIFSIGNALED(status))
    Say("gamepad: ended by signal %d; joystick released", WTERMSIG(status));
  else
    Say("gamepad: closed; joystick released");
  g_idle_add(ShowGamepadState, nullptr);
}

void StartGamepad() {
  if (!host.stick) return;
  {
    std::lock_guard<std::mutex> hold(host.gamepadLock);
    if (host.gamepadPid >= 0) return;
  }
  if (host.gamepadReaper.joinable()) host.gamepadReaper.join();

  // Beside the host's window, which is at the top left.
  int width = 0;
  if (host.window != nullptr) {
    GtkRequisition size;
    gtk_widget_size_request(host.window, &size);
    width = size.width;
  }
  const std::string at = std::to_string(width + 8) + ",0";
  const std::string buttons = std::to_string(kGamepadShape.buttons);
  const std::string axes = std::to_string(kGamepadShape.axes);
  const std::string hats = std::to_string(kGamepadShape.hats);
  const char* argv[] = {host.vjoyProgram.c_str(),
                        "--device",
                        host.stick->path().c_str(),
                        "--buttons",
                        buttons.c_str(),
                        "--axes",
                        axes.c_str(),
                        "--hats",
                        hats.c_str(),
                        "--at",
                        at.c_str(),
                        "--commands",
                        nullptr};
  GPid pid = 0;
  gint input = -1;
  GError* error = nullptr;
  const GSpawnFlags flags =
      static_cast<GSpawnFlags>(G_SPAWN_DO_NOT_REAP_CHILD |
                               (host.vjoyProgram.find('/') == std::string::npos ? G_SPAWN_SEARCH_PATH : 0));
  if (!g_spawn_async_with_pipes(nullptr, const_cast<gchar**>(argv), nullptr, flags, nullptr, nullptr, &pid,
                                &input, nullptr, nullptr, &error)) {
    Say("gamepad: cannot start %s: %s", host.vjoyProgram.c_str(), error ? error->message : "?");
    if (error) g_error_free(error);
    return;
  }
  fcntl(input, F_SETFD, FD_CLOEXEC);
  {
    std::lock_guard<std::mutex> hold(host.gamepadLock);
    host.gamepadPid = pid;
    host.gamepadInput = input;
  }
  Say("gamepad: pid %d", static_cast<int>(pid));
  host.gamepadReaper = std::thread(ReapGamepad, static_cast<pid_t>(pid));
  ShowGamepadState(nullptr);
}

void StopGamepad() {
  {
    std::lock_guard<std::mutex> hold(host.gamepadLock);
    if (host.gamepadPid >= 0) kill(host.gamepadPid, SIGTERM);
  }
  if (host.gamepadReaper.joinable()) host.gamepadReaper.join();
}

// Passes one command line to the gamepad. Called from the command thread,
// never through the main loop, so it works during a capture too.
void TellGamepad(const std::string& line) {
  std::lock_guard<std::mutex> hold(host.gamepadLock);
  if (host.gamepadInput < 0) {
    Say("gamepad: not running");
    return;
  }
  const std::string text = line + "\n";
  if (write(host.gamepadInput, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    Say("gamepad: does not listen");
}

// ---- The properties dialog ------------------------------------------------

void OpenProperties() {
  GtkWidget* dialog =
      gtk_dialog_new_with_buttons("Properties", GTK_WINDOW(host.window), GTK_DIALOG_DESTROY_WITH_PARENT,
                                  GTK_STOCK_CLOSE, GTK_RESPONSE_CLOSE, nullptr);
  g_signal_connect(dialog, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
  GtkWidget* notebook = gtk_notebook_new();
  gtk_box_pack_start(GTK_BOX(GTK_DIALOG(dialog)->vbox), notebook, TRUE, TRUE, 0);
  gtk_widget_show(notebook);

  PropertyRecord record{GTK_NOTEBOOK(notebook)};
  host.plugin.setProperty(&record);
  const int pages = gtk_notebook_get_n_pages(GTK_NOTEBOOK(notebook));
  if (pages > 0) gtk_notebook_set_current_page(GTK_NOTEBOOK(notebook), pages - 1);

  // Below the host's window.
  GtkRequisition size;
  gtk_widget_size_request(host.window, &size);
  gtk_window_move(GTK_WINDOW(dialog), 0, size.height + 8);
  gtk_widget_show(dialog);

  if (host.properties != nullptr)
    g_object_remove_weak_pointer(G_OBJECT(host.properties), reinterpret_cast<gpointer*>(&host.properties));
  host.properties = dialog;
  g_object_add_weak_pointer(G_OBJECT(dialog), reinterpret_cast<gpointer*>(&host.properties));
  Say("properties: %d page%s", pages, pages == 1 ? "" : "s");
}

// The first widget, depth first from widget itself, that matches.
template <typename Match>
GtkWidget* FindWidget(GtkWidget* widget, const Match& matches) {
  if (matches(widget)) return widget;
  if (!GTK_IS_CONTAINER(widget)) return nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  GtkWidget* found = nullptr;
  for (GList* c = children; c != nullptr && found == nullptr; c = c->next)
    found = FindWidget(GTK_WIDGET(c->data), matches);
  g_list_free(children);
  return found;
}

GtkWidget* FindNamed(GtkWidget* widget, const char* name) {
  return FindWidget(widget, [name](GtkWidget* w) { return std::strcmp(gtk_widget_get_name(w), name) == 0; });
}

GtkWidget* FindFirst(GtkWidget* widget, GType type) {
  return FindWidget(widget, [type](GtkWidget* w) { return G_TYPE_CHECK_INSTANCE_TYPE(w, type) != 0; });
}

void Click(const std::string& name) {
  GtkWidget* widget = host.properties ? FindNamed(host.properties, name.c_str()) : nullptr;
  if (widget == nullptr || !GTK_IS_BUTTON(widget)) {
    Say("click: no button %s", name.c_str());
    return;
  }
  Say("clicking %s", name.c_str());
  // The plug-in's handler may keep the main loop until it is done (a capture
  // waits for a joystick button).
  gtk_button_clicked(GTK_BUTTON(widget));
  const char* label = gtk_button_get_label(GTK_BUTTON(widget));
  Say("clicked %s: %s", name.c_str(), label ? label : "");
}

void Choose(int index) {
  GtkWidget* combo = host.properties ? FindFirst(host.properties, GTK_TYPE_COMBO_BOX) : nullptr;
  if (combo == nullptr) {
    Say("choose: no combo box");
    return;
  }
  gtk_combo_box_set_active(GTK_COMBO_BOX(combo), index);
  gchar* text = gtk_combo_box_get_active_text(GTK_COMBO_BOX(combo));
  Say("chose %d: %s", index, text ? text : "");
  g_free(text);
}

void DismissMessageBoxes() {
  GList* windows = gtk_window_list_toplevels();
  int count = 0;
  for (GList* w = windows; w != nullptr; w = w->next) {
    if (!GTK_IS_MESSAGE_DIALOG(w->data) || !gtk_widget_get_visible(GTK_WIDGET(w->data))) continue;
    gchar* text = nullptr;
    g_object_get(w->data, "text", &text, nullptr);
    Say("message: %s", text ? text : "");
    g_free(text);
    gtk_dialog_response(GTK_DIALOG(w->data), GTK_RESPONSE_OK);
    ++count;
  }
  g_list_free(windows);
  if (count == 0) Say("message: none");
}

// ---- Screenshots ----------------------------------------------------------

bool SavePixbuf(GdkDrawable* drawable, int x, int y, int width, int height, const std::string& file) {
  GdkPixbuf* pixbuf = gdk_pixbuf_get_from_drawable(nullptr, drawable, gdk_drawable_get_colormap(drawable), x,
                                                   y, 0, 0, width, height);
  if (pixbuf == nullptr) return false;
  const bool saved = gdk_pixbuf_save(pixbuf, file.c_str(), "png", nullptr, nullptr);
  g_object_unref(pixbuf);
  return saved;
}

// Drawn afresh into a pixmap of its own, so the picture does not depend on
// whether the server has shown the window yet, or on what covers it.
bool SaveWindow(GtkWidget* window, const std::string& file) {
  if (window == nullptr || !gtk_widget_get_realized(window)) return false;
  GdkPixmap* pixmap = gtk_widget_get_snapshot(window, nullptr);
  if (pixmap == nullptr) return false;
  int width = 0, height = 0;
  gdk_drawable_get_size(pixmap, &width, &height);
  const bool saved = SavePixbuf(pixmap, 0, 0, width, height, file);
  g_object_unref(pixmap);
  return saved;
}

// The part of the screen that the mapped top-level windows cover: on a bare
// X server (Xvfb) those are the host's, its dialog's and the gamepad's.
bool SaveScreen(const std::string& file) {
  Display* display = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
  const Window rootWindow = DefaultRootWindow(display);
  Window root, parent, *children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, rootWindow, &root, &parent, &children, &count)) return false;
  int right = 0, bottom = 0;
  // Another client's window may go away between the listing and the query;
  // the X error that causes must not end the host.
  gdk_error_trap_push();
  for (unsigned int i = 0; i < count; ++i) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, children[i], &attributes)) continue;
    if (attributes.map_state != IsViewable || attributes.c_class != InputOutput) continue;
    right = std::max(right, attributes.x + attributes.width + 2 * attributes.border_width);
    bottom = std::max(bottom, attributes.y + attributes.height + 2 * attributes.border_width);
  }
  gdk_error_trap_pop();
  if (children) XFree(children);
  GdkWindow* screen = gdk_get_default_root_window();
  int width = 0, height = 0;
  gdk_drawable_get_size(screen, &width, &height);
  if (right <= 0 || bottom <= 0) return false;
  return SavePixbuf(screen, 0, 0, std::min(right, width), std::min(bottom, height), file);
}

void Shot(const std::string& what, const std::string& file) {
  gdk_window_process_all_updates();
  gdk_flush();
  bool saved = false;
  if (what == "host")
    saved = SaveWindow(host.window, file);
  else if (what == "properties")
    saved = SaveWindow(host.properties, file);
  else if (what == "screen")
    saved = SaveScreen(file);
  Say("shot %s %s: %s", what.c_str(), file.c_str(), saved ? "saved" : "failed");
}

// ---- Commands ---------------------------------------------------------------

gboolean Quit(gpointer) {
  if (gtk_main_level() > 0) gtk_main_quit();
  return FALSE;
}

void RunCommand(const std::string* line) {
  char word[32] = {}, argument[PATH_MAX] = {}, file[PATH_MAX] = {};
  int number = 0;
  if (std::sscanf(line->c_str(), "%31s", word) != 1) return;
  const std::string command = word;
  if (command == "properties") {
    OpenProperties();
  } else if (command == "click" && std::sscanf(line->c_str(), "%*s %4095s", argument) == 1) {
    Click(argument);
  } else if (command == "choose" && std::sscanf(line->c_str(), "%*s %d", &number) == 1) {
    Choose(number);
  } else if (command == "dialogs") {
    DismissMessageBoxes();
  } else if (command == "gamepad") {
    if (host.stick)
      StartGamepad();
    else
      Say("gamepad: there is no virtual joystick");
  } else if (command == "shot" && std::sscanf(line->c_str(), "%*s %4095s %4095s", argument, file) == 2) {
    Shot(argument, file);
  } else if (command == "quit") {
    Quit(nullptr);
  } else {
    Say("unknown command: %s", line->c_str());
  }
}

// Commands for the main loop, in the order read.
std::mutex commandLock;
std::deque<std::string> commandQueue;

gboolean RunQueuedCommand(gpointer) {
  std::string line;
  {
    std::lock_guard<std::mutex> hold(commandLock);
    if (commandQueue.empty()) return FALSE;
    line = std::move(commandQueue.front());
    commandQueue.pop_front();
  }
  RunCommand(&line);
  return FALSE;
}

// Reads commands from standard input on a thread of its own. Commands for the
// gamepad and pauses are carried out here; the rest go to the main loop.
void ReadCommands() {
  char buffer[8192];
  while (std::fgets(buffer, sizeof(buffer), stdin) != nullptr) {
    std::string line = buffer;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.compare(0, 5, "vjoy ") == 0) {
      TellGamepad(line.substr(5));
    } else if (line.compare(0, 6, "sleep ") == 0) {
      g_usleep(static_cast<gulong>(std::atof(line.c_str() + 6) * 1e6));
    } else if (!line.empty()) {
      {
        std::lock_guard<std::mutex> hold(commandLock);
        commandQueue.push_back(line);
      }
      g_idle_add(RunQueuedCommand, nullptr);
    }
  }
  g_idle_add(Quit, nullptr);
}

// ---- The window -------------------------------------------------------------

void on_properties_clicked(GtkButton*, gpointer) { OpenProperties(); }
void on_gamepad_clicked(GtkButton*, gpointer) { StartGamepad(); }
void on_quit_clicked(GtkButton*, gpointer) { Quit(nullptr); }
gboolean on_window_delete(GtkWidget*, GdkEvent*, gpointer) {
  Quit(nullptr);
  return TRUE;
}

GtkWidget* InfoRow(GtkWidget* table, int row, const char* title, const std::string& value) {
  GtkWidget* key = gtk_label_new(title);
  gtk_misc_set_alignment(GTK_MISC(key), 0, 0.5);
  GtkWidget* text = gtk_label_new(value.c_str());
  gtk_misc_set_alignment(GTK_MISC(text), 0, 0.5);
  const guint r = static_cast<guint>(row);
  gtk_table_attach(GTK_TABLE(table), key, 0, 1, r, r + 1, GTK_FILL, GTK_FILL, 0, 0);
  gtk_table_attach(GTK_TABLE(table), text, 1, 2, r, r + 1, GTK_FILL, GTK_FILL, 0, 0);
  return text;
}

void BuildWindow(const std::string& name, int type, const std::string& guidHex) {
  host.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(host.window), "Kelvo host");
  gtk_container_set_border_width(GTK_CONTAINER(host.window), 8);
  g_signal_connect(host.window, "delete-event", G_CALLBACK(on_window_delete), nullptr);
  GtkWidget* box = gtk_vbox_new(FALSE, 8);
  gtk_container_add(GTK_CONTAINER(host.window), box);

  GtkWidget* info = gtk_table_new(5, 2, FALSE);
  gtk_table_set_col_spacings(GTK_TABLE(info), 8);
  InfoRow(info, 0, "Plug-in:", name);
  InfoRow(info, 1, "Type:", std::to_string(type));
  InfoRow(info, 2, "Identifier:", guidHex);
  InfoRow(info, 3, "Library:", host.plugin.path);
  host.joystickLabel = InfoRow(info, 4, "Joystick:", host.joystickText);
  gtk_box_pack_start(GTK_BOX(box), info, FALSE, FALSE, 0);

  GtkWidget* padFrame = gtk_frame_new("Pad word (active low)");
  GtkWidget* padBox = gtk_vbox_new(FALSE, 6);
  gtk_container_set_border_width(GTK_CONTAINER(padBox), 6);
  gtk_container_add(GTK_CONTAINER(padFrame), padBox);
  host.wordLabel = gtk_label_new("");
  gtk_box_pack_start(GTK_BOX(padBox), host.wordLabel, FALSE, FALSE, 0);
  GtkWidget* lights = gtk_table_new(2, 6, TRUE);
  gtk_table_set_row_spacings(GTK_TABLE(lights), 3);
  gtk_table_set_col_spacings(GTK_TABLE(lights), 3);
  for (int i = 0; i < 12; ++i) {
    // An event box has a window of its own, so its background can be lit.
    GtkWidget* light = gtk_event_box_new();
    GtkWidget* label = gtk_label_new(kPadBits[i].name);
    gtk_widget_set_size_request(label, 56, 24);
    gtk_container_add(GTK_CONTAINER(light), label);
    GtkWidget* edge = gtk_frame_new(nullptr);
    gtk_frame_set_shadow_type(GTK_FRAME(edge), GTK_SHADOW_IN);
    gtk_container_add(GTK_CONTAINER(edge), light);
    const guint col = static_cast<guint>(i % 6), row = static_cast<guint>(i / 6);
    gtk_table_attach_defaults(GTK_TABLE(lights), edge, col, col + 1, row, row + 1);
    host.indicators[i] = light;
  }
  gtk_box_pack_start(GTK_BOX(padBox), lights, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), padFrame, FALSE, FALSE, 0);

  GtkWidget* buttons = gtk_hbutton_box_new();
  gtk_button_box_set_layout(GTK_BUTTON_BOX(buttons), GTK_BUTTONBOX_END);
  gtk_box_set_spacing(GTK_BOX(buttons), 6);
  GtkWidget* properties = gtk_button_new_with_label("Properties");
  g_signal_connect(properties, "clicked", G_CALLBACK(on_properties_clicked), nullptr);
  host.gamepadButton = gtk_button_new_with_label("Gamepad");
  g_signal_connect(host.gamepadButton, "clicked", G_CALLBACK(on_gamepad_clicked), nullptr);
  GtkWidget* quit = gtk_button_new_from_stock(GTK_STOCK_QUIT);
  g_signal_connect(quit, "clicked", G_CALLBACK(on_quit_clicked), nullptr);
  gtk_container_add(GTK_CONTAINER(buttons), properties);
  if (host.stick) gtk_container_add(GTK_CONTAINER(buttons), host.gamepadButton);
  gtk_container_add(GTK_CONTAINER(buttons), quit);
  gtk_box_pack_start(GTK_BOX(box), buttons, FALSE, FALSE, 0);

  gtk_window_move(GTK_WINDOW(host.window), 0, 0);
  gtk_widget_show_all(host.window);
  ShowPadWord(nullptr);
}

// Whether SDL lists any joystick now. Starts and stops SDL's joystick
// subsystem, so that the plug-in's start lists the devices afresh.
bool JoystickAttached() {
  if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return false;
  const bool any = SDL_NumJoysticks() > 0;
  SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
  return any;
}

gboolean QuitAfterSeconds(gpointer) {
  Say("time is up");
  return Quit(nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = -1;
  std::string library, vjoy;
  enum { kAuto, kVirtual, kNoVirtual } virtualMode = kAuto;
  bool commands = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--seconds" && hasValue) {
      seconds = std::atof(argv[++i]);
    } else if (arg == "--library" && hasValue) {
      library = argv[++i];
    } else if (arg == "--vjoy" && hasValue) {
      vjoy = argv[++i];
    } else if (arg == "--virtual") {
      virtualMode = kVirtual;
    } else if (arg == "--no-virtual") {
      virtualMode = kNoVirtual;
    } else if (arg == "--commands") {
      commands = true;
    } else {
      std::fputs(kUsage, arg == "--help" ? stdout : stderr);
      return arg == "--help" ? 0 : 2;
    }
  }
  // Before SDL starts: writing to a gamepad that died must not end the host,
  // and an interrupt or a termination quits the way the Quit button does.
  signal(SIGPIPE, SIG_IGN);
  g_unix_signal_add(SIGINT, Quit, nullptr);
  g_unix_signal_add(SIGTERM, Quit, nullptr);
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "kelvo-host: cannot open the display\n");
    return 1;
  }
  if (!LoadPlugin(library, &host.plugin)) return 1;
  host.vjoyProgram = vjoy.empty() ? ExecutableDir() + "/kelvo-vjoy" : vjoy;
  if (vjoy.empty() && access(host.vjoyProgram.c_str(), X_OK) != 0) host.vjoyProgram = "kelvo-vjoy";

  char name[64] = {};
  GetInfoRecord info{};
  info.name = name;
  host.plugin.getInfo(&info);
  std::string guidHex, guidSpaced;
  for (uint8_t byte : info.guid) {
    char hex[4];
    std::snprintf(hex, sizeof(hex), "%02X", byte);
    guidHex += hex;
    guidSpaced += std::string(" ") + hex;
  }
  Say("plugin: %s\ntype: %d\nid:%s\nlibrary: %s", name, info.type, guidSpaced.c_str(),
      host.plugin.path.c_str());

  // The virtual joystick must exist before the plug-in starts SDL's joystick
  // subsystem, which lists the devices once.
  const bool useVirtual = virtualMode == kVirtual || (virtualMode == kAuto && !JoystickAttached());
  if (useVirtual) {
    char pattern[] = "/tmp/kelvo-host-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (dir != nullptr)
      host.stick = std::make_unique<VirtualJoystick>(std::string(dir) + "/js0", kGamepadShape);
    if (!host.stick || !host.stick->ok()) {
      Say("joystick: cannot make the virtual joystick");
      host.stick.reset();
    }
  }

  // Commands are read from now on, so that a message box shown while the
  // plug-in switches on can be answered too.
  if (commands) std::thread(ReadCommands).detach();

  SetInfoRecord on{};
  on.stateMask = 1;
  on.state = 1;
  host.plugin.setInfo(&on);

  // The plug-in has started SDL; the name is what SDL reports for joystick 0
  // (for the virtual one, its FIFO's path). Asked before polling starts, so
  // that the host never calls SDL while the plug-in does.
  if (SDL_WasInit(SDL_INIT_JOYSTICK) && SDL_NumJoysticks() > 0) {
    const char* reported = SDL_JoystickName(0);
    host.joystickText = reported ? reported : "(no name)";
    if (host.stick) host.joystickText += " (virtual gamepad)";
  } else {
    host.joystickText = "none";
  }
  Say("joystick: %s", host.joystickText.c_str());

  BuildWindow(name, info.type, guidHex);
  if (host.stick) StartGamepad();

  Say("pad %s", DescribePadWord(~0ul).c_str());
  host.poller = std::thread(PollLoop);
  if (seconds >= 0) g_timeout_add(static_cast<guint>(seconds * 1000), QuitAfterSeconds, nullptr);

  gtk_main();

  host.stopping.store(true);
  host.poller.join();
  StopGamepad();
  const int32_t dropped = host.plugin.drop();
  Say("plugin dropped: %d", dropped);
  if (host.stick) {
    const std::string fifo = host.stick->path();
    host.stick.reset();
    rmdir(fifo.substr(0, fifo.rfind('/')).c_str());
  }
  gtk_widget_destroy(host.window);
  host.window = nullptr;
  return 0;
}
