#include "host/options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kUsage[] =
    "usage: kelvo-host [--library PATH] [--seconds N] [--virtual | --no-virtual]\n"
    "                  [--vjoy PATH] [--commands]\n"
    "\n"
    "  --library PATH  the plug-in to load (default: lib/<triplet>/kelvo/libKelvo.so\n"
    "                  under this program's prefix, ../libKelvo.so beside this program,\n"
    "                  then libKelvo.so through the loader)\n"
    "  --seconds N     quit after N seconds\n"
    "  --virtual       always use the virtual gamepad; --no-virtual never\n"
    "                  (default: only when SDL finds no joystick)\n"
    "  --vjoy PATH     the gamepad program (default: kelvo-vjoy beside this program)\n"
    "  --commands      read commands from standard input, one a line:\n"
    "      vjoy COMMAND      passed to the gamepad at once (press N, release N,\n"
    "                        hat up|down|left|right|centre, axis N VALUE, unplug,\n"
    "                        plug, close, shot FILE)\n"
    "      sleep SECONDS     waits before reading the next command\n"
    "    the others queue for the main loop; dialogs and quit run at once, the\n"
    "    rest once the window is there (after switching on):\n"
    "      properties        opens the properties dialog (or brings it forward)\n"
    "      click NAME        clicks the button of that widget name: btn1..btn8 on the\n"
    "                        plug-in's page (keys A, B, Select, Start, L, R, X, Y),\n"
    "                        switch-on, properties, gamepad or quit on the window;\n"
    "                        else the button labelled so (click Save config, click Close)\n"
    "      choose INDEX      chooses an item of the page's combo box\n"
    "      dialogs           reads and answers the message boxes shown\n"
    "      switch-on         switches the plug-in on again (the Switch on button)\n"
    "      gamepad           starts the gamepad again after it was closed\n"
    "      shot host|properties|screen FILE   saves a PNG\n"
    "      quit\n"
    "  -h, --help      this text\n";

int Wrong(const char* format, const char* what) {
  std::fputs("kelvo-host: ", stderr);
  std::fprintf(stderr, format, what);
  std::fputs("\nkelvo-host --help lists the options.\n", stderr);
  return 2;
}

}  // namespace

int ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    const bool takesValue =
        !std::strcmp(arg, "--library") || !std::strcmp(arg, "--vjoy") || !std::strcmp(arg, "--seconds");
    if (takesValue && i + 1 >= argc) return Wrong("%s needs a value", arg);
    if (!std::strcmp(arg, "-h") || !std::strcmp(arg, "--help")) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (!std::strcmp(arg, "--library")) {
      options->library = argv[++i];
    } else if (!std::strcmp(arg, "--vjoy")) {
      options->vjoy = argv[++i];
    } else if (!std::strcmp(arg, "--seconds")) {
      const char* value = argv[++i];
      char* end = nullptr;
      options->seconds = std::strtod(value, &end);
      if (end == value || *end != '\0' || !std::isfinite(options->seconds) || options->seconds < 0 ||
          options->seconds > 1e6)
        return Wrong("--seconds wants a number of seconds, not \"%s\"", value);
    } else if (!std::strcmp(arg, "--virtual")) {
      options->virtualJoystick = Options::kAlways;
    } else if (!std::strcmp(arg, "--no-virtual")) {
      options->virtualJoystick = Options::kNever;
    } else if (!std::strcmp(arg, "--commands")) {
      options->commands = true;
    } else {
      return Wrong("unknown option \"%s\"", arg);
    }
  }
  return -1;
}
