/* Answers the joystick driver's count queries for FIFOs that stand in for a
 * joystick device. SDL 1.2 asks a device for its button and axis counts with
 * ioctl; a FIFO cannot answer, and SDL would then assume two buttons. This
 * definition is exported from the executable, so SDL's calls reach it first;
 * everything that is not a count query on a registered FIFO goes on to the C
 * library's ioctl. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <linux/joystick.h>
#include <pthread.h>
#include <stdarg.h>
#include <sys/stat.h>

#include "virtual_joystick/joystick_ioctl.h"

#define MAX_FIFOS 8

struct fifo_counts {
  dev_t dev;
  ino_t ino;
  int buttons;
  int axes;
  int used;
};

static struct fifo_counts fifos[MAX_FIFOS];
static pthread_mutex_t fifos_lock = PTHREAD_MUTEX_INITIALIZER;

int kelvo_vjoy_register_fifo(const char* path, int buttons, int axes) {
  struct stat st;
  if (stat(path, &st) != 0 || !S_ISFIFO(st.st_mode)) return -1;
  int result = -1;
  pthread_mutex_lock(&fifos_lock);
  for (int i = 0; i < MAX_FIFOS; ++i) {
    if (!fifos[i].used || (fifos[i].dev == st.st_dev && fifos[i].ino == st.st_ino)) {
      fifos[i] = (struct fifo_counts){st.st_dev, st.st_ino, buttons, axes, 1};
      result = 0;
      break;
    }
  }
  pthread_mutex_unlock(&fifos_lock);
  return result;
}

void kelvo_vjoy_unregister_fifo(const char* path) {
  struct stat st;
  if (stat(path, &st) != 0) return;
  pthread_mutex_lock(&fifos_lock);
  for (int i = 0; i < MAX_FIFOS; ++i) {
    if (fifos[i].used && fifos[i].dev == st.st_dev && fifos[i].ino == st.st_ino) fifos[i].used = 0;
  }
  pthread_mutex_unlock(&fifos_lock);
}

static int lookup(int fd, int* buttons, int* axes) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode)) return 0;
  int found = 0;
  pthread_mutex_lock(&fifos_lock);
  for (int i = 0; i < MAX_FIFOS; ++i) {
    if (fifos[i].used && fifos[i].dev == st.st_dev && fifos[i].ino == st.st_ino) {
      *buttons = fifos[i].buttons;
      *axes = fifos[i].axes;
      found = 1;
      break;
    }
  }
  pthread_mutex_unlock(&fifos_lock);
  return found;
}

typedef int (*ioctl_fn)(int, unsigned long, ...);

int ioctl(int fd, unsigned long request, ...) {
  va_list args;
  va_start(args, request);
  void* argument = va_arg(args, void*);
  va_end(args);

  int buttons, axes;
  if ((request == JSIOCGBUTTONS || request == JSIOCGAXES) && lookup(fd, &buttons, &axes)) {
    *(unsigned char*)argument = (unsigned char)(request == JSIOCGBUTTONS ? buttons : axes);
    return 0;
  }
  static ioctl_fn next;
  if (next == NULL) next = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
  return next(fd, request, argument);
}
