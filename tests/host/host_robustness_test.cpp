// kelvo-host under ordinary misuse: Ctrl-C with the X server going down too,
// a quit while the plug-in's message box is open, commands that arrive before
// the window, a killed host's leftovers,
// Properties clicked twice, switching on again after "no joystick", and
// options and messages.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/host/host_fixture.h"

namespace {

// The folder of the virtual joystick named in the host's "joystick:" line.
std::string RunFolderIn(const std::string& joystickLine) {
  const size_t from = joystickLine.find('/');
  const size_t to = joystickLine.find("/js0");
  return from == std::string::npos || to == std::string::npos ? "" : joystickLine.substr(from, to - from);
}

// Ctrl-C on a headless demo reaches the host, its gamepad and the Xvfb they
// draw on, all at once: whichever the host notices first, it ends as a quit
// does and leaves nothing behind.
TEST_F(HostTest, CtrlCWhileTheXServerGoesDownQuitsCleanly) {
  ChildProcess xvfb;
  ASSERT_TRUE(
      xvfb.Start({"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp"}));
  const std::string display = xvfb.WaitFor("", 20);
  ASSERT_NE(display, "");
  host_.ReadErrorsToo();
  Start({}, {"--virtual"}, {{"DISPLAY", ":" + display}});
  const std::string folder = RunFolderIn(host_.WaitFor("joystick:"));
  ASSERT_NE(folder, "") << host_.Transcript();
  Expect("gamepad: ready");
  ASSERT_EQ(kill(-xvfb.pid(), SIGINT), 0);
  ASSERT_EQ(kill(-host_.pid(), SIGINT), 0);
  EXPECT_EQ(host_.WaitExit(20), 0) << host_.Transcript();
  const std::string said = host_.Transcript();
  for (const char* fault : {"Fatal IO error", "terminate called", "Aborted", "ended by signal"})
    EXPECT_EQ(said.find(fault), std::string::npos) << fault << " in:\n" << said;
  EXPECT_FALSE(FileExists(folder)) << folder;
}

TEST_F(HostTest, TheNextStartRemovesAKilledHostsFolder) {
  StartWithGamepad({});
  const std::string folder = RunFolderIn(host_.Transcript().substr(host_.Transcript().find("joystick:")));
  ASSERT_NE(folder, "") << host_.Transcript();
  ASSERT_EQ(kill(-host_.pid(), SIGKILL), 0);
  ASSERT_EQ(host_.WaitExit(10), -1);
  ChildProcess next;
  ASSERT_TRUE(next.Start({KELVO_HOST_PATH, "--library", KELVO_LIBRARY_PATH, "--virtual", "--seconds", "0"}));
  EXPECT_EQ(next.WaitExit(20), 0) << next.Transcript();
  EXPECT_FALSE(FileExists(folder)) << folder;
}

// With no joystick the plug-in's message box is up while it switches on; a
// quit of any kind answers it and ends the host.
struct QuitWay {
  const char* name;
  std::vector<std::string> args;
  int signal;  // sent once the box is up, or 0
};

TEST_F(HostTest, QuitIsHonouredWhileAMessageBoxIsOpen) {
  const QuitWay ways[] = {{"--seconds", {"--no-virtual", "--seconds", "1"}, 0},
                          {"SIGINT", {"--no-virtual"}, SIGINT},
                          {"SIGTERM", {"--no-virtual"}, SIGTERM}};
  for (const QuitWay& way : ways) {
    SCOPED_TRACE(way.name);
    ChildProcess host;
    std::vector<std::string> argv = {KELVO_HOST_PATH, "--library", KELVO_LIBRARY_PATH};
    argv.insert(argv.end(), way.args.begin(), way.args.end());
    ASSERT_TRUE(host.Start(argv, {{"SDL_JOYSTICK_DEVICE", dir_.File("no-such-joystick")}}));
    ASSERT_NE(host.WaitFor("library:", 20), "") << host.Transcript();
    // The host reads signals only from its main loop, and the first loop
    // after "library:" is the box's own: a signal sent now is the box's.
    if (way.signal != 0) {
      ASSERT_EQ(kill(host.pid(), way.signal), 0);
    }
    EXPECT_EQ(host.WaitExit(15), 0) << host.Transcript();
    EXPECT_TRUE(host.Seen("message: Error 0 opening the joystick (answered to quit)", 0))
        << host.Transcript();
  }
}

// Commands read while the plug-in's "no joystick" box is up, before the
// host's window exists: those that act on the window wait for it and then
// run in the order read, "dialogs" answers the box at once, and a quit
// meanwhile ends the host without running the ones still waiting.
TEST_F(HostTest, CommandsReadBeforeTheWindowExistsWaitForIt) {
  const std::string picture = dir_.File("early.png");
  Start({}, {"--no-virtual"}, {{"SDL_JOYSTICK_DEVICE", dir_.File("no-such-joystick")}});
  for (const std::string& line : std::vector<std::string>{"properties", "choose 2", "click btn9",
                                                          "shot host " + picture, "switch-on", "dialogs"})
    host_.Send(line);
  Expect("message: Error 0 opening the joystick");
  Expect("joystick: none");
  Expect("properties: 1 page");
  Expect("chose 2: ");
  Expect("click: no button btn9");
  Expect("shot host " + picture + ": saved");
  host_.Send("dialogs");  // the second switching on's box
  Expect("switching on: ");
  Quit();

  ChildProcess early;
  ASSERT_TRUE(early.Start({KELVO_HOST_PATH, "--library", KELVO_LIBRARY_PATH, "--no-virtual", "--commands"},
                          {{"SDL_JOYSTICK_DEVICE", dir_.File("no-such-joystick")}}));
  for (const char* line : {"properties", "sleep 0.5", "quit"}) early.Send(line);
  EXPECT_EQ(early.WaitExit(15), 0) << early.Transcript();
  EXPECT_TRUE(early.Seen("plugin dropped: 1", 0)) << early.Transcript();
  EXPECT_FALSE(early.Seen("properties:", 0)) << early.Transcript();
}

TEST_F(HostTest, PropertiesClickedTwiceKeepsOneDialog) {
  StartWithGamepad({});
  host_.Send("properties");
  host_.Send("properties");
  Expect("properties: 1 page");
  Expect("properties: brought forward");
  // The one dialog is the one that is up to date.
  host_.Send("click btn1");
  host_.Send("vjoy press 4");
  Expect("clicked btn1: A : Button 4");
  host_.Send("vjoy release 4");
  Quit();
}

// Buttons without a widget name are clicked by their label, blanks and all:
// "Save config" rewrites a Kelvo.ini changed behind the page's back, and the
// dialog's stock "Close" closes it (the next "properties" builds a new one).
TEST_F(HostTest, ClickFindsAButtonByItsLabel) {
  const std::array<int, 8> buttons{3, 0, 0, 0, 0, 0, 0, 7};
  StartWithGamepad(buttons);
  host_.Send("properties");
  Expect("properties: 1 page");
  ASSERT_TRUE(WriteFile(dir_.File("Kelvo.ini"), "edited by hand\n"));
  host_.Send("click Save config");
  Expect("clicked Save config: Save config");
  EXPECT_EQ(ReadFile(dir_.File("Kelvo.ini")), ConfigText(buttons, 1000));
  host_.Send("click Close");
  Expect("clicked Close");
  host_.Send("properties");
  Expect("properties: 1 page");
  host_.Send("click No such label");
  Expect("click: no button No such label");
  Quit();
}

// "Switch on" on the window after the "no joystick" message: the plug-in
// then finds a joystick attached since.
TEST_F(HostTest, SwitchOnFindsAJoystickAttachedAfterTheNoJoystickMessage) {
  const std::string device = dir_.File("later-js");
  Start({1, 0, 0, 0, 0, 0, 0, 0}, {"--no-virtual"},
        {{"SDL_JOYSTICK_DEVICE", device}, {"SDL_LINUX_JOYSTICK", ""}});
  host_.Send("dialogs");
  Expect("message: Error 0 opening the joystick");
  Expect("joystick: none");
  ASSERT_EQ(mkfifo(device.c_str(), 0600), 0);
  const int fd = open(device.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  host_.Send("click switch-on");
  Expect("switching on: 1");
  Expect("joystick: " + device);
  ASSERT_TRUE(WriteJoystickEvent(fd, 1 /* button */, 0, 1));
  Expect(PadLine(pad::A, "A"));
  Quit();
  close(fd);
}

struct OptionCase {
  std::vector<std::string> args;
  int exitStatus;
  const char* said;
};

TEST_F(HostTest, OptionsAreCheckedAndTheFaultNamed) {
  // A bare name is a file in the working directory.
  ASSERT_EQ(std::system("cp '" KELVO_LIBRARY_PATH "' libKelvo.so"), 0);
  const OptionCase cases[] = {
      {{"--seconds", "abc"}, 2, "--seconds wants a number of seconds, not \"abc\""},
      {{"--frobnicate"}, 2, "unknown option \"--frobnicate\""},
      {{"--library"}, 2, "--library needs a value"},
      {{"-h"}, 0, "usage: kelvo-host"},
      {{"--library", "libz.so.1"}, 1, "libz.so.1 has no entry point GetInfoFunc"},
      {{"--library", "libKelvo.so", "--no-virtual", "--seconds", "0"}, 0, "library: libKelvo.so"},
  };
  for (const OptionCase& c : cases) {
    SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
    ChildProcess host;
    host.ReadErrorsToo();
    std::vector<std::string> argv = {KELVO_HOST_PATH};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    ASSERT_TRUE(host.Start(argv, {{"SDL_JOYSTICK_DEVICE", dir_.File("no-such-joystick")}}));
    EXPECT_EQ(host.WaitExit(20), c.exitStatus) << host.Transcript();
    EXPECT_TRUE(host.Seen(c.said, 0)) << host.Transcript();
  }
  ChildProcess headless;
  headless.ReadErrorsToo();
  ASSERT_TRUE(headless.Start({KELVO_HOST_PATH}, {{"DISPLAY", ""}}));
  EXPECT_EQ(headless.WaitExit(20), 1) << headless.Transcript();
  // Package users have no source tree: the way out names what they have.
  EXPECT_TRUE(headless.Seen("xvfb-run -a kelvo-host", 0)) << headless.Transcript();
  EXPECT_FALSE(headless.Seen("scripts/", 0)) << headless.Transcript();
}

}  // namespace
