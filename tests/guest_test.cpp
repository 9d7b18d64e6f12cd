// The plug-in as a guest in the host's process: a thread cancelled while it
// calls in, an unload while GTK still holds the page, a file-size limit,
// the host's errno, a signal handler the host installs meanwhile, and device
// names that are not text. Each row runs in a child process of its own, with
// a bound, since today's faults hang or kill the process.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtk/gtk.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "tests/support/scratch_dir.h"
#include "tests/ui/gtk_events.h"
#include "tests/ui/settings_host.h"

namespace {

constexpr double kBound = 10;  // seconds for anything to happen on a busy machine

class GuestTest;
struct Row {
  const char* name;
  // Returns what went wrong, or "" when the row holds.
  std::string (*run)(GuestTest* test);
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

// The rows are functions, not members: the fixture's world is theirs too.
class GuestTest : public PluginTest, public testing::WithParamInterface<Row> {
 public:
  using PluginTest::AttachJoystick, PluginTest::dialogs_, PluginTest::dir_, PluginTest::plugin_,
      PluginTest::stick_;
  void Start() {
    AttachJoystick();
    ASSERT_TRUE(WriteFile("Kelvo.ini", ConfigText({1, 0, 0, 0, 0, 0, 0, 0}, 1000)));
  }
};

// Runs the GTK main loop until done says so or the bound passes.
bool PumpUntil(const std::function<bool()>& done, double seconds = kBound) {
  return RunUntil(done, std::chrono::milliseconds(static_cast<long>(seconds * 1000)));
}

pthread_t Spawn(std::function<void()> work) {
  pthread_t thread;
  auto body = +[](void* arg) -> void* {
    const std::unique_ptr<std::function<void()>> f(static_cast<std::function<void()>*>(arg));
    (*f)();
    return nullptr;
  };
  pthread_create(&thread, nullptr, body, new std::function<void()>(std::move(work)));
  return thread;
}

// False when the thread did not end within the bound.
bool JoinInTime(pthread_t thread, void** result = nullptr) {
  timespec deadline;
  clock_gettime(CLOCK_REALTIME, &deadline);
  deadline.tv_sec += static_cast<time_t>(kBound);
  void* ignored = nullptr;
  return pthread_timedjoin_np(thread, result != nullptr ? result : &ignored, &deadline) == 0;
}

std::string TabTooltip(PropertiesWindow& host) {
  GtkWidget* tab = gtk_notebook_get_tab_label(host.notebook(), host.page(0));
  gchar* text = tab != nullptr ? gtk_widget_get_tooltip_text(tab) : nullptr;
  std::string shown = text != nullptr ? text : "";
  g_free(text);
  return shown;
}

bool Loaded() {
  void* handle = dlopen(KELVO_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
}

// A call made with a cancel already pending: it must return, the thread then
// ends at its own next cancellation point, and the plug-in stays usable.
std::string CancelledCaller(GuestTest* t, bool poll) {
  t->Start();
  if (poll && t->plugin_.SwitchOn() != 1) return "switching on failed";
  std::atomic<bool> returned{false};
  void* result = nullptr;
  Plugin& plugin = t->plugin_;
  const pthread_t thread = Spawn([&] {
    pthread_cancel(pthread_self());
    if (poll) plugin.Poll(0);
    if (!poll) plugin.SwitchOn();
    returned = true;
    pthread_testcancel();
  });
  if (!JoinInTime(thread, &result)) return "the cancelled thread did not end";
  if (!returned) return "the cancel acted inside the plug-in";
  if (result != PTHREAD_CANCELED) return "the pending cancel was lost";
  t->stick_->SetButton(0, true);
  unsigned long word = ~0ul;
  if (!JoinInTime(Spawn([&] { plugin.SwitchOn(), word = plugin.Poll(~0ul); }))) return "a later call hangs";
  return (word & pad::A) == 0 ? "" : "the pad is no longer read";
}

// The host unloads the library while GTK still holds its page: shown, or
// destroyed a moment before. Nothing may run in unmapped code, the library
// goes once GTK lets go, and a new load starts as the first did.
std::string UnloadWhileGtkHolds(GuestTest* t, bool pageShown) {
  t->Start();
  auto host = std::make_unique<PropertiesWindow>();
  if (t->plugin_.SwitchOn() != 1 || host->AddPage(t->plugin_) != 0) return "no page";
  if (!PumpUntil([&] { return TabTooltip(*host).rfind("Joystick: ", 0) == 0; }))
    return "the page never ticked";
  // Kept until its own sources let it go: a new load could map the library
  // where the old one was, and a late call into it would then go unnoticed.
  GObject* page = G_OBJECT(g_object_ref(host->page(0)));
  if (!pageShown) host.reset();
  dlclose(t->plugin_.handle);
  if (pageShown) {
    t->stick_->Unplug();
    if (!PumpUntil([&] { return TabTooltip(*host) == "No joystick"; }))
      return "the page stopped after the unload";
    host.reset();
  }
  if (!PumpUntil([&] { return page->ref_count == 1; })) return "the page's sources never let it go";
  g_object_unref(page);
  if (!PumpUntil([] { return !Loaded(); })) return "the library stays loaded after its page went";
  Plugin again = LoadPlugin();
  if (!again.loaded()) return "loading again failed";
  if (pageShown) t->stick_->Plug({12, 2, 1});
  t->stick_->SetButton(0, true);
  const unsigned long word = again.Poll(~0ul);
  return word == ~0ul ? "" : "the new load reads the pad before it is switched on";
}

// Saves with RLIMIT_FSIZE below the file's size and SIGXFSZ at its default.
std::string FileSizeLimit(GuestTest* t, bool fileThere) {
  t->AttachJoystick();
  const std::string before = ConfigText({3, 0, 0, 0, 0, 0, 0, 0}, 1000);
  if (fileThere && !WriteFile("Kelvo.ini", before)) return "no file";
  signal(SIGXFSZ, SIG_DFL);
  const struct rlimit small = {16, RLIM_INFINITY};
  setrlimit(RLIMIT_FSIZE, &small);
  PropertiesWindow host;
  t->plugin_.SwitchOn();  // creates a missing file
  if (fileThere) {
    host.AddPage(t->plugin_);
    gtk_button_clicked(GTK_BUTTON(ButtonLabelled(host.page(0), "Save config")));
  }
  const struct rlimit none = {RLIM_INFINITY, RLIM_INFINITY};
  setrlimit(RLIMIT_FSIZE, &none);
  if (t->dialogs_->texts().empty() || t->dialogs_->texts().back() != "Error : could not open config file")
    return "no error box";
  if (fileThere && ReadFile("Kelvo.ini") != before) return "Kelvo.ini changed";
  if (!fileThere && FileExists("Kelvo.ini")) return "a partial Kelvo.ini was left";
  DIR* folder = opendir(".");
  std::string left;
  while (const dirent* entry = folder != nullptr ? readdir(folder) : nullptr) {
    if (std::strncmp(entry->d_name, ".Kelvo.ini.", 11) == 0) left = entry->d_name;
  }
  if (folder != nullptr) closedir(folder);
  return left.empty() ? "" : "a temporary was left: " + left;
}

// errno as the host left it, after every entry point, through a replug.
std::string KeepsErrno(GuestTest* t) {
  t->Start();
  std::string changed;
  auto call = [&](const char* what, const std::function<void()>& f) {
    errno = EDOM;
    f();
    if (errno != EDOM && changed.empty())
      changed = std::string(what) + " changed errno to " + strerror(errno);
  };
  PropertiesWindow host;
  std::vector<uint8_t> info(64);
  call("GetInfoFunc", [&] { t->plugin_.GetInfoFunc(info.data()); });
  call("SetInfoFunc", [&] { t->plugin_.SwitchOn(); });
  for (int i = 0; i < 200; ++i) call("RunFunc", [&] { t->plugin_.Poll(0); });
  t->stick_->Unplug();
  for (int i = 0; i < 50; ++i) call("RunFunc without a pad", [&] { t->plugin_.Poll(0); });
  t->stick_->Plug({12, 2, 1});
  t->stick_->SetButton(0, true);
  const bool read = WaitUntil(
      [&] {
        unsigned long word = ~0ul;
        call("RunFunc at a replug", [&] { word = t->plugin_.Poll(~0ul); });
        return (word & pad::A) == 0;
      },
      std::chrono::seconds(5));
  if (!read) return "the replugged pad was never read";
  for (int i = 0; i < 200; ++i) call("RunFunc after a replug", [&] { t->plugin_.Poll(0); });
  call("SetPropertyFunc", [&] { host.AddPage(t->plugin_); });
  call("DeleteFunc", [&] { t->plugin_.DeleteFunc(); });
  return changed;
}

void HostHandler(int) {}

// Whether the thread waits in a FIFO's open for a writer: /proc is the
// test's, not the plug-in's. The kernel's wait is the same for every ABI (a
// 32-bit build under an emulator too); where it hides it, the open is told by
// its system call number.
bool BlockedInOpen(pid_t tid) {
  const std::string task = "/proc/self/task/" + std::to_string(tid);
  const std::string wait = ReadFile(task + "/wchan");
  if (wait != "0" && !wait.empty()) return wait == "wait_for_partner";
  return ReadFile(task + "/syscall").rfind(std::to_string(SYS_openat) + " ", 0) == 0;
}

// A host thread installs a handler while the plug-in starts SDL's joystick
// subsystem, held there by a FIFO SDL opens while it starts (a device path
// for classic SDL, the controller mappings' file for SDL 2).
std::string HandlerInstalledMeanwhile(GuestTest* t) {
  t->Start();
  const std::string gate = t->dir_.File("gate");
  if (mkfifo(gate.c_str(), 0600) != 0) return "no FIFO";
  const std::string devices = std::string(getenv("SDL_JOYSTICK_DEVICE")) + ":" + gate;
  setenv("SDL_JOYSTICK_DEVICE", devices.c_str(), 1);
  setenv("SDL_GAMECONTROLLERCONFIG_FILE", gate.c_str(), 1);
  std::atomic<pid_t> tid{0};
  const pthread_t thread = Spawn([&] {
    tid = static_cast<pid_t>(syscall(SYS_gettid));
    t->plugin_.SwitchOn();
  });
  const bool held = PumpUntil([&] { return tid != 0 && BlockedInOpen(tid); });
  struct sigaction host = {}, now = {};
  host.sa_handler = HostHandler;
  sigaction(SIGUSR1, &host, nullptr);
  close(open(gate.c_str(), O_WRONLY | O_NONBLOCK));  // lets SDL read an empty file
  unlink(gate.c_str());
  if (!held) return "SDL never opened the FIFO while starting";
  if (!JoinInTime(thread)) return "switching on did not end";
  sigaction(SIGUSR1, nullptr, &now);
  if (now.sa_handler != HostHandler) return "the host's new handler was reverted";
  for (int sig : {SIGINT, SIGTERM}) {
    sigaction(sig, nullptr, &now);
    if (now.sa_handler != SIG_DFL) return "SDL's own handler was left in place";
  }
  return "";
}

// Device names that are not text: the tab's tooltip shows them as valid
// UTF-8, set once, without a GTK warning. Invalid bytes show as U+FFFD, a
// character cut at 127 bytes is left out, markup characters show as they are.
std::string NameAsText(GuestTest* t, const std::string& name, const std::string& shown) {
  t->stick_ = MakeNamedTestJoystick(t->dir_.path(), name, {12, 2, 1});
  const bool classic = LinkedSdlImplementation() == SdlImplementation::kClassic;
  // Classic SDL's open overflows its stack when SDL_LINUX_JOYSTICK names a
  // path past 127 bytes; the test joystick's ioctl answers give the counts.
  if (classic) unsetenv("SDL_LINUX_JOYSTICK");
  // Classic SDL names a FIFO by its path; the plug-in keeps 127 bytes of a name.
  const std::string full = classic ? t->dir_.File(name) : name;
  std::string expected = "Joystick: " + (classic ? t->dir_.path() + "/" : "") + shown;
  if (full.size() > 127) expected.resize(expected.size() - (full.size() - 126));
  GtkWarningCounter warnings;
  PropertiesWindow host;
  if (t->plugin_.SwitchOn() != 1 || host.AddPage(t->plugin_) != 0) return "no page";
  GtkWidget* tab = gtk_notebook_get_tab_label(host.notebook(), host.page(0));
  int sets = 0;
  g_signal_connect_swapped(tab, "notify::tooltip-text", G_CALLBACK(+[](int* n) { ++*n; }), &sets);
  if (!PumpUntil([&] { return sets > 0; })) return "no tooltip";
  PumpUntil([] { return false; }, 0.5);  // several of the page's ticks
  if (TabTooltip(host) != expected) return "tooltip \"" + TabTooltip(host) + "\", not \"" + expected + "\"";
  if (warnings.count() > 0) return "GTK warned: " + warnings.last();
  return sets == 1 ? "" : "the tooltip was set " + std::to_string(sets) + " times";
}

std::string LongName() {
  std::string name;
  for (int i = 0; i < 80; ++i) name += "\u00e9";
  return name;
}

const Row kRows[] = {
    {"CancelPendingAtSwitchOn", [](GuestTest* t) { return CancelledCaller(t, false); }},
    {"CancelPendingAtAPoll", [](GuestTest* t) { return CancelledCaller(t, true); }},
    {"UnloadWithThePageShown", [](GuestTest* t) { return UnloadWhileGtkHolds(t, true); }},
    {"UnloadJustAfterThePagesWindowWent", [](GuestTest* t) { return UnloadWhileGtkHolds(t, false); }},
    {"FileSizeLimitWhenCreatingKelvoIni", [](GuestTest* t) { return FileSizeLimit(t, false); }},
    {"FileSizeLimitBelowKelvoInisSize", [](GuestTest* t) { return FileSizeLimit(t, true); }},
    {"EveryEntryPointKeepsErrno", KeepsErrno},
    {"HostHandlerInstalledWhileSdlStarts", HandlerInstalledMeanwhile},
    {"InvalidBytesInTheName",
     [](GuestTest* t) { return NameAsText(t, "pad\xff\xfe<b>&", "pad\ufffd\ufffd<b>&"); }},
    {"NameCutInsideACharacter",
     [](GuestTest* t) {
       // An even number of bytes before the two-byte characters puts the
       // first byte of one at byte 127.
       const bool classic = LinkedSdlImplementation() == SdlImplementation::kClassic;
       const std::string name = ((classic ? t->dir_.path().size() + 1 : 0) % 2 == 1 ? "x" : "") + LongName();
       return NameAsText(t, name, name);
     }},
};

TEST_P(GuestTest, Holds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ASSERT_NE(gdk_display_get_default(), nullptr) << "needs an X display";
  EXPECT_EXIT(
      {
        alarm(45);  // a hang ends the child, reported as a signal
        const std::string failure = GetParam().run(this);
        if (!failure.empty()) std::fprintf(stderr, "%s\n", failure.c_str());
        if (!failure.empty()) _exit(1);  // a fault found may also hang the exit
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
}

INSTANTIATE_TEST_SUITE_P(HostProcess, GuestTest, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
