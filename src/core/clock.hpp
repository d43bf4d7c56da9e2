#pragma once
// Time as the program sees it: the wall clock in milliseconds and sleeping.
// Everything that waits or polls takes a Clock so tests can run without
// real sleeps.

#include <cstdint>

namespace vyx {

// a + b for deadlines, saturating at the int64 limits instead of overflowing.
int64_t saturatingAdd(int64_t a, int64_t b);

class Clock {
 public:
  virtual ~Clock() = default;
  // Wall-clock milliseconds since the Unix epoch (0 when unreadable).
  virtual int64_t nowMs() = 0;
  virtual void sleepMs(uint64_t ms) = 0;
};

// The real wall clock and nanosleep.
class SystemClock final : public Clock {
 public:
  int64_t nowMs() override;
  void sleepMs(uint64_t ms) override;
};

// The process-wide real clock.
Clock& systemClock();

// A clock that only moves when slept on or advanced; for tests.
class FakeClock final : public Clock {
 public:
  explicit FakeClock(int64_t startMs = 1700000000000) : now_(startMs) {}
  int64_t nowMs() override { return now_; }
  void sleepMs(uint64_t ms) override {
    ++sleeps_;
    sleptMs_ += ms;
    now_ = saturatingAdd(now_, ms > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(ms));
  }
  void advance(int64_t ms) { now_ = saturatingAdd(now_, ms); }
  uint64_t sleeps() const { return sleeps_; }
  uint64_t sleptMs() const { return sleptMs_; }

 private:
  int64_t now_;
  uint64_t sleeps_ = 0;
  uint64_t sleptMs_ = 0;
};


}  // namespace vyx
