// Every allocation made while the plug-in switches on and polls fails once,
// in turn, in a child process: none may end the host through a C++
// exception escaping the plug-in ("terminate called"). What SDL or GLib do
// with a failed allocation of their own is theirs.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include <gtest/gtest.h>
#include "tests/support/plugin_fixture.h"
#include "tests/support/scratch_dir.h"

namespace {

struct Outcome {
  int status;
  std::string output;  // standard output
  std::string errors;  // standard error
};

Outcome RunProbe(long failAt, bool withFile) {
  ScratchDir dir;
  if (withFile) WriteFile("Kelvo.ini", ConfigText({1, 2, 3, 4, 5, 6, 7, 8}, 1000));
  const pid_t child = fork();
  if (child == 0) {
    unsetenv("DISPLAY");
    const int out = open("out", O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open("err", O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    dup2(err, 2);
    std::string index = std::to_string(failAt);
    std::string probe = KELVO_ALLOCATION_PROBE;
    char* const argv[] = {&probe[0], &index[0], nullptr};
    execv(argv[0], argv);  // execv: the 32-bit build starts it through the emulator
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return {status, ReadFile("out"), ReadFile("err")};
}

TEST(AllocationFailureTest, NoFailedAllocationEndsTheHostThroughThePlugin) {
  // Fewer runs where each one runs under the emulator.
  const long kMaxRuns = sizeof(void*) == 4 ? 40 : 250;
  for (const bool withFile : {false, true}) {
    SCOPED_TRACE(withFile ? "Kelvo.ini there" : "Kelvo.ini missing");
    const Outcome counted = RunProbe(-1, withFile);
    ASSERT_TRUE(WIFEXITED(counted.status) && WEXITSTATUS(counted.status) == 0) << counted.errors;
    const long total = std::atol(counted.output.c_str());
    ASSERT_GT(total, 0);
    const long step = std::max(1L, total / kMaxRuns);
    int otherEnds = 0;
    for (long failAt = 0; failAt < total; failAt += step) {
      const Outcome o = RunProbe(failAt, withFile);
      const bool terminated = o.errors.find("terminate called") != std::string::npos;
      EXPECT_FALSE(terminated) << "allocation " << failAt << " of " << total << ":\n" << o.errors;
      if (!terminated && (!WIFEXITED(o.status) || WEXITSTATUS(o.status) != 0)) ++otherEnds;
    }
    std::printf("%s: %ld allocations, every %ld-th failed in turn; %d runs ended inside SDL or GLib\n",
                withFile ? "file there" : "file missing", total, step, otherEnds);
  }
}

}  // namespace
