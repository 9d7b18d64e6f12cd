// kelvo-host's command line.
#ifndef KELVO_HOST_OPTIONS_H
#define KELVO_HOST_OPTIONS_H

#include <string>

struct Options {
  std::string library;  // --library, or "" to search
  std::string vjoy;     // --vjoy, or "" for kelvo-vjoy beside this program
  double seconds = -1;  // --seconds, or -1 for no limit
  enum Virtual { kAuto, kAlways, kNever } virtualJoystick = kAuto;
  bool commands = false;
};

// Reads argv into options. Returns -1 to go on, else the exit status: 0
// after printing the help, 2 after naming what is wrong.
int ParseOptions(int argc, char** argv, Options* options);

#endif
