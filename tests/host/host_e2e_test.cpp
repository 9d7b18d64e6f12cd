// kelvo-host driven as a user would drive it, through its command input: the
// virtual gamepad pressed and released, keys assigned on the plug-in's page
// while the gamepad holds a button, and the gamepad closed or killed.
// Each test runs the host in a scratch directory holding its Kelvo.ini.
#include <fcntl.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/host/host_fixture.h"

namespace {

int PidIn(const std::string& line) {
  const size_t at = line.rfind(' ');
  return at == std::string::npos ? -1 : std::atoi(line.c_str() + at + 1);
}

TEST_F(HostTest, ShowsTheIdentityAndReadsTheVirtualJoystick) {
  Start({});
  Expect("joystick:");
  const std::string lines = host_.Transcript();
  EXPECT_NE(lines.find("plugin: Kelvo plugin 1.6.1\n"), std::string::npos) << lines;
  EXPECT_NE(lines.find("type: 4\n"), std::string::npos) << lines;
  EXPECT_NE(lines.find("id: C4 CD 29 82 AB 89 CF 45 BA 01 3F B8 7A D9 17 E9\n"), std::string::npos) << lines;
  // The library as a path that opens it from the working directory.
  const size_t from = lines.find("library: ") + 9;
  const std::string shown = lines.substr(from, lines.find('\n', from) - from);
  char* found = realpath(shown.c_str(), nullptr);
  char* library = realpath(KELVO_LIBRARY_PATH, nullptr);
  EXPECT_STREQ(found, library) << shown;
  std::free(found);
  std::free(library);
  Expect("gamepad: pid");
  Expect(kReleased);
  Quit();
}

// Every key through its own button, and the directions from the hat and the
// stick: pressed, seen by the host, released, seen released.
struct Press {
  const char* press;
  const char* release;
  unsigned long bit;
  const char* name;
};
const Press kPresses[] = {
    {"press 3", "release 3", pad::A, "A"},
    {"press 1", "release 1", pad::B, "B"},
    {"press 12", "release 12", pad::Select, "Select"},
    {"press 7", "release 7", pad::Start, "Start"},
    {"press 5", "release 5", pad::L, "L"},
    {"press 6", "release 6", pad::R, "R"},
    {"press 2", "release 2", pad::X, "X"},
    {"press 11", "release 11", pad::Y, "Y"},
    {"hat up", "hat centre", pad::Up, "Up"},
    {"hat down", "hat centre", pad::Down, "Down"},
    {"hat left", "hat centre", pad::Left, "Left"},
    {"hat right", "hat centre", pad::Right, "Right"},
    {"axis 0 -1000", "axis 0 0", pad::Left, "Left"},
    {"axis 0 32767", "axis 0 0", pad::Right, "Right"},
    {"axis 1 -32767", "axis 1 0", pad::Up, "Up"},
    {"axis 1 1000", "axis 1 0", pad::Down, "Down"},
};

TEST_F(HostTest, GamepadPressesReachTheHostThroughThePlugin) {
  StartWithGamepad({3, 1, 12, 7, 5, 6, 2, 11});
  for (const Press& p : kPresses) {
    SCOPED_TRACE(p.press);
    host_.Send(std::string("vjoy ") + p.press);
    Expect(PadLine(p.bit, p.name));
    host_.Send(std::string("vjoy ") + p.release);
    Expect(kReleased);
  }
  Quit();
}

// The capture on the plug-in's page keeps the host's main loop until a
// joystick button is pressed; the gamepad is another process, so its press
// still arrives, and the plug-in's poll thread goes on meanwhile.
TEST_F(HostTest, CaptureSeesAGamepadPressWhileTheHostKeepsRunning) {
  StartWithGamepad({});
  host_.Send("properties");
  Expect("properties: 1 page");
  host_.Send("click btn2");  // key B
  Expect("clicking btn2");
  // The capture waits in a main loop of its own: the host's commands still run.
  host_.Send("dialogs");
  Expect("message: none");
  EXPECT_FALSE(host_.Arrives("clicked btn2", 0.3)) << host_.Transcript();

  host_.Send("vjoy press 5");
  Expect("clicked btn2: B : Button 5");
  EXPECT_EQ(ReadFile(dir_.File("Kelvo.ini")), ConfigText({0, 5, 0, 0, 0, 0, 0, 0}, 1000));
  // Reported by the polling thread, before or after the click's end.
  EXPECT_TRUE(host_.Seen(PadLine(pad::B, "B"), 5)) << host_.Transcript();
  host_.Send("vjoy release 5");
  Expect(kReleased);
  Quit();
}

TEST_F(HostTest, KilledGamepadMidPressLeavesTheHostReadingReleased) {
  StartWithGamepad({3, 0, 0, 0, 0, 0, 0, 0});
  const int pid = PidIn(gamepadLine_);
  ASSERT_GT(pid, 0);
  host_.Send("vjoy press 3");
  host_.Send("vjoy hat left");
  Expect(PadLine(pad::A | pad::Left, "A Left"));
  ASSERT_EQ(kill(pid, SIGKILL), 0);
  Expect("gamepad: ended by signal 9");
  Expect(kReleased);

  // The host goes on: a new gamepad drives it again.
  host_.Send("gamepad");
  const std::string again = host_.WaitFor("gamepad: pid");
  ASSERT_NE(again, "") << host_.Transcript();
  EXPECT_NE(PidIn(again), pid);
  host_.Send("vjoy press 3");
  Expect(PadLine(pad::A, "A"));
  Quit();
}

TEST_F(HostTest, ClosedGamepadWindowLeavesTheHostReadingReleased) {
  StartWithGamepad({3, 0, 0, 0, 0, 0, 0, 0});
  host_.Send("vjoy press 3");
  host_.Send("vjoy axis 1 32767");
  Expect(PadLine(pad::A | pad::Down, "A Down"));
  host_.Send("vjoy close");
  // The gamepad lets go as it closes, and the host once it has ended: the
  // release may come before the host notices the end.
  EXPECT_TRUE(host_.Arrives(kReleased, 5)) << host_.Transcript();
  Expect("gamepad: closed");
  host_.Send("vjoy press 3");
  Expect("gamepad: not running");
  host_.Send("properties");
  Expect("properties: 1 page");
  Quit();
}

TEST_F(HostTest, WithoutTheVirtualGamepadThePluginSaysThereIsNoJoystick) {
  Start({}, {"--no-virtual"}, {{"SDL_JOYSTICK_DEVICE", dir_.File("no-such-joystick")}});
  // The plug-in's message box is up while it switches on; answer it.
  host_.Send("dialogs");
  const std::string message = host_.WaitFor("message:");
  EXPECT_EQ(message.rfind("message: Error ", 0), 0u) << host_.Transcript();
  EXPECT_NE(message.find(" opening the joystick"), std::string::npos) << host_.Transcript();
  Expect("joystick: none");
  Expect(kReleased);
  EXPECT_EQ(host_.Transcript().find("gamepad: pid"), std::string::npos) << host_.Transcript();
  Quit();
}

// A quit ends the gamepad by closing its input, not by a signal.
TEST_F(HostTest, SecondsEndsTheHostCleanly) {
  Start({}, {"--virtual", "--seconds", "1"});
  EXPECT_EQ(host_.WaitExit(10), 0) << host_.Transcript();
  Expect("time is up", 1);
  Expect("gamepad: closed", 1);
  Expect("plugin dropped: 1", 1);
  EXPECT_EQ(host_.Transcript().find("ended by signal"), std::string::npos) << host_.Transcript();
}

TEST_F(HostTest, TerminationQuitsCleanly) {
  StartWithGamepad({});
  ASSERT_EQ(kill(host_.pid(), SIGTERM), 0);
  EXPECT_EQ(host_.WaitExit(10), 0) << host_.Transcript();
  Expect("gamepad: closed", 1);
  Expect("plugin dropped: 1", 1);
  EXPECT_EQ(host_.Transcript().find("ended by signal"), std::string::npos) << host_.Transcript();
}

TEST_F(HostTest, QuitRemovesTheVirtualJoystick) {
  Start({});
  Expect("joystick:");
  const std::string transcript = host_.Transcript();
  const size_t from = transcript.find("joystick: ") + 10;
  const std::string fifo = transcript.substr(from, transcript.find(" (virtual", from) - from);
  EXPECT_TRUE(FileExists(fifo)) << fifo;
  Quit();
  EXPECT_FALSE(FileExists(fifo)) << fifo;
}

// Without --virtual or --no-virtual the gamepad comes only when SDL lists no
// joystick. An outside joystick here is a FIFO that this test feeds.
TEST_F(HostTest, UsesAnAttachedJoystickInsteadOfTheGamepad) {
  const std::string device = dir_.File("outside-js");
  ASSERT_EQ(mkfifo(device.c_str(), 0600), 0);
  const int fd = open(device.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  Start({1, 0, 0, 0, 0, 0, 0, 0}, {}, {{"SDL_JOYSTICK_DEVICE", device}, {"SDL_LINUX_JOYSTICK", ""}});
  EXPECT_EQ(host_.WaitFor("joystick:"), "joystick: " + device) << host_.Transcript();
  Expect(kReleased);
  ASSERT_TRUE(WriteJoystickEvent(fd, 1 /* button */, 0, 1));
  Expect(PadLine(pad::A, "A"));
  ASSERT_TRUE(WriteJoystickEvent(fd, 1, 0, 0));
  Expect(kReleased);
  EXPECT_EQ(host_.Transcript().find("gamepad: pid"), std::string::npos) << host_.Transcript();
  Quit();
  close(fd);
}

TEST_F(HostTest, BringsTheGamepadWhenNoJoystickIsAttached) {
  Start({}, {}, {{"SDL_JOYSTICK_DEVICE", dir_.File("no-such-joystick")}});
  Expect("(virtual gamepad)");
  Expect("gamepad: pid");
  Quit();
}

// Pixels of the colour the host lights a held key's indicator with.
int LitPixels(const std::string& png) {
  GdkPixbuf* image = gdk_pixbuf_new_from_file(png.c_str(), nullptr);
  if (image == nullptr) return -1;
  const int channels = gdk_pixbuf_get_n_channels(image), stride = gdk_pixbuf_get_rowstride(image);
  const guchar* pixels = gdk_pixbuf_get_pixels(image);
  int lit = 0;
  for (int y = 0; y < gdk_pixbuf_get_height(image); ++y) {
    for (int x = 0; x < gdk_pixbuf_get_width(image); ++x) {
      const guchar* p = pixels + y * stride + x * channels;
      if (p[0] == 0x30 && p[1] == 0xC0 && p[2] == 0x30) ++lit;
    }
  }
  g_object_unref(image);
  return lit;
}

// What scripts/demo --screenshot relies on: the pictures are made, and the
// host's indicators are lit while a key is held and dark after.
TEST_F(HostTest, ScreenshotsShowTheHeldKeyLit) {
  StartWithGamepad({1, 0, 0, 0, 0, 0, 0, 0});
  host_.Send("vjoy press 1");
  Expect(PadLine(pad::A, "A"));
  host_.Send("properties");
  Expect("properties: 1 page");
  host_.Send("shot host " + dir_.File("held.png"));
  host_.Send("shot properties " + dir_.File("properties.png"));
  host_.Send("shot screen " + dir_.File("screen.png"));
  host_.Send("vjoy shot " + dir_.File("gamepad.png"));
  Expect("shot host " + dir_.File("held.png") + ": saved");
  Expect("shot properties " + dir_.File("properties.png") + ": saved");
  Expect("shot screen " + dir_.File("screen.png") + ": saved");
  EXPECT_TRUE(host_.Seen("gamepad: saved " + dir_.File("gamepad.png"), 5)) << host_.Transcript();
  host_.Send("vjoy release 1");
  Expect(kReleased);
  host_.Send("shot host " + dir_.File("released.png"));
  Expect("shot host " + dir_.File("released.png") + ": saved");

  EXPECT_GT(LitPixels(dir_.File("held.png")), 100);
  EXPECT_EQ(LitPixels(dir_.File("released.png")), 0);
  for (const char* name : {"properties.png", "screen.png", "gamepad.png"}) {
    GdkPixbuf* image = gdk_pixbuf_new_from_file(dir_.File(name).c_str(), nullptr);
    ASSERT_NE(image, nullptr) << name;
    EXPECT_GT(gdk_pixbuf_get_width(image), 100) << name;
    EXPECT_GT(gdk_pixbuf_get_height(image), 100) << name;
    g_object_unref(image);
  }
  Quit();
}

// Where the host finds the plug-in without --library: an installed layout
// (bin/ and the plug-in folder lib/<triplet>/kelvo/), the build tree (the
// library beside bin/), else nowhere. The window and the output show the
// library's path relative to the working directory, not a machine's
// absolute path.
struct Layout {
  const char* libraryDir;  // under the prefix, or null for none
  int exitStatus;
};
const Layout kLayouts[] = {{KELVO_PLUGIN_DIR, 0}, {".", 0}, {nullptr, 1}};

TEST_F(HostTest, FindsThePluginBesideItsProgram) {
  for (const Layout& layout : kLayouts) {
    SCOPED_TRACE(layout.libraryDir ? layout.libraryDir : "none");
    const std::string prefix = std::string("prefix-") + std::to_string(&layout - kLayouts);
    const std::string copies =
        "mkdir -p '" + prefix + "/bin' && cp '" KELVO_HOST_PATH "' '" + prefix + "/bin/'" +
        (layout.libraryDir ? " && mkdir -p '" + prefix + "/" + layout.libraryDir + "' && cp '" +
                                 KELVO_LIBRARY_PATH + "' '" + prefix + "/" + layout.libraryDir + "/'"
                           : std::string());
    ASSERT_EQ(std::system(copies.c_str()), 0);
    ChildProcess host;
    ASSERT_TRUE(host.Start({prefix + "/bin/kelvo-host", "--commands", "--virtual", "--vjoy", KELVO_VJOY_PATH},
                           {{"LD_LIBRARY_PATH", dir_.path()}}));
    if (layout.exitStatus == 0) {
      const std::string shown = std::string(layout.libraryDir) == "."
                                    ? prefix + "/libKelvo.so"
                                    : prefix + "/" + layout.libraryDir + "/libKelvo.so";
      EXPECT_EQ(host.WaitFor("library:"), "library: " + shown) << host.Transcript();
      host.Send("quit");
    }
    EXPECT_EQ(host.WaitExit(10), layout.exitStatus) << host.Transcript();
  }
}

}  // namespace
