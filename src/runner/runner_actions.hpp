#pragma once
// Selector actions (tap, type and erase on the element a selector picks out
// of a fresh snapshot) and scrolling until an element shows.
//
// Each action is first offered to the device as a native selector action
// (the iOS shim performs those); the snapshot road is the fallback. There the
// element search runs for a fixed 5000 ms, observing every 500 ms, and fails
// at once on a snapshot error.
//
// The agent servers call tapSelector, typeTextSelector, eraseTextSelector and
// scrollUntilVisible for their single requests, with the session's device and
// trace writer (nullptr: nothing is recorded).

#include <cstdint>
#include <string_view>

#include "core/clock.hpp"
#include "core/errors.hpp"
#include "core/scenario.hpp"
#include "core/trace.hpp"
#include "core/types.hpp"
#include "devices/device.hpp"

namespace vyx::runner {

inline constexpr int64_t kActionDeadlineMs = 5000;

struct Point {
  int32_t x = 0;
  int32_t y = 0;
  bool operator==(const Point&) const = default;
};

// The first node in snapshot order that matches, is enabled, has a positive
// size and (with a known viewport) reaches into the viewport; nullptr when
// none does. The pointer lives as long as the snapshot.
const UiNode* findActionable(const ObservationSnapshot& snapshot, const Selector& selector);

// The centre of the node's bounds (halves truncated), clamped to 32 bits.
Point tapPointOf(const UiNode& node);

Status tapSelector(Device& device, const Selector& selector, TraceWriter* trace, Clock& clock = systemClock());
Status typeTextSelector(Device& device, const Selector& selector, std::string_view text, TraceWriter* trace,
                        Clock& clock = systemClock());
Status eraseTextSelector(Device& device, const Selector& selector, uint32_t maxChars, TraceWriter* trace,
                         Clock& clock = systemClock());

// The swipe of one scroll cycle for a viewport (0 dimensions fall back to
// 720 by 1280).
struct ScrollSwipe {
  int32_t x = 0;
  int32_t y1 = 0;
  int32_t y2 = 0;
  bool operator==(const ScrollSwipe&) const = default;
};
ScrollSwipe scrollGeometry(const Viewport& viewport, ScrollDirection direction);

// Swipes until a visible node matches (true) or the deadline passes (false).
Expected<bool> scrollUntilVisible(Device& device, const Selector& selector, uint64_t timeoutMs,
                                  ScrollDirection direction, TraceWriter* trace, Clock& clock = systemClock());

}  // namespace vyx::runner
