#!/bin/sh
# Runs in the kernel stage's VM, as root on the overlaid host tree: the pad
# tests of each build named, on uinput pads, in three configurations each:
#   classic        classic SDL 1.2 (the 64-bit one opens event nodes, the
#                  32-bit one joydev nodes)
#   compat-scan    sdl12-compat without udevd, SDL_JOYSTICK_DISABLE_UDEV=1
#                  (SDL 2 scans /dev/input itself, as in a container)
#   compat-udev    sdl12-compat with systemd-udevd running, as on a desktop
# Each test runs in a process of its own, straight from its program (the
# 32-bit ones natively: the guest's kernel runs them), because SDL and the
# library keep global state. Prints a pass count per configuration and word
# size; exits non-zero if any test failed.
#
#   kernel_guest.sh BUILD...
set -u
# What runs on the real pads, as program:test. Each test is a process that
# loads SDL and GTK, a few seconds under software emulation, so the stage's
# five minutes hold every behaviour in some configuration and the core ones
# (the pad word, a replug, the storm) in every one.
CORE="tests/test_joystick_test:TestJoystickTest.TheBackendIsTheOneTheLoadedSdlReads
tests/pad_word_test:PadWordTest.DirectionsFromHatAndStickAroundTheThreshold
tests/pad_word_test:PadWordTest.ButtonsEitherSideOfTheSixtyFourthDriveTheirKeys
tests/plugin_frame_test:FrameTest.RunRewritesOnePadWordAndNothingPastIt
tests/hotplug_test:HotplugTest.UnplugReleasesEveryHeldKeyAndDirectionAtTheNextPoll
tests/hotplug_test:DeviceChurnTest.AStormOfUnplugsAndPlugsEndsWithThePadRead"
SWITCH_ON="tests/test_joystick_test:TestJoystickTest.AnUnpluggedJoystickTakesNoInputAndIsNotListed
tests/hotplug_test:HotplugTest.APadMissingAtSwitchOnIsPickedUpWhenPluggedIn
tests/pad_word_test:PadWordTest.AssignedKeysFollowTheirButtons"
OTHERS="tests/hotplug_test:DeviceChurnTest.OtherDevicesComingAndGoingLeaveAHeldKeyHeld"
# With udevd a node is readable before SDL hears of it (udev sets its mode
# first): the not-yet-readable node is a case of the runs without udevd.
UNREADABLE="tests/hotplug_test:DeviceChurnTest.APadWhoseNodeIsNotReadableYetIsReadOnceItIs"
# A pad put back at once, again and again; one the host's subsystem lists
# but that is gone as the plug-in opens it (an sdl12-compat case).
RAPID="tests/hotplug_test:DeviceChurnTest.APadUnpluggedAndPluggedRapidlyIsAlwaysFollowed"
GONE="tests/hotplug_test:DeviceChurnTest.APadGoneAsItIsOpenedIsNotFollowed"
CAPTURE="tests/ui/capture_test:CaptureTest.TheLowestHeldButtonIsAssignedLabelledAndSaved"
LIT="tests/ui/page_test:PageViewTest.AKeyLightsWhileItsButtonIsHeld"
# suites CONFIG ARCH: the list for one configuration.
suites() {
  case "$1 $2" in
    "classic amd64") echo "$CORE $SWITCH_ON $OTHERS $UNREADABLE $CAPTURE $LIT $RAPID" ;;
    "classic i386") echo "$CORE $SWITCH_ON $UNREADABLE $CAPTURE $RAPID" ;;
    "compat-scan amd64") echo "$CORE $OTHERS $UNREADABLE $RAPID $GONE" ;;
    "compat-udev amd64") echo "$CORE $OTHERS $LIT $GONE" ;;
    *) echo "$CORE" ;;
  esac
}
export KELVO_TEST_PAD=uinput KELVO_STORM_CYCLES="${KELVO_STORM_CYCLES:-300}"
export SDL_NO_SIGNAL_HANDLERS=1

# Polls for a condition, at most SECONDS, without a fixed wait.
wait_for() {
  seconds=$1
  shift
  end=$(($(date +%s) + seconds))
  until "$@"; do
    [ "$(date +%s)" -lt "$end" ] || return 1
    sleep 0.05
  done
}

Xvfb :7 -screen 0 1024x768x24 -nolisten tcp -noreset >/tmp/xvfb.log 2>&1 &
xvfb=$!
wait_for 60 test -S /tmp/.X11-unix/X7 || { echo "kelvo-guest: Xvfb did not start" && cat /tmp/xvfb.log; exit 92; }
export DISPLAY=:7

# The word size of a build: i386 when made with the 32-bit toolchain.
arch_of() { grep -q '^CMAKE_TOOLCHAIN_FILE.*i386' "$1/CMakeCache.txt" 2>/dev/null && echo i386 || echo amd64; }
compat_dir() { [ "$(arch_of "$1")" = i386 ] && echo /usr/lib/i386-linux-gnu/sdl12-compat ||
  echo /usr/lib/x86_64-linux-gnu/sdl12-compat; }

# run_suites CONFIG BUILD [VAR=VALUE...]: the tests of the configuration in
# BUILD, with the environment given.
run_suites() {
  config=$1 build=$2
  shift 2
  arch=$(arch_of "$build")
  passed=0 failed=0 names="" began=$(date +%s)
  for entry in $(suites "$config" "$arch"); do
    program="$build/${entry%%:*}" test="${entry#*:}"
    t0=$(date +%s)
    # A filter that matches no test passes in gtest: one must have run.
    if env "$@" timeout -k 5 60 "$program" --gtest_filter="$test" >/tmp/test.log 2>&1 &&
      grep -q '^\[  PASSED  \] 1 test\.$' /tmp/test.log; then
      passed=$((passed + 1))
      echo "kelvo-guest: ok $config $arch $test ($(($(date +%s) - t0)) s)"
    else
      failed=$((failed + 1)) names="$names $test"
      echo "kelvo-guest: FAILED $config $arch $test"
      tail -n 25 /tmp/test.log
    fi
  done
  total_failed=$((total_failed + failed))
  echo "kelvo-guest: $config $arch: $passed passed, $failed failed in $(($(date +%s) - began)) s$names"
}

total_failed=0
for build in "$@"; do
  run_suites classic "$build" KELVO_EXPECT_SDL=classic
  run_suites compat-scan "$build" KELVO_EXPECT_SDL=sdl12-compat SDL_JOYSTICK_DISABLE_UDEV=1 \
    LD_LIBRARY_PATH="$(compat_dir "$build")"
done
/lib/systemd/systemd-udevd --daemon >/tmp/udevd.log 2>&1
udevadm trigger --action=add >/dev/null 2>&1
udevadm settle -t 30 >/dev/null 2>&1
for build in "$@"; do
  run_suites compat-udev "$build" KELVO_EXPECT_SDL=sdl12-compat \
    LD_LIBRARY_PATH="$(compat_dir "$build")"
done
udevadm control --exit >/dev/null 2>&1
kill "$xvfb" 2>/dev/null
[ $total_failed = 0 ]
