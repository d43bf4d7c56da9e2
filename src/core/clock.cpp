#include "core/clock.hpp"

#include <time.h>

#include <cerrno>
#include <limits>

#include "core/stdio.hpp"

namespace vyx {

int64_t SystemClock::monotonicMs() {
  timespec ts{};
  if (::clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return 0;
  return static_cast<int64_t>(ts.tv_sec) * 1000 + static_cast<int64_t>(ts.tv_nsec) / 1000000;
}

int64_t SystemClock::wallClockMs() { return stdio::wallClockMs(); }

void SystemClock::sleepMs(uint64_t ms) {
  timespec req{};
  req.tv_sec = static_cast<time_t>(ms / 1000);
  req.tv_nsec = static_cast<long>((ms % 1000) * 1000000);
  timespec rem{};
  while (::nanosleep(&req, &rem) != 0 && errno == EINTR) req = rem;
}

Clock& systemClock() {
  static SystemClock clock;
  return clock;
}

int64_t saturatingAdd(int64_t a, int64_t b) {
  int64_t out = 0;
  if (__builtin_add_overflow(a, b, &out)) {
    return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
  }
  return out;
}

}  // namespace vyx
