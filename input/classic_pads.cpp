// Classic SDL 1.2 lists joysticks from /dev/input (js*, event*) and the
// paths in SDL_JOYSTICK_DEVICE, and at each update reads the open one until
// nothing is left (EAGAIN). A read that ends otherwise says the pad went:
// the kernel answers ENODEV on the node of a device that is gone, however
// soon a new device takes the node's name. While no pad is open, an inotify
// watch on those folders says one may have arrived.
#include <limits.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "input/pad_backend.h"
#include "input/sdl_session.h"

namespace {

constexpr int kMaxFolders = 8;

struct Folder {
  int wd;
  char path[PATH_MAX];
  char only[NAME_MAX + 1];  // the one name SDL lists here, or empty for js* and event*
};

// Everything the watch knows, in one place. Plain arrays: nothing here may
// fail to allocate, and the unload may come after C++ objects are gone.
struct Watch {
  DeviceLooks looks;
  int64_t retryAt = 0;  // a watch could not be made: try again then
  int inotifyFd = -1;
  Folder folders[kMaxFolders];
  int folderCount = 0;
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

// Watches every folder not watched yet. The descriptor is kept from one
// listing to the next: closing one waits for the kernel's grace period
// (about 30 ms here). Adding a folder watched already keeps its watch.
// Returns whether a folder's watch was made just now.
bool MakeWatch(int64_t now) {
  if (watch.inotifyFd < 0) watch.inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  bool made = false, missing = watch.inotifyFd < 0;
  for (int f = 0; f < watch.folderCount && watch.inotifyFd >= 0; ++f) {
    Folder& folder = watch.folders[f];
    if (folder.wd >= 0) continue;
    folder.wd = inotify_add_watch(watch.inotifyFd, folder.path,
                                  IN_CREATE | IN_ATTRIB | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM);
    made = made || folder.wd >= 0;
    missing = missing || folder.wd < 0;
  }
  // A folder that is not there yet (or the watch itself) is tried again later.
  watch.retryAt = missing ? now + DeviceLooks::kRetryNs : INT64_MAX;
  return made;
}

// Reads what inotify has queued, without blocking and without allocating:
// a node that may be a joystick appeared or changed its permissions, or a
// watched folder went (its watch is made again when it comes back).
void ReadArrivals(int64_t now) {
  alignas(inotify_event) static char buffer[4096];
  bool arrived = false;
  ssize_t n;
  while (watch.inotifyFd >= 0 && (n = read(watch.inotifyFd, buffer, sizeof(buffer))) > 0) {
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      arrived = arrived || (event->mask & IN_Q_OVERFLOW) != 0;
      for (int f = 0; f < watch.folderCount; ++f) {
        Folder& folder = watch.folders[f];
        if (folder.wd != event->wd) continue;
        if ((event->mask & IN_IGNORED) != 0) {
          folder.wd = -1;
          watch.retryAt = now + DeviceLooks::kRetryNs;
        } else if ((event->mask & (IN_DELETE | IN_MOVED_FROM)) == 0 && event->len > 0) {
          arrived = arrived || IsCandidate(folder, event->name);
        }
      }
    }
  }
  // Nodes made before their folder's watch was are not reported: list then too.
  if (now >= watch.retryAt && MakeWatch(now)) arrived = true;
  if (arrived) watch.looks.ListAfter(now, DeviceLooks::kSettleNs);
}

// Out of line, so that the polls' usual way through UpdateAndLook stays short.
__attribute__((noinline)) bool Look(bool padOpen, bool look) {
  const int64_t now = DeviceLooks::Now();
  if (!watch.looks.Due(now, look)) return false;
  KeepJoystickEventsOnlyForAReader();
  if (padOpen) return false;  // its failed reads tell of it going
  ReadArrivals(now);
  return watch.looks.ListDue(now);
}

bool ListMissing() { return false; }

bool Follow(bool, const char*) {
  FindFolders();
  watch.looks.listAt = -1;
  MakeWatch(DeviceLooks::Now());
  return true;
}

bool UpdateAndLook(bool padOpen, bool look) {
  if (padOpen) {
    errno = 0;
    SDL_JoystickUpdate();
    if (errno != EAGAIN && errno != EINTR) return true;  // the pad went
  }
  // With a pad open the look only keeps SDL's event setting right.
  return !watch.looks.SkipClock(padOpen, look) && Look(padOpen, look);
}

void ListLater() { watch.looks.ListAfter(DeviceLooks::Now(), DeviceLooks::kRetryNs); }

void Forget(bool) {
  if (watch.inotifyFd >= 0) close(watch.inotifyFd);
  watch.inotifyFd = -1;
  watch.looks.Reset();
  watch.retryAt = 0;
  watch.folderCount = 0;
}

}  // namespace

const PadBackend classicPads = {true,      ListMissing, RestartJoystickSubsystem, Follow, UpdateAndLook,
                                ListLater, Forget};
