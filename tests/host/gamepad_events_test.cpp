// kelvo-vjoy on its own: each command (the same path as the mouse on its
// buttons) must put exactly the right Linux joystick events into the device,
// because SDL writes its button array by the number it reads.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/joystick.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/host/child_process.h"
#include "tests/support/scratch_dir.h"

namespace {

struct Event {
  int type;
  int number;
  int value;
  bool operator==(const Event& o) const { return type == o.type && number == o.number && value == o.value; }
};

std::ostream& operator<<(std::ostream& out, const Event& e) {
  return out << (e.type == JS_EVENT_BUTTON ? "button "
                 : e.type == JS_EVENT_AXIS ? "axis "
                                           : "type? ")
             << e.number << "=" << e.value;
}

constexpr int B = JS_EVENT_BUTTON, A = JS_EVENT_AXIS;

// One step: a command, and the events it must send, in order. With 2 axes
// and a hat, axes 2 and 3 are the hat's x and y.
struct Step {
  const char* command;
  std::vector<Event> events;
  const char* reply;  // a line the gamepad prints, or null
};

const std::vector<Step> kSteps = {
    {"press 1", {{B, 0, 1}}, nullptr},
    {"press 1", {}, nullptr},  // already held: nothing new
    {"press 12", {{B, 11, 1}}, nullptr},
    {"release 1", {{B, 0, 0}}, nullptr},
    {"press 13", {}, "gamepad: no button 13"},
    {"press 0", {}, "gamepad: no button 0"},
    {"hat up", {{A, 2, 0}, {A, 3, -32767}}, nullptr},
    {"hat right", {{A, 2, 0}, {A, 3, 0}, {A, 2, 32767}, {A, 3, 0}}, nullptr},
    {"hat left", {{A, 2, 0}, {A, 3, 0}, {A, 2, -32767}, {A, 3, 0}}, nullptr},
    {"hat down", {{A, 2, 0}, {A, 3, 0}, {A, 2, 0}, {A, 3, 32767}}, nullptr},
    {"hat centre", {{A, 2, 0}, {A, 3, 0}}, nullptr},
    {"hat sideways", {}, "gamepad: no hat direction sideways"},
    {"axis 0 -20000", {{A, 0, -20000}}, nullptr},
    {"axis 1 32767", {{A, 1, 32767}}, nullptr},
    {"axis 2 5", {}, "gamepad: no axis 2"},
    // Closing the window lets go of what is held: button 12, both axes, hat.
    {"close", {{B, 11, 0}, {A, 0, 0}, {A, 1, 0}, {A, 2, 0}, {A, 3, 0}}, nullptr},
};

class GamepadTest : public testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X display (run under xvfb-run)";
    fifo_ = dir_.File("js0");
    ASSERT_EQ(mkfifo(fifo_.c_str(), 0600), 0);
    fd_ = open(fifo_.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd_, 0);
  }
  void TearDown() override {
    if (fd_ >= 0) close(fd_);
  }

  // The events that arrive within the time, at most count of them.
  std::vector<Event> Read(size_t count, double seconds) {
    std::vector<Event> events;
    while (events.size() < count) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(seconds * 1000)) <= 0) break;
      js_event e;
      if (read(fd_, &e, sizeof(e)) != static_cast<ssize_t>(sizeof(e))) break;
      events.push_back({e.type, e.number, e.value});
    }
    return events;
  }

  ScratchDir dir_;
  std::string fifo_;
  int fd_ = -1;
  ChildProcess gamepad_;
};

TEST_F(GamepadTest, CommandsSendExactlyTheirEvents) {
  ASSERT_TRUE(gamepad_.Start(
      {KELVO_VJOY_PATH, "--device", fifo_, "--buttons", "12", "--axes", "2", "--hats", "1", "--commands"}));
  ASSERT_NE(gamepad_.WaitFor("gamepad: ready"), "") << gamepad_.Transcript();
  for (const Step& step : kSteps) {
    SCOPED_TRACE(step.command);
    gamepad_.Send(step.command);
    EXPECT_EQ(Read(step.events.size(), 5), step.events);
    if (step.reply != nullptr) {
      EXPECT_NE(gamepad_.WaitFor(step.reply, 5), "") << gamepad_.Transcript();
    }
    // Nothing more than that.
    EXPECT_EQ(Read(1, 0.1), std::vector<Event>{});
  }
  EXPECT_EQ(gamepad_.WaitExit(5), 0);
}

TEST_F(GamepadTest, EndOfInputEndsTheGamepadLettingGo) {
  ASSERT_TRUE(gamepad_.Start(
      {KELVO_VJOY_PATH, "--device", fifo_, "--buttons", "4", "--axes", "1", "--hats", "0", "--commands"}));
  ASSERT_NE(gamepad_.WaitFor("gamepad: ready"), "") << gamepad_.Transcript();
  gamepad_.Send("press 4");
  EXPECT_EQ(Read(1, 5), (std::vector<Event>{{B, 3, 1}}));
  gamepad_.Send("hat up");  // this gamepad has no hat
  EXPECT_NE(gamepad_.WaitFor("gamepad: no hat", 5), "") << gamepad_.Transcript();
  gamepad_.CloseInput();
  EXPECT_EQ(Read(2, 5), (std::vector<Event>{{B, 3, 0}, {A, 0, 0}}));
  EXPECT_EQ(gamepad_.WaitExit(5), 0);
}

TEST_F(GamepadTest, RefusesAShapeSdlCannotTake) {
  for (const char* buttons : {"0", "33", "-1"}) {
    ChildProcess gamepad;
    ASSERT_TRUE(gamepad.Start({KELVO_VJOY_PATH, "--device", fifo_, "--buttons", buttons}));
    EXPECT_EQ(gamepad.WaitExit(5), 2) << buttons;
  }
}

// Help is there without a display (a server, a terminal over ssh); anything
// else needs one and says so.
TEST(GamepadOptionsTest, HelpNeedsNoDisplay) {
  struct Case {
    std::vector<std::string> args;
    int exitStatus;
    const char* said;
  };
  const Case cases[] = {
      {{"--help"}, 0, "usage: kelvo-vjoy --device FIFO"},
      {{"-h"}, 0, "--commands      read commands"},
      {{"--device", "/nonexistent", "--help"}, 0, "usage: kelvo-vjoy"},
      {{"--device", "/nonexistent"}, 1, "kelvo-vjoy: cannot open the display"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    ChildProcess gamepad;
    gamepad.ReadErrorsToo();
    std::vector<std::string> argv = {KELVO_VJOY_PATH};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    ASSERT_TRUE(gamepad.Start(argv, {{"DISPLAY", ""}}));
    EXPECT_EQ(gamepad.WaitExit(10), c.exitStatus) << gamepad.Transcript();
    EXPECT_TRUE(gamepad.Seen(c.said, 0)) << gamepad.Transcript();
  }
}

}  // namespace
