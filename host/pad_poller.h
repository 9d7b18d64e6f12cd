// Polls the plug-in's RunFunc at 60 Hz on a thread of its own, as a real host
// polls from its emulation thread, and reports each change of the pad word.
#ifndef KELVO_HOST_PAD_POLLER_H
#define KELVO_HOST_PAD_POLLER_H

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

class PadPoller {
 public:
  using RunFn = int32_t (*)(unsigned long*);
  using ChangeFn = void (*)(unsigned long word);

  ~PadPoller() { Stop(); }
  void Start(RunFn run, ChangeFn changed);
  void Stop();
  // Held, no poll runs: for asking SDL something while the plug-in is not
  // using it from the polling thread.
  std::mutex& pause() { return pause_; }

 private:
  void Loop();

  RunFn run_ = nullptr;
  ChangeFn changed_ = nullptr;
  std::atomic<bool> stopping_{false};
  std::mutex pause_;
  std::thread thread_;
};

#endif
