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

// A clock that only moves when slept on or advanced; for tests. Both of its
// clocks start at `startMs` and move together, unless the wall clock is
// stepped on its own.
class FakeClock final : public Clock {
 public:
  explicit FakeClock(int64_t startMs = 1700000000000) : now_(startMs) {}
  int64_t monotonicMs() override { return now_; }
  int64_t wallClockMs() override { return saturatingAdd(now_, wallStep_); }
  void sleepMs(uint64_t ms) override {
    ++sleeps_;
    sleptMs_ += ms;
    now_ = saturatingAdd(now_, ms > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(ms));
  }
  void advance(int64_t ms) { now_ = saturatingAdd(now_, ms); }
  // Sets the wall clock forward (or back, when negative) as NTP would.
  void stepWallClock(int64_t ms) { wallStep_ = saturatingAdd(wallStep_, ms); }
  uint64_t sleeps() const { return sleeps_; }
  uint64_t sleptMs() const { return sleptMs_; }

 private:
  int64_t now_;
  int64_t wallStep_ = 0;
  uint64_t sleeps_ = 0;
  uint64_t sleptMs_ = 0;
};


}  // namespace vyx
