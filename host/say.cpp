#include "host/say.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {
std::mutex sayLock;
}

void Say(const char* format, ...) {
  std::lock_guard<std::mutex> hold(sayLock);
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}
