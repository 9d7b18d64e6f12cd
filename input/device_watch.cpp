// Classic SDL 1.2 lists joysticks from /dev/input (js*, event*) and the paths
// in SDL_JOYSTICK_DEVICE, watched here with inotify. Only a node that may be
// joystick 0's going (its path is SDL's name for it, or its device reports
// that name) lists again, so a keyboard coming and going never disturbs a
// held pad. sdl12-compat's joystick is followed by its SDL 2 instance ID.
#include "input/device_watch.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/input.h>
#include <linux/joystick.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "input/sdl_session.h"

namespace {

constexpr int64_t kTickNs = 4000000;
// A node just made may not be ready (udev sets its permissions after): a
// listing waits this long after one appears.
constexpr int64_t kSettleNs = 20000000;
constexpr int64_t kRetryNs = 1000000000;
constexpr int kMaxFolders = 8;
constexpr int kMaxNodes = 8;

int64_t CoarseNow() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

struct Folder {
  int wd;
  char path[PATH_MAX];
  char only[NAME_MAX + 1];  // the one name SDL lists here, or empty for js* and event*
};

struct Node {
  int wd;
  char name[NAME_MAX + 1];
};

// Everything the watch knows, in one place. Plain arrays: nothing here may
// fail to allocate, and the unload may come after C++ objects are gone.
struct Watch {
  int64_t lastLook = INT64_MIN / 2;
  unsigned polls = 0;
  int64_t listAt = -1;  // list the joysticks then (a node arrived, or listing had to wait)
  int64_t retryAt = 0;  // the inotify watch could not be made: try again then
  int inotifyFd = -1;
  Folder folders[kMaxFolders];
  int folderCount = 0;
  Node ours[kMaxNodes];  // nodes that may be joystick 0's
  int ourCount = 0;
  bool oursUnknown = false;
  // sdl12-compat: SDL 2's functions, and the instances followed.
  int (*NumJoysticks)() = nullptr;
  int32_t (*InstanceOf)(int) = nullptr;
  const char* (*NameOf)(int) = nullptr;
  void (*Update)() = nullptr;
  int32_t instance = -1;  // the open joystick's
  int32_t newest = -1;    // the newest seen
  // SDL's name for the joystick opened: classic SDL opens the device for
  // every SDL_JoystickName, so it is asked once.
  char name[128] = "";
};
Watch watch;

bool IsCandidate(const Folder& folder, const char* name) {
  if (folder.only[0] != '\0') return std::strcmp(folder.only, name) == 0;
  return std::strncmp(name, "js", 2) == 0 || std::strncmp(name, "event", 5) == 0;
}

void AddFolder(const char* path, const char* only) {
  if (watch.folderCount == kMaxFolders) return;
  Folder& folder = watch.folders[watch.folderCount];
  folder.wd = -1;
  if (std::snprintf(folder.path, sizeof(folder.path), "%s", path) >= static_cast<int>(sizeof(folder.path)) ||
      std::snprintf(folder.only, sizeof(folder.only), "%s", only) >= static_cast<int>(sizeof(folder.only))) {
    return;  // a name no folder can hold
  }
  ++watch.folderCount;
}

// /dev/input, and the folder of each path in SDL_JOYSTICK_DEVICE.
void FindFolders() {
  watch.folderCount = 0;
  AddFolder("/dev/input", "");
  static char list[kMaxFolders * PATH_MAX];
  const char* paths = std::getenv("SDL_JOYSTICK_DEVICE");
  std::snprintf(list, sizeof(list), "%s", paths != nullptr ? paths : "");
  char* rest = nullptr;
  for (char* path = strtok_r(list, ":", &rest); path != nullptr; path = strtok_r(nullptr, ":", &rest)) {
    char* slash = std::strrchr(path, '/');
    if (slash == nullptr) {
      AddFolder(".", path);
    } else {
      *slash = '\0';
      AddFolder(slash == path ? "/" : path, slash + 1);
    }
  }
}

// Whether the node may be the one SDL opened under this name: its path is
// the name, or its device reports it. A FIFO or a file is never opened.
bool NodeMayBe(const char* path, const char* sdlName) {
  if (std::strcmp(path, sdlName) == 0) return true;
  struct stat st;
  if (stat(path, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return true;  // cannot tell
  char name[128] = {};
  const bool named = ioctl(fd, EVIOCGNAME(sizeof(name) - 1), name) >= 0 ||
                     ioctl(fd, JSIOCGNAME(sizeof(name) - 1), name) >= 0;
  close(fd);
  return !named || std::strcmp(name, sdlName) == 0;
}

void NoteIfOurs(const Folder& folder, const char* name, const char* sdlName) {
  char path[PATH_MAX];
  const int n = std::snprintf(path, sizeof(path), "%s/%s", folder.path, name);
  if (n < 0 || n >= static_cast<int>(sizeof(path)) || !NodeMayBe(path, sdlName)) return;
  if (watch.ourCount == kMaxNodes) {
    watch.oursUnknown = true;
    return;
  }
  Node& node = watch.ours[watch.ourCount++];
  node.wd = folder.wd;
  std::snprintf(node.name, sizeof(node.name), "%s", name);
}

void NoteOurNodes(const char* sdlName) {
  watch.ourCount = 0;
  watch.oursUnknown = false;
  for (int f = 0; f < watch.folderCount && sdlName != nullptr; ++f) {
    const Folder& folder = watch.folders[f];
    if (folder.only[0] != '\0') {
      NoteIfOurs(folder, folder.only, sdlName);
      continue;
    }
    DIR* dir = opendir(folder.path);
    while (const dirent* entry = dir ? readdir(dir) : nullptr) {
      if (IsCandidate(folder, entry->d_name)) NoteIfOurs(folder, entry->d_name, sdlName);
    }
    if (dir != nullptr) closedir(dir);
  }
}

bool IsOurs(const inotify_event* event) {
  for (int i = 0; i < watch.ourCount; ++i) {
    if (watch.ours[i].wd == event->wd && std::strcmp(watch.ours[i].name, event->name) == 0) return true;
  }
  return watch.oursUnknown;
}

// The descriptor is kept from one listing to the next: closing one waits
// for the kernel's grace period (about 30 ms here). Adding a folder watched
// already keeps its watch.
bool MakeWatch(int64_t now) {
  if (watch.inotifyFd < 0) watch.inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (watch.inotifyFd < 0) watch.retryAt = now + kRetryNs;
  for (int f = 0; f < watch.folderCount && watch.inotifyFd >= 0; ++f) {
    watch.folders[f].wd = inotify_add_watch(watch.inotifyFd, watch.folders[f].path,
                                            IN_CREATE | IN_ATTRIB | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM);
  }
  return watch.inotifyFd >= 0;
}

// Reads what inotify has queued, without blocking and without allocating.
bool ClassicDevicesChanged(bool joystickOpen, bool readFailed, int64_t now) {
  if (watch.inotifyFd < 0) {
    // Nothing tells what came or went meanwhile: a joystick that could not
    // be read may have gone, and with none open the joysticks are listed.
    const bool made = now >= watch.retryAt && MakeWatch(now);
    return joystickOpen ? readFailed : made;
  }
  alignas(inotify_event) static char buffer[4096];
  bool changed = false;
  ssize_t n;
  while ((n = read(watch.inotifyFd, buffer, sizeof(buffer))) > 0) {
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      const bool lost = (event->mask & IN_Q_OVERFLOW) != 0;
      const bool gone = (event->mask & (IN_DELETE | IN_MOVED_FROM)) != 0;
      if (joystickOpen) {
        changed = changed || lost || (gone && event->len > 0 && IsOurs(event));
        continue;
      }
      for (int f = 0; f < watch.folderCount && !gone && watch.listAt < 0; ++f) {
        const Folder& folder = watch.folders[f];
        if (lost || (folder.wd == event->wd && event->len > 0 && IsCandidate(folder, event->name))) {
          watch.listAt = now + kSettleNs;
        }
      }
    }
  }
  return changed;
}

bool Sdl2DevicesChanged(bool joystickOpen) {
  if (watch.Update == nullptr || !SDL_WasInit(SDL_INIT_JOYSTICK)) return false;
  if (joystickOpen) {
    for (int i = 0, n = watch.NumJoysticks(); i < n; ++i) {
      if (watch.InstanceOf(i) == watch.instance) return false;
    }
    return true;
  }
  watch.Update();  // SDL 2 finds new devices during an update
  int32_t newest = watch.newest;
  for (int i = 0, n = watch.NumJoysticks(); i < n; ++i) newest = std::max(newest, watch.InstanceOf(i));
  if (newest == watch.newest) return false;
  watch.newest = newest;
  return true;
}

template <typename Function>
bool Load(Function** function, const char* name) {
  *function = reinterpret_cast<Function*>(Sdl2Function(name));
  return *function != nullptr;
}

// The SDL 2 instance with SDL 1.2's name for joystick 0; -1 when SDL 2 no
// longer lists one (the pad went as it was opened).
int32_t Sdl2InstanceOf(const char* name) {
  if (!Load(&watch.NumJoysticks, "SDL_NumJoysticks") ||
      !Load(&watch.InstanceOf, "SDL_JoystickGetDeviceInstanceID") ||
      !Load(&watch.NameOf, "SDL_JoystickNameForIndex") || !Load(&watch.Update, "SDL_JoystickUpdate")) {
    watch.Update = nullptr;
    return -1;
  }
  // Only what this listing took in counts as seen: a pad SDL 2 found just
  // too late for sdl12-compat's list still arrives at the next look.
  for (int i = 0, n = watch.NumJoysticks(); name != nullptr && i < n; ++i) {
    const char* candidate = watch.NameOf(i);
    if (candidate == nullptr || std::strcmp(candidate, name) != 0) continue;
    watch.newest = std::max(watch.newest, watch.InstanceOf(i));
    return watch.InstanceOf(i);
  }
  return -1;
}

// The look itself, kept out of line so that the polls' usual way through
// DevicesChanged stays a few instructions long.
__attribute__((noinline)) bool Look(bool joystickOpen, bool readFailed, bool soon) {
  const int64_t now = CoarseNow();
  if (!soon && now - watch.lastLook < kTickNs) return false;
  watch.lastLook = now;
  KeepJoystickEventsOnlyForAReader();
  if (!joystickOpen && watch.listAt >= 0 && now >= watch.listAt) {
    watch.listAt = -1;
    return true;
  }
  return RunningOnSdl2() ? Sdl2DevicesChanged(joystickOpen)
                         : ClassicDevicesChanged(joystickOpen, readFailed, now);
}

}  // namespace

SDL_Joystick* OpenFirstJoystickAndWatch() {
  watch.listAt = -1;
  SDL_Joystick* opened = SDL_NumJoysticks() > 0 ? SDL_JoystickOpen(0) : nullptr;
  const char* sdlName = opened ? SDL_JoystickName(0) : nullptr;
  std::snprintf(watch.name, sizeof(watch.name), "%s", sdlName ? sdlName : "");
  if (RunningOnSdl2()) {
    watch.instance = Sdl2InstanceOf(sdlName);
    if (opened != nullptr && watch.instance < 0) {
      SDL_JoystickClose(opened);
      opened = nullptr;
    }
    return opened;
  }
  FindFolders();
  MakeWatch(CoarseNow());
  NoteOurNodes(sdlName);
  return opened;
}

bool DevicesChanged(bool joystickOpen, bool readFailed, bool lookNow) {
  // Classic SDL's failed reads tell of its device going at once: with a
  // joystick open there, the clock is read at every 16th poll only.
  const bool soon = lookNow || readFailed;
  if (!soon && joystickOpen && !RunningOnSdl2() && ++watch.polls % 16 != 0) return false;
  return Look(joystickOpen, readFailed, soon);
}

const char* OpenedJoystickName() { return watch.name; }

void ListAgainLater() { watch.listAt = CoarseNow() + kRetryNs; }

void StopWatchingDevices() {
  if (watch.inotifyFd >= 0) close(watch.inotifyFd);
  watch.inotifyFd = -1;
  watch.lastLook = INT64_MIN / 2;
  watch.listAt = -1;
  watch.retryAt = 0;
  watch.folderCount = watch.ourCount = 0;
  watch.oursUnknown = false;
  watch.Update = nullptr;
  watch.instance = watch.newest = -1;
  watch.name[0] = '\0';
}
