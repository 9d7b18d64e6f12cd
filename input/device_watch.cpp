// How a change is noticed, from the polls themselves (no thread of its own),
// with a system call only every few milliseconds, timed by
// CLOCK_MONOTONIC_COARSE (read without a system call):
//
// Classic SDL 1.2 keeps the last state of a device whose read fails. Each
// update reads the device until nothing is left (EAGAIN); a read that ends
// otherwise (end of file, ENODEV) makes the poll check at once, and so does a
// check every 64 ms. When joystick 0 opens, the descriptor SDL opened for it
// is found (the one that appeared in /proc/self/fd) and duplicated; a device
// node that was removed (a pad unplugged, the test rig's FIFO deleted) has no
// links left, which one fstat shows. While no joystick is open, every 4 ms
// tick reads inotify (without blocking), which watches /dev/input and the
// folders named in SDL_JOYSTICK_DEVICE, counting only names SDL may list
// (js*, event*, or the names in SDL_JOYSTICK_DEVICE).
//
// On sdl12-compat, SDL 2 underneath knows: the joystick is the SDL 2 device
// with the same name, looked up by instance ID (new devices get new IDs).
#include "input/device_watch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <linux/limits.h>
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "input/sdl_session.h"

namespace {

constexpr int64_t kCheckIntervalNs = 4000000;
// A node just created may not be ready (a FIFO without its writer yet, a
// device whose permissions udev has not set): listing waits this long.
constexpr int64_t kSettleNs = 20000000;

int64_t CoarseNow() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

constexpr int kTicksBetweenChecksWhileOpen = 16;
constexpr int kPollsPerClockRead = 16;
int pollsSinceClockRead = 0;

int64_t lastCheck = INT64_MIN / 2;
int64_t lastFailedReadCheck = INT64_MIN / 2;
int64_t arrivalSeen = -1;  // when a matching name appeared; -1 for none

// Classic SDL: SDL's descriptor for joystick 0 and a duplicate of it, and
// the inotify watch. The duplicate shares SDL's open file description, which
// is marked with O_APPEND (meaningless for reading): a descriptor at SDL's
// number without the mark is no longer the one SDL opened for us.
int sdlFd = -1;
int deviceFd = -1;
int inotifyFd = -1;
// Plain arrays: the library's unload runs after C++ objects are destroyed.
struct Watched {
  int wd;
  char name[NAME_MAX + 1];  // a name in SDL_JOYSTICK_DEVICE, or empty for /dev/input
};
constexpr int kMaxWatched = 8;
Watched watched[kMaxWatched];
int watchedCount = 0;

// sdl12-compat: SDL 2's functions, from the copy it loaded.
struct Sdl2 {
  int (*NumJoysticks)() = nullptr;
  int32_t (*DeviceInstanceId)(int) = nullptr;
  const char* (*NameForIndex)(int) = nullptr;
  void (*Update)() = nullptr;
  bool Load() {
    NumJoysticks = reinterpret_cast<int (*)()>(Sdl2Function("SDL_NumJoysticks"));
    DeviceInstanceId = reinterpret_cast<int32_t (*)(int)>(Sdl2Function("SDL_JoystickGetDeviceInstanceID"));
    NameForIndex = reinterpret_cast<const char* (*)(int)>(Sdl2Function("SDL_JoystickNameForIndex"));
    Update = reinterpret_cast<void (*)()>(Sdl2Function("SDL_JoystickUpdate"));
    return loaded();
  }
  bool loaded() const { return NumJoysticks && DeviceInstanceId && NameForIndex && Update; }
};
Sdl2 sdl2;
int32_t ourInstance = -1;
int32_t newestInstance = -1;

std::vector<int> OpenDescriptors() {
  std::vector<int> fds;
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return fds;
  const int own = dirfd(dir);
  while (const dirent* entry = readdir(dir)) {
    const int fd = std::atoi(entry->d_name);
    if (entry->d_name[0] != '.' && fd != own) fds.push_back(fd);
  }
  closedir(dir);
  std::sort(fds.begin(), fds.end());
  return fds;
}

// The descriptor SDL opened for the joystick: new since before, and a
// character device or a FIFO. Duplicated, so that it stays ours, and marked.
void FindNewDevice(const std::vector<int>& before) {
  for (int fd : OpenDescriptors()) {
    struct stat st;
    if (std::binary_search(before.begin(), before.end(), fd) || fstat(fd, &st) != 0) continue;
    if (!S_ISCHR(st.st_mode) && !S_ISFIFO(st.st_mode)) continue;
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_APPEND) != 0) return;
    sdlFd = fd;
    deviceFd = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    return;
  }
}

void Watch(const std::string& folder, const std::string& name) {
  if (watchedCount == kMaxWatched || name.size() > NAME_MAX) return;
  const int wd = inotify_add_watch(inotifyFd, folder.c_str(), IN_CREATE | IN_ATTRIB | IN_MOVED_TO);
  if (wd < 0) return;
  watched[watchedCount].wd = wd;
  std::memcpy(watched[watchedCount].name, name.c_str(), name.size() + 1);
  ++watchedCount;
}

// The inotify descriptor is kept from one listing to the next: closing one
// waits for the kernel's grace period (about 30 ms here), which a poll that
// picks up a pad should not. Adding a folder watched already keeps its watch.
void StartInotify() {
  watchedCount = 0;
  if (inotifyFd < 0) inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotifyFd < 0) return;
  Watch("/dev/input", "");
  const char* paths = std::getenv("SDL_JOYSTICK_DEVICE");
  std::string list = paths ? paths : "";
  for (size_t start = 0; start <= list.size();) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    const std::string path = list.substr(start, end - start);
    const size_t slash = path.rfind('/');
    if (!path.empty()) {
      Watch(slash == std::string::npos ? "." : path.substr(0, std::max<size_t>(slash, 1)),
            path.substr(slash == std::string::npos ? 0 : slash + 1));
    }
    start = end + 1;
  }
}

bool MatchesAJoystickName(const inotify_event* event) {
  if (event->mask & IN_Q_OVERFLOW) return true;
  if (event->len == 0) return false;
  for (int i = 0; i < watchedCount; ++i) {
    const Watched& w = watched[i];
    if (w.wd != event->wd) continue;
    if (w.name[0] == '\0') {
      return std::strncmp(event->name, "js", 2) == 0 || std::strncmp(event->name, "event", 5) == 0;
    }
    if (std::strcmp(w.name, event->name) == 0) return true;
  }
  return false;
}

// Reads what inotify has queued, without blocking and without allocating.
bool ArrivalQueued() {
  alignas(inotify_event) static char buffer[4096];
  bool seen = false;
  ssize_t n;
  while (inotifyFd >= 0 && (n = read(inotifyFd, buffer, sizeof(buffer))) > 0) {
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      seen = seen || MatchesAJoystickName(event);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  return seen;
}

int32_t NewestSdl2Instance() {
  int32_t newest = newestInstance;
  for (int i = 0, n = sdl2.NumJoysticks(); i < n; ++i) newest = std::max(newest, sdl2.DeviceInstanceId(i));
  return newest;
}

void RememberSdl2Device(const SDL_Joystick* opened) {
  ourInstance = -1;
  if (!sdl2.Load()) return;
  const char* name = opened ? SDL_JoystickName(0) : nullptr;
  for (int i = 0, n = sdl2.NumJoysticks(); name != nullptr && i < n && ourInstance < 0; ++i) {
    const char* candidate = sdl2.NameForIndex(i);
    if (candidate != nullptr && std::strcmp(candidate, name) == 0) ourInstance = sdl2.DeviceInstanceId(i);
  }
  newestInstance = NewestSdl2Instance();
}

bool Sdl2DevicePresent(int32_t instance) {
  for (int i = 0, n = sdl2.NumJoysticks(); i < n; ++i) {
    if (sdl2.DeviceInstanceId(i) == instance) return true;
  }
  return false;
}

}  // namespace

SDL_Joystick* OpenFirstJoystickAndWatch() {
  if (deviceFd >= 0) close(deviceFd);
  deviceFd = sdlFd = -1;
  arrivalSeen = -1;
  const bool onSdl2 = RunningOnSdl2();
  const std::vector<int> before = onSdl2 ? std::vector<int>() : OpenDescriptors();
  SDL_Joystick* opened = SDL_NumJoysticks() > 0 ? SDL_JoystickOpen(0) : nullptr;
  if (onSdl2) {
    RememberSdl2Device(opened);
  } else {
    if (opened != nullptr) FindNewDevice(before);
    StartInotify();
  }
  return opened;
}

bool DeviceCheckDue(bool joystickOpen) {
  // Classic SDL's reads tell of a device going away: with a joystick open
  // there the clock is read only every 16th poll, and a check runs every 16
  // ticks. SDL 2 is asked every tick.
  int64_t interval = kCheckIntervalNs;
  if (joystickOpen && !RunningOnSdl2()) {
    if (++pollsSinceClockRead < kPollsPerClockRead) return false;
    pollsSinceClockRead = 0;
    interval = kTicksBetweenChecksWhileOpen * kCheckIntervalNs;
  }
  const int64_t now = CoarseNow();
  if (now - lastCheck < interval) return false;
  lastCheck = now;
  return true;
}

bool FailedReadCheckDue() {
  const int64_t now = CoarseNow();
  if (now - lastFailedReadCheck < kCheckIntervalNs) return false;
  lastFailedReadCheck = now;
  return true;
}

DeviceChange CheckDevices(bool joystickOpen) {
  if (RunningOnSdl2()) {
    if (!sdl2.loaded() || !SDL_WasInit(SDL_INIT_JOYSTICK)) return DeviceChange::kNone;
    if (joystickOpen) {
      return ourInstance >= 0 && !Sdl2DevicePresent(ourInstance) ? DeviceChange::kGone : DeviceChange::kNone;
    }
    sdl2.Update();  // SDL 2 finds new devices during an update
    const int32_t newest = NewestSdl2Instance();
    if (newest == newestInstance) return DeviceChange::kNone;
    newestInstance = newest;
    return DeviceChange::kArrived;
  }
  if (joystickOpen) {
    struct stat st;
    const bool gone = deviceFd >= 0 && fstat(deviceFd, &st) == 0 && st.st_nlink == 0;
    return gone ? DeviceChange::kGone : DeviceChange::kNone;
  }
  const int64_t now = CoarseNow();
  if (ArrivalQueued() && arrivalSeen < 0) arrivalSeen = now;
  if (arrivalSeen < 0 || now - arrivalSeen < kSettleNs) return DeviceChange::kNone;
  arrivalSeen = -1;
  return DeviceChange::kArrived;
}

bool OpenedDeviceReplaced() {
  if (deviceFd < 0) return false;
  const int flags = fcntl(sdlFd, F_GETFL);
  return flags < 0 || (flags & O_APPEND) == 0;
}

void StopWatchingDevices() {
  if (deviceFd >= 0) close(deviceFd);
  if (inotifyFd >= 0) close(inotifyFd);
  deviceFd = sdlFd = inotifyFd = -1;
  watchedCount = 0;
  arrivalSeen = -1;
  ourInstance = -1;
  sdl2 = Sdl2();
}
