// scripts/demo as a newcomer runs it: headless, stopped with Ctrl-C, and two
// started at once when the programs must be built again. The demos build in
// a build directory of their own inside this build.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/host/host_fixture.h"

namespace {

const std::string kDemo = KELVO_SOURCE_DIR "/scripts/demo";
// Runs scripts/demo with these arguments, no display, building in build.
void StartDemo(ChildProcess* demo, const std::string& build, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"/bin/sh", kDemo};
  argv.insert(argv.end(), args.begin(), args.end());
  demo->ReadErrorsToo();
  ASSERT_TRUE(demo->Start(argv, {{"DISPLAY", ""}, {"KELVO_BUILD_DIR", build}}));
}

TEST(DemoTest, CtrlCOnAHeadlessDemoEndsCleanlyAndLeavesNothingBehind) {
  ScratchDir dir;
  ChildProcess demo;
  StartDemo(&demo, KELVO_DEMO_BUILD_DIR "/ctrl-c", {"--virtual"});
  const std::string joystick = demo.WaitFor("joystick:", 600);
  ASSERT_NE(joystick, "") << demo.Transcript();
  const std::string folder = joystick.substr(joystick.find('/'), joystick.find("/js0") - joystick.find('/'));
  ASSERT_NE(demo.WaitFor("gamepad: ready", 20), "") << demo.Transcript();
  ASSERT_TRUE(FileExists(folder + "/js0"));
  // What the terminal does on Ctrl-C: SIGINT to the whole foreground group.
  ASSERT_EQ(kill(-demo.pid(), SIGINT), 0);
  demo.WaitExit(20);
  EXPECT_TRUE(demo.Seen("plugin dropped: 1", 0)) << demo.Transcript();
  const std::string said = demo.Transcript();
  for (const char* fault : {"Fatal IO error", "terminate called", "Aborted", "not found"})
    EXPECT_EQ(said.find(fault), std::string::npos) << fault << " in:\n" << said;
  EXPECT_FALSE(FileExists(folder)) << folder;
}

TEST(DemoTest, TwoDemosStartedAtOnceBothWorkWhenTheProgramsMustBeBuilt) {
  ScratchDir dir;
  // A build directory of nothing yet, as after a fresh clone.
  const std::string build = KELVO_DEMO_BUILD_DIR "/two";
  ASSERT_EQ(std::system(("rm -rf '" + build + "'").c_str()), 0);
  ChildProcess first, second;
  StartDemo(&first, build, {"--screenshot", dir.File("first")});
  StartDemo(&second, build, {"--screenshot", dir.File("second")});
  EXPECT_EQ(first.WaitExit(600), 0) << first.Transcript();
  EXPECT_EQ(second.WaitExit(600), 0) << second.Transcript();
  for (const char* out : {"first", "second"})
    for (const char* png : {"host.png", "properties.png", "gamepad.png", "kelvo-host.png"})
      EXPECT_TRUE(FileExists(dir.File(out) + "/" + png)) << out << "/" << png;
}

}  // namespace
