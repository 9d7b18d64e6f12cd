// Held for the length of every call from the host's code into the plug-in:
// the entry points and the page's GTK handlers, timeouts and idles.
//
// No cancellation acts inside: the plug-in's reads, opens and sleeps are
// cancellation points, and a thread ended there would leave joyLock held for
// good, so that every later poll and the unload wait for ever. The caller's
// cancel state is put back on the way out, and a pending cancel then acts at
// the caller's next cancellation point. errno is put back too: the host's
// value must survive the plug-in's system calls.
#ifndef KELVO_PLUGIN_HOST_CALL_H
#define KELVO_PLUGIN_HOST_CALL_H

#include <pthread.h>

#include <cerrno>

class HostCall {
 public:
  HostCall() noexcept : errno_(errno) { pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &cancelState_); }
  ~HostCall() {
    pthread_setcancelstate(cancelState_, nullptr);
    errno = errno_;
  }
  HostCall(const HostCall&) = delete;
  HostCall& operator=(const HostCall&) = delete;

 private:
  int errno_;
  int cancelState_ = PTHREAD_CANCEL_ENABLE;
};

#endif
