// kelvo-host: stands where the real host program would, so that the plug-in
// can be tried and tested as a whole. It loads libKelvo.so with dlopen and
// resolves the five entry points, shows the plug-in's identity, switches it
// on, and polls the pad word at 60 Hz on a thread of its own. Its window
// shows the pad word live; its "Properties" dialog hands a notebook to the
// plug-in, which appends its page.
//
// Without a joystick (or with --virtual) it makes a virtual one that SDL reads
// (on sdl12-compat, through an SDL 2 virtual joystick in this process) and
// starts kelvo-vjoy, the on-screen gamepad that drives it, as a separate
// process: the gamepad keeps working while a capture on the plug-in's page
// blocks this program's main loop.
//
// Standard output gets a line for each event, flushed: the identity, the SDL
// 1.2 in use, the joystick, the gamepad's lines, and "pad 0x3FFFF held: ..."
// for each change of the pad word. With --commands, standard input is read as commands, one a
// line (kelvo-host --help lists them); end of input quits.
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <SDL.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gtk_helpers/display_lost.h"
#include "gtk_helpers/message_boxes.h"
#include "host/command_channel.h"
#include "host/gamepad_joystick.h"
#include "host/gamepad_process.h"
#include "host/host_actions.h"
#include "host/host_window.h"
#include "host/options.h"
#include "host/pad_names.h"
#include "host/pad_poller.h"
#include "host/plugin_library.h"
#include "host/run_folder.h"
#include "host/say.h"
#include "virtual_joystick/test_joystick.h"

namespace {

constexpr JoystickShape kGamepadShape{12, 2, 1};

Plugin plugin;
PadPoller poller;
std::string runFolder;
GamepadJoystick stick;  // the virtual joystick, when made
std::string vjoyProgram;
std::atomic<bool> quitRequested{false};

void OnGamepadLine(const std::string& line);

// However the gamepad ended (closed, killed), let go of everything on the
// joystick: a button it held when it died must not stay held. One that
// ended unplugged leaves the joystick plugged in for the next.
void OnGamepadEnd() {
  if (stick.made() && !stick.plugged() && stick.Plug()) ShowJoystick(stick.Describe());
  if (stick.made()) stick.Reset();
  Say("gamepad: closed; joystick released");
  ShowGamepadRunning(false);
}

GamepadProcess gamepad(OnGamepadLine, OnGamepadEnd);

// The gamepad's "Unplug" and "Plug in" act on the joystick device, which the
// host made: unplugged, its node is removed and the host's writer closed
// (the gamepad closes its own); plugged in, it is made again and the gamepad
// told to open it.
void OnGamepadLine(const std::string& line) {
  Say("%s", line.c_str());
  if (!stick.made()) return;
  if (line == "gamepad: unplugged") {
    stick.Unplug();
    ShowJoystick("unplugged");
  } else if (line == "gamepad: plugging in") {
    if (stick.Plug() && gamepad.Tell("plugged")) ShowJoystick(stick.Describe());
  }
}

void TellGamepad(const std::string& line) {
  if (!gamepad.Tell(line)) Say("gamepad: not running");
}

void OnPadWord(unsigned long word) {
  // The window is told first: whoever acts on the printed line finds the
  // window's update already queued ahead of what it asks next.
  ShowPadWord(word);
  Say("pad %s", DescribePadWord(word).c_str());
}

gboolean AnswerWhileQuitting(gpointer) {
  std::vector<std::string> texts;
  AnswerMessageBoxes(&texts);
  for (const std::string& text : texts) Say("message: %s (answered to quit)", text.c_str());
  return TRUE;
}

// SIGINT and SIGTERM are blocked in every thread and read from a signalfd
// by the main loop, so that no signal handler ever runs: a handler may run
// on any thread, and under qemu-i386 one that interrupts the main thread
// can leave it with another thread's identity.
sigset_t QuitSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

gboolean OnQuitSignal(gint fd, GIOCondition, gpointer) {
  signalfd_siginfo info;
  while (read(fd, &info, sizeof(info)) == static_cast<ssize_t>(sizeof(info))) {
  }
  RequestQuit();
  return TRUE;  // a second signal finds it again
}

void WatchQuitSignals() {
  const sigset_t signals = QuitSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  const int fd = signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
  if (fd >= 0) g_unix_fd_add(fd, G_IO_IN, OnQuitSignal, nullptr);
}

gboolean TimeIsUp(gpointer) {
  Say("time is up");
  RequestQuit();
  return FALSE;
}

// Whether SDL lists any joystick now. Starts and stops SDL's joystick
// subsystem, so that the plug-in's start lists the devices afresh.
bool JoystickAttached() {
  if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return false;
  const bool any = SDL_NumJoysticks() > 0;
  SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
  return any;
}

// What SDL reports for joystick 0 once the plug-in has switched on (for the
// virtual one, its FIFO's path). Asked while no poll runs, so that the host
// never calls SDL while the plug-in does.
std::string JoystickInUse() {
  std::lock_guard<std::mutex> hold(poller.pause());
  if (!SDL_WasInit(SDL_INIT_JOYSTICK) || SDL_NumJoysticks() <= 0) return "none";
  const char* reported = SDL_JoystickName(0);
  return stick.made() ? stick.Describe() : std::string(reported ? reported : "(no name)");
}

void MakeVirtualJoystick() {
  runFolder = MakeRunFolder();
  if (runFolder.empty() || !stick.Make(runFolder, kGamepadShape, &poller.pause()))
    Say("joystick: cannot make the virtual joystick");
}

// Everything the host started, ended and removed; the display may be gone.
void ShutDown() {
  static std::atomic<bool> done{false};
  if (done.exchange(true)) return;
  poller.Stop();
  gamepad.Stop();
  Say("plugin dropped: %d", plugin.DeleteFunc());
  stick.Remove();
  if (!runFolder.empty()) RemoveRunFolder(runFolder);
}

void ShutDownWithoutDisplay() {
  Say("display: the X server went away; quitting");
  ShutDown();
}

std::string Identifier(const uint8_t (&guid)[16], const char* between) {
  std::string text;
  for (uint8_t byte : guid) {
    char hex[4];
    std::snprintf(hex, sizeof(hex), "%02X", byte);
    text += (text.empty() ? "" : between) + std::string(hex);
  }
  return text;
}

}  // namespace

void RequestQuit() {
  if (!quitRequested.exchange(true)) g_timeout_add(100, AnswerWhileQuitting, nullptr);
  AnswerWhileQuitting(nullptr);
  if (gtk_main_level() > 0) gtk_main_quit();
}

void StartGamepad() {
  if (!stick.made()) {
    Say("gamepad: there is no virtual joystick");
    return;
  }
  // Beside the host's window, which is at the top left.
  GtkRequisition size{0, 0};
  if (HostWindow() != nullptr) gtk_widget_size_request(HostWindow(), &size);
  const JoystickShape& shape = stick.shape();
  if (gamepad.Start(vjoyProgram, {"--device", stick.fifoPath(), "--buttons", std::to_string(shape.buttons),
                                  "--axes", std::to_string(shape.axes), "--hats", std::to_string(shape.hats),
                                  "--at", std::to_string(size.width + 8) + ",0", "--commands"}))
    ShowGamepadRunning(true);
}

void SwitchOnAgain() {
  Say("switching on: %d", plugin.SwitchOn());
  ShowJoystick(JoystickInUse());
}

int main(int argc, char** argv) {
  Options options;
  const int status = ParseOptions(argc, argv, &options);
  if (status >= 0) return status;
  // Before SDL starts: writing to a gamepad that died must not end the host,
  // and an interrupt or a termination quits the way the Quit button does,
  // also while a message box is open.
  signal(SIGPIPE, SIG_IGN);
  WatchQuitSignals();
  if (!gtk_init_check(&argc, &argv)) {
    // Also for package users, who have no source tree and its scripts.
    const char* display = std::getenv("DISPLAY");
    std::fprintf(stderr,
                 "kelvo-host: cannot open the display \"%s\". Without one, run it under a virtual X\n"
                 "server, for example: xvfb-run -a kelvo-host --seconds 10\n",
                 display ? display : "");
    return 1;
  }
  OnDisplayLost(ShutDownWithoutDisplay);
  if (const int removed = RemoveLeftoverRunFolders())
    Say("removed %d folder%s left by a host that no longer runs", removed, removed == 1 ? "" : "s");
  if (!FindPlugin(options.library, &plugin)) return 1;
  vjoyProgram = options.vjoy.empty() ? ExecutableDir() + "/kelvo-vjoy" : options.vjoy;
  if (options.vjoy.empty() && access(vjoyProgram.c_str(), X_OK) != 0) vjoyProgram = "kelvo-vjoy";

  const PluginIdentity info = plugin.GetInfo();
  const char* name = info.name.c_str();
  const std::string library = ShownPath(plugin.path);
  Say("plugin: %s\ntype: %d\nid: %s\nlibrary: %s", name, info.type, Identifier(info.guid, " ").c_str(),
      library.c_str());
  const SDL_version* sdl = SDL_Linked_Version();
  Say("sdl: %s %d.%d.%d", SdlImplementationName(LinkedSdlImplementation()), sdl->major, sdl->minor,
      sdl->patch);

  // The virtual joystick must exist before the plug-in starts SDL's joystick
  // subsystem, which lists the devices once.
  if (options.virtualJoystick == Options::kAlways ||
      (options.virtualJoystick == Options::kAuto && !JoystickAttached()))
    MakeVirtualJoystick();

  // From here on a quit is honoured, also while the plug-in's message box
  // is up during switching on; commands are read, so that such a box can be
  // answered too.
  if (options.seconds >= 0) g_timeout_add(static_cast<guint>(options.seconds * 1000), TimeIsUp, nullptr);
  if (options.commands) StartCommandChannel({TellGamepad, RunHostCommand, RequestQuit});

  plugin.SwitchOn();
  const std::string joystick = JoystickInUse();
  Say("joystick: %s", joystick.c_str());
  if (!quitRequested) {
    BuildHostWindow(
        plugin, {name, std::to_string(info.type), Identifier(info.guid, ""), library, joystick, stick.made()},
        {StartGamepad, SwitchOnAgain, RequestQuit});
    StartGamepad();
    Say("pad %s", DescribePadWord(~0ul).c_str());
    poller.Start(plugin.RunFunc, OnPadWord);
    g_idle_add(
        [](gpointer) -> gboolean {
          RunCommandsWaitingForTheWindow();
          return FALSE;
        },
        nullptr);
    gtk_main();
  }
  ShutDown();
  DestroyHostWindow();
  return 0;
}
