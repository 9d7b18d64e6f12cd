// A test's world: its own working directory, optionally a virtual joystick,
// the library loaded through dlopen, and a watcher that reads and dismisses
// message boxes. Each test runs in a process of its own (CTest runs them one
// by one), so SDL and the library start fresh every time.
#ifndef KELVO_TESTS_PLUGIN_FIXTURE_H
#define KELVO_TESTS_PLUGIN_FIXTURE_H

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "loader/plugin_loader.h"
#include "tests/support/dialogs.h"
#include "tests/support/scratch_dir.h"
#include "virtual_joystick/test_joystick.h"
#include "virtual_joystick/virtual_joystick.h"

// Pad-word bits, written out here rather than taken from the library.
namespace pad {
constexpr unsigned long A = 0x1, B = 0x2, Select = 0x4, Start = 0x8, L = 0x200, R = 0x100, X = 0x10000,
                        Y = 0x20000;
constexpr unsigned long Up = 0x40, Down = 0x80, Left = 0x20, Right = 0x10;
constexpr unsigned long kKeys[8] = {A, B, Select, Start, L, R, X, Y};
constexpr unsigned long kDirections = Up | Down | Left | Right;
constexpr unsigned long kOwned = 0x303FF;
}  // namespace pad

// Kelvo.ini text for a key map.
std::string ConfigText(const std::array<int, 8>& buttons, int threshold);

// Checks the condition about once a millisecond until it holds or the limit
// passes; whether it held. Every bounded wait of the tests is one of these.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit);

// Polls with the host's word `in` until done(word) holds, a millisecond
// apart, for at most limit; true when it held. For waiting on what the
// plug-in does by its own clock (noticing an unplug or a new pad).
bool PollUntil(const Plugin& plugin, unsigned long in, const std::function<bool(unsigned long)>& done,
               std::chrono::milliseconds limit = std::chrono::milliseconds(1000));

class PluginTest : public testing::Test {
 protected:
  void SetUp() override;

  // Attaches a virtual joystick of the backend that the linked SDL reads (see
  // test_joystick.h); NoJoystick removes it and points classic SDL at a path
  // with no device.
  void AttachJoystick(JoystickShape shape = {12, 2, 1});
  void NoJoystick();

  // Keys whose button the joystick has: which button (from 1) drives each
  // key, found by pressing every button in turn; 0 for a key without a
  // usable button.
  std::array<int, 8> ProbeButtons();
  // The smallest axis push (0 to 32767) that reads as Right; 32768 if none.
  int ProbeThreshold();
  // Holds the button (from 0) until read() gives a word with key held,
  // pressing it anew every 250 ms: classic SDL reads no starting state, so a
  // kernel pad's press made before SDL opened it is never seen (the FIFO
  // keeps its events queued for the open). read() polls by default. Returns
  // how long it took, or limit when the key never read held.
  std::chrono::milliseconds PressUntilHeld(int button, unsigned long key,
                                           std::chrono::milliseconds limit = std::chrono::milliseconds(1000),
                                           const std::function<unsigned long()>& read = nullptr);

  ScratchDir dir_;
  std::unique_ptr<TestJoystick> stick_;
  Plugin plugin_;
  std::unique_ptr<DialogWatcher> dialogs_;
};

#endif
