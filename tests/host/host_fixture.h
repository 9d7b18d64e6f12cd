// kelvo-host run as a child process for a test, driven through its command
// input, in a scratch directory holding its Kelvo.ini.
#ifndef KELVO_TESTS_HOST_HOST_FIXTURE_H
#define KELVO_TESTS_HOST_HOST_FIXTURE_H

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "tests/host/child_process.h"
#include "tests/support/plugin_fixture.h"
#include "tests/support/scratch_dir.h"

// The host's line for a pad word in which exactly these bits are held.
inline std::string PadLine(unsigned long heldBits, const std::string& names) {
  char text[64];
  std::snprintf(text, sizeof(text), "pad 0x%05lX held: ", 0x3FFFFul & ~heldBits);
  return text + names;
}

const std::string kReleased = PadLine(0, "none");

class HostTest : public testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X display (run under xvfb-run)";
    ASSERT_FALSE(dir_.path().empty());
  }

  // Starts the host with a Kelvo.ini holding these buttons (threshold 1000).
  void Start(const std::array<int, 8>& buttons, std::vector<std::string> args = {"--virtual"},
             const std::vector<std::pair<std::string, std::string>>& environment = {}) {
    ASSERT_TRUE(WriteFile(dir_.File("Kelvo.ini"), ConfigText(buttons, 1000)));
    std::vector<std::string> argv = {KELVO_HOST_PATH, "--library", KELVO_LIBRARY_PATH, "--commands"};
    argv.insert(argv.end(), args.begin(), args.end());
    ASSERT_TRUE(host_.Start(argv, environment));
    ASSERT_NE(host_.WaitFor("id:"), "") << host_.Transcript();
  }

  // Starts with the virtual gamepad and waits until polling has begun.
  void StartWithGamepad(const std::array<int, 8>& buttons) {
    Start(buttons);
    gamepadLine_ = host_.WaitFor("gamepad: pid");
    ASSERT_NE(gamepadLine_, "") << host_.Transcript();
    ASSERT_NE(host_.WaitFor(kReleased), "") << host_.Transcript();
  }

  void Expect(const std::string& line, double seconds = 5) {
    EXPECT_NE(host_.WaitFor(line, seconds), "") << "no line \"" << line << "\" in:\n" << host_.Transcript();
  }

  void Quit() {
    host_.Send("quit");
    EXPECT_EQ(host_.WaitExit(10), 0) << host_.Transcript();
    Expect("plugin dropped: 1", 1);
  }

  ScratchDir dir_;
  ChildProcess host_;
  std::string gamepadLine_;
};

#endif
