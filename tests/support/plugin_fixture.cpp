#include "tests/support/plugin_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <thread>

std::string ConfigText(const std::array<int, 8>& buttons, int threshold) {
  std::string text;
  char line[64];
  for (int i = 0; i < 8; ++i) {
    std::snprintf(line, sizeof(line), "Btn%d=%d\n", i, buttons[i]);
    text += line;
  }
  std::snprintf(line, sizeof(line), "Axis threshold=%d\n", threshold);
  return text + line;
}

void PluginTest::SetUp() {
  ASSERT_FALSE(dir_.path().empty());
  NoJoystick();
  plugin_ = LoadPlugin();
  ASSERT_TRUE(plugin_.loaded());
  dialogs_ = std::make_unique<DialogWatcher>();
}

void PluginTest::AttachJoystick(JoystickShape shape) {
  stick_.reset();
  stick_ = MakeTestJoystick(dir_.File("js0"), shape);
  ASSERT_TRUE(stick_->ok());
}

void PluginTest::NoJoystick() {
  stick_.reset();
  setenv("SDL_JOYSTICK_DEVICE", dir_.File("no-such-joystick").c_str(), 1);
  unsetenv("SDL_LINUX_JOYSTICK");
}

std::array<int, 8> PluginTest::ProbeButtons() {
  std::array<int, 8> found{};
  for (int b = 0; b < stick_->shape().buttons; ++b) {
    stick_->SetButton(b, true);
    const unsigned long fromZero = plugin_.Poll(0);
    const unsigned long fromOnes = plugin_.Poll(~0ul);
    stick_->SetButton(b, false);
    plugin_.Poll(0);
    for (int key = 0; key < 8; ++key) {
      const bool held = (fromZero & pad::kKeys[key]) == 0 && (fromOnes & pad::kKeys[key]) == 0;
      if (held) found[key] = b + 1;
    }
  }
  return found;
}

int PluginTest::ProbeThreshold() {
  int low = 0, high = 32768;  // Right is held from some push in [low, high]
  while (low < high) {
    const int mid = (low + high) / 2;
    stick_->SetAxis(0, static_cast<int16_t>(mid));
    if ((plugin_.Poll(~0ul) & pad::Right) == 0) {
      high = mid;
    } else {
      low = mid + 1;
    }
  }
  stick_->SetAxis(0, 0);
  plugin_.Poll(0);
  return low;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

bool PollUntil(const Plugin& plugin, unsigned long in, const std::function<bool(unsigned long)>& done,
               std::chrono::milliseconds limit) {
  return WaitUntil([&] { return done(plugin.Poll(in)); }, limit);
}

std::chrono::milliseconds PluginTest::PressUntilHeld(int button, unsigned long key,
                                                     std::chrono::milliseconds limit,
                                                     const std::function<unsigned long()>& read) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  auto pressed = start;
  stick_->SetButton(button, true);
  while (Clock::now() - start < limit) {
    const unsigned long word = read ? read() : plugin_.Poll(~0ul);
    if ((word & key) == 0) return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    if (Clock::now() - pressed > std::chrono::milliseconds(250)) {
      stick_->SetButton(button, false);
      stick_->SetButton(button, true);
      pressed = Clock::now();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return limit;
}
