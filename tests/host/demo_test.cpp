// scripts/demo as a newcomer runs it, on the programs this build made (the
// script's own build step is plain CMake): headless and stopped with Ctrl-C,
// and the screenshot run on sdl12-compat, where the gamepad must reach the
// plug-in through the host.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/host/host_fixture.h"

namespace {

const std::string kDemo = KELVO_SOURCE_DIR "/scripts/demo";
const std::string kCompatSdl = "/usr/lib/" KELVO_LIBRARY_ARCHITECTURE "/sdl12-compat/libSDL-1.2.so.0";

// Runs scripts/demo with these arguments, no display, on the programs built,
// with a temporary folder of its own (tmp), which it must leave empty.
void StartDemo(ChildProcess* demo, const std::vector<std::string>& args, const std::string& tmp) {
  std::vector<std::string> argv = {"/bin/sh", kDemo};
  argv.insert(argv.end(), args.begin(), args.end());
  demo->ReadErrorsToo();
  ASSERT_EQ(mkdir(tmp.c_str(), 0700), 0);
  ASSERT_TRUE(demo->Start(
      argv,
      {{"DISPLAY", ""}, {"KELVO_BUILD_DIR", KELVO_BUILD_DIR}, {"KELVO_NO_BUILD", "1"}, {"TMPDIR", tmp}}));
}

// What a folder holds, one name a line.
std::string Listing(const std::string& folder) {
  std::string names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir))
      if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
        names += std::string(entry->d_name) + "\n";
    closedir(dir);
  }
  return names;
}

TEST(DemoTest, CtrlCOnAHeadlessDemoEndsCleanlyAndLeavesNothingBehind) {
  ScratchDir dir;
  ChildProcess demo;
  StartDemo(&demo, {"--virtual"}, dir.File("tmp"));
  const std::string joystick = demo.WaitFor("joystick:", 30);
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
  EXPECT_EQ(Listing(dir.File("tmp")), "") << "left in TMPDIR";
}

TEST(DemoTest, ScreenshotsOnSdl12CompatShowTheGamepadsPress) {
  if (!FileExists(kCompatSdl)) GTEST_SKIP() << "sdl12-compat is not installed: " << kCompatSdl;
  ScratchDir dir;
  ChildProcess demo;
  // Our options in either order: --sdl12-compat after --screenshot too.
  StartDemo(&demo, {"--screenshot", dir.File("shots"), "--sdl12-compat"}, dir.File("tmp"));
  EXPECT_EQ(demo.WaitExit(60), 0) << demo.Transcript();
  EXPECT_EQ(Listing(dir.File("tmp")), "") << "left in TMPDIR";
  EXPECT_TRUE(demo.Seen("sdl: sdl12-compat", 0)) << demo.Transcript();
  for (const char* png : {"host.png", "properties.png", "gamepad.png", "kelvo-host.png"})
    EXPECT_TRUE(FileExists(dir.File("shots") + "/" + png)) << png;
}

}  // namespace
