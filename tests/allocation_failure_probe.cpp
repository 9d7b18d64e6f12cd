// A host whose heap runs out once: switches the plug-in on (creating or
// reading Kelvo.ini in the working directory), polls it and switches it on
// again, with the counted allocation given on the command line failing (-1
// for none). Prints how many allocations it counted. Without a display the
// plug-in's message boxes go to standard error.
#include <cstdio>
#include <cstdlib>

#include "loader/plugin_loader.h"
#include "tests/support/allocation_count.h"
#include "virtual_joystick/test_joystick.h"

int main(int argc, char** argv) {
  Plugin plugin = LoadPlugin();
  std::unique_ptr<TestJoystick> stick = MakeTestJoystick("js0", {12, 2, 1});
  if (argc != 2 || !plugin.loaded() || !stick->ok()) return 2;
  // The record on the stack: only the plug-in and SDL allocate meanwhile.
  alignas(8) unsigned char switchOn[record::kSetInfoSize] = {};
  switchOn[record::kStateMaskOffset] = switchOn[record::kStateOffset] = 1;
  unsigned long word = 0;
  FailCountedAllocation(std::atol(argv[1]));
  CountAllocations(true);
  plugin.SetInfoFunc(switchOn);
  for (int i = 0; i < 20; ++i) plugin.RunFunc(&word);
  plugin.SetInfoFunc(switchOn);
  CountAllocations(false);
  std::printf("%ld\n", CountedAllocations());
  return 0;
}
