#pragma once
// The clock the tests drive by hand.

#include <cstdint>

#include "core/clock.hpp"

namespace vyx {

// A clock that only moves when slept on or advanced. Both of its
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
