// kelvo-vjoy: a gamepad on the screen. It writes Linux joystick events into a
// joystick FIFO that some other process (kelvo-host) made and keeps open, so
// that SDL in that process reads it as joystick 0 (on sdl12-compat, which
// reads no FIFO, the host relays the events to an SDL 2 virtual joystick).
// Buttons are held while the mouse holds them; the hat's four buttons
// likewise; two sliders set the stick's axes.
//
// It runs as a process of its own, so that it keeps answering whatever the
// host's main loop is doing (a message box, a capture listening in a main
// loop of its own with a grab on one button).
//
// With --commands it also reads one command a line from standard input, and
// quits at end of input (the host went away):
//   press N | release N      joystick button N, counting from 1
//   hat up|down|left|right|centre
//   axis N VALUE             axis 0 (x) or 1 (y), -32767 to 32767
//   unplug                   pulls the cable, as the "Unplug" button does
//   plug                     asks for the device again ("Plug in"): prints
//                            "gamepad: plugging in", and whoever made the
//                            device answers "plugged" once it is there again
//   close                    closes the window, as its close button does
//   shot FILE                saves the window as a PNG
#include <gtk/gtk.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gamepad/gamepad.h"
#include "gtk_helpers/display_lost.h"

Gamepad pad;

void Say(const std::string& line) {
  std::printf("gamepad: %s\n", line.c_str());
  std::fflush(stdout);
}

namespace {

constexpr int kMaxButtons = 32;

const char kUsage[] =
    "usage: kelvo-vjoy --device FIFO [--buttons N] [--axes N] [--hats 0|1] [--at X,Y] [--commands]\n"
    "\n"
    "  --device FIFO   the joystick FIFO to write (made and kept open by kelvo-host)\n"
    "  --buttons N     buttons, 1 to 32 (default 12)\n"
    "  --axes N        stick axes, 0 to 2 (default 2)\n"
    "  --hats 0|1      whether there is a hat (default 1)\n"
    "  --at X,Y        where the window goes on the screen\n"
    "  --commands      read commands from standard input, one a line, and quit at\n"
    "                  its end: press N, release N, hat up|down|left|right|centre,\n"
    "                  axis N VALUE, unplug, plug, close, shot FILE\n"
    "  -h, --help      this text\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool commands = false, placed = false;
  int x = 0, y = 0;
  // Help needs no display: asked before GTK opens one.
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "-h") || !std::strcmp(argv[i], "--help")) {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "kelvo-vjoy: cannot open the display\n");
    return 1;
  }
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--device" && hasValue) {
      pad.device = argv[++i];
    } else if (arg == "--buttons" && hasValue) {
      pad.shape.buttons = std::atoi(argv[++i]);
    } else if (arg == "--axes" && hasValue) {
      pad.shape.axes = std::atoi(argv[++i]);
    } else if (arg == "--hats" && hasValue) {
      pad.shape.hats = std::atoi(argv[++i]);
    } else if (arg == "--at" && hasValue) {
      placed = std::sscanf(argv[++i], "%d,%d", &x, &y) == 2;
    } else if (arg == "--commands") {
      commands = true;
    } else {
      return Usage();
    }
  }
  if (pad.device.empty() || pad.shape.buttons < 1 || pad.shape.buttons > kMaxButtons || pad.shape.axes < 0 ||
      pad.shape.axes > 2 || pad.shape.hats < 0 || pad.shape.hats > 1)
    return Usage();
  pad.held.assign(static_cast<size_t>(pad.shape.buttons), false);

  // A write to a device nobody reads ends the gamepad quietly, not by signal.
  signal(SIGPIPE, SIG_IGN);
  // Driven through its input (by kelvo-host), it ends when that input ends:
  // a Ctrl-C meant for the host does not cut it short, and the host lets go
  // of the joystick after it. Losing the display ends it quietly too.
  if (commands) signal(SIGINT, SIG_IGN);
  OnDisplayLost(nullptr);
  if (!OpenDevice()) return 1;

  BuildWindow(x, y, placed);
  if (commands) ReadCommands();
  Say("ready, pid " + std::to_string(getpid()));
  gtk_main();
  ReleaseAll();
  if (pad.window) gtk_widget_destroy(pad.window);
  if (Plugged()) close(pad.fd);
  return 0;
}
