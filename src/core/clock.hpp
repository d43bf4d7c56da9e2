#pragma once
// Time as the program sees it: a monotonic clock for every deadline and
// duration, the wall clock for the times that are written down, and
// sleeping. Everything that waits or polls takes a Clock so tests can run
// without real sleeps.

#include <cstdint>

namespace vyx {

// a + b for deadlines, saturating at the int64 limits instead of overflowing.
int64_t saturatingAdd(int64_t a, int64_t b);

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds of a clock that never steps (NTP or a user setting the time
  // leave it alone), from an arbitrary start: for deadlines and durations.
  virtual int64_t monotonicMs() = 0;
  // Wall-clock milliseconds since the Unix epoch (0 when unreadable): only
  // for times that are written down, never for waiting.
  virtual int64_t wallClockMs() = 0;
  virtual void sleepMs(uint64_t ms) = 0;
};

// The real clocks and nanosleep.
class SystemClock final : public Clock {
 public:
  int64_t monotonicMs() override;
  int64_t wallClockMs() override;
  void sleepMs(uint64_t ms) override;
};

// The process-wide real clock.
Clock& systemClock();

}  // namespace vyx
