#include "runner/runner_actions.hpp"

#include <algorithm>
#include <limits>
#include <span>

#include "core/selector.hpp"
#include "core/trace_layout.hpp"
#include "runner/runner_diagnostics.hpp"
#include "runner/runner_events.hpp"
#include "runner/runner_native.hpp"
#include "runner/runner_waits.hpp"

namespace vyx::runner {
namespace {

constexpr int64_t kViewportFallbackWidth = 720;
constexpr int64_t kViewportFallbackHeight = 1280;
constexpr uint32_t kScrollSwipeMs = 350;

int32_t clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// Offers the action to the device itself first. Performed: records the ok
// event (`recordOk`) and settles, and the result is true. A failure is
// recorded as the native road's failure event and returned. False: the
// device cannot perform it, and the snapshot road has to be taken.
template <class RecordOk>
Expected<bool> tryNative(Device& device, const SelectorAction& action, const Selector& selector,
                         std::string_view kind, TraceWriter* trace, RecordOk&& recordOk) {
  Expected<NativeAction> native = device.nativeSelectorAction(action, selector);
  if (!native) {
    if (trace) {
      VYX_TRY(runner_native::recordSelectorActionFailure(*trace, kind, selector, native.error()));
    }
    return fail(native.error());
  }
  if (*native == NativeAction::unavailable) return false;
  if (trace) {
    VYX_TRY(recordOk(*trace));
  }
  VYX_TRY(device.settle());
  return true;
}

Status tapBySnapshot(Device& device, const Selector& selector, TraceWriter* trace, Clock& clock) {
  const int64_t deadline = saturatingAdd(clock.monotonicMs(), kActionDeadlineMs);
  uint32_t attempts = 1;
  for (;;) {
    VYX_TRY_ASSIGN(ObservationSnapshot snap, device.snapshot(trace));
    if (const UiNode* node = findActionable(snap, selector)) {
      const Point p = tapPointOf(*node);
      Status tapped = device.tapPoint(p.x, p.y);
      if (!tapped) return tapped;
      if (trace) {
        Status st = runner_events::recordTap(*trace, snap.id, node->stableId, p.x, p.y, attempts, selector);
        if (!st) return st;
      }
      return device.settle();
    }
    if (clock.monotonicMs() >= deadline) {
      if (trace) {
        Status st = runner_diagnostics::recordWithOptions(*trace, event_kinds::kUiTapNotFound, "not_found",
                                                          std::nullopt, std::span<const Selector>(&selector, 1),
                                                          snap, std::nullopt);
        if (!st) return st;
      }
      return fail(Error::SelectorNotFound);
    }
    pause(clock);
    if (attempts < std::numeric_limits<uint32_t>::max()) ++attempts;
  }
}

}  // namespace

const UiNode* findActionable(const ObservationSnapshot& snapshot, const Selector& selector) {
  const int64_t vw = snapshot.viewport.width;
  const int64_t vh = snapshot.viewport.height;
  for (const UiNode& node : snapshot.nodes) {
    if (!selector::matches(selector, node) || !node.enabled) continue;
    const int64_t x = node.bounds.x;
    const int64_t y = node.bounds.y;
    const int64_t w = node.bounds.width;
    const int64_t h = node.bounds.height;
    if (w <= 0 || h <= 0) continue;
    if (vw != 0 && vh != 0 && !(x + w > 0 && y + h > 0 && x < vw && y < vh)) continue;
    return &node;
  }
  return nullptr;
}

Point tapPointOf(const UiNode& node) {
  const int64_t x = static_cast<int64_t>(node.bounds.x) + node.bounds.width / 2;
  const int64_t y = static_cast<int64_t>(node.bounds.y) + node.bounds.height / 2;
  return Point{clamp32(x), clamp32(y)};
}

Status tapSelector(Device& device, const Selector& selector, TraceWriter* trace, Clock& clock) {
  const SelectorAction action{.kind = SelectorAction::Kind::tap};
  VYX_TRY_ASSIGN(bool done, tryNative(device, action, selector, event_kinds::kUiTap, trace, [&](TraceWriter& t) {
    return runner_native::recordSelectorAction(t, event_kinds::kUiTap, selector, std::nullopt);
  }));
  if (done) return {};
  return tapBySnapshot(device, selector, trace, clock);
}

namespace {

// The snapshot road of typing and erasing: tap the element (which settles),
// run the input, record its event, settle.
template <class Input, class Record>
Status tapThenInput(Device& device, const Selector& selector, TraceWriter* trace, Clock& clock, Input input,
                    Record record) {
  VYX_TRY(tapSelector(device, selector, trace, clock));
  VYX_TRY(input());
  if (trace) VYX_TRY(record(*trace));
  return device.settle();
}

}  // namespace

Status typeTextSelector(Device& device, const Selector& selector, std::string_view text, TraceWriter* trace,
                        Clock& clock) {
  const SelectorAction action{.kind = SelectorAction::Kind::typeText, .text = text};
  VYX_TRY_ASSIGN(bool done, tryNative(device, action, selector, event_kinds::kUiType, trace, [&](TraceWriter& t) {
    return runner_events::recordType(t, selector, text, true);
  }));
  if (done) return {};
  return tapThenInput(
      device, selector, trace, clock, [&] { return device.typeText(text); },
      [&](TraceWriter& t) { return runner_events::recordType(t, selector, text, false); });
}

Status eraseTextSelector(Device& device, const Selector& selector, uint32_t maxChars, TraceWriter* trace,
                         Clock& clock) {
  const SelectorAction action{.kind = SelectorAction::Kind::eraseText, .maxChars = maxChars};
  VYX_TRY_ASSIGN(bool done, tryNative(device, action, selector, event_kinds::kUiEraseText, trace, [&](TraceWriter& t) {
    return runner_native::recordSelectorAction(t, event_kinds::kUiEraseText, selector, maxChars);
  }));
  if (done) return {};
  return tapThenInput(
      device, selector, trace, clock, [&] { return device.eraseText(maxChars); },
      [&](TraceWriter& t) { return runner_events::recordEraseText(t, maxChars); });
}

ScrollSwipe scrollGeometry(const Viewport& viewport, ScrollDirection direction) {
  const int64_t w = viewport.width != 0 ? static_cast<int64_t>(viewport.width) : kViewportFallbackWidth;
  const int64_t h = viewport.height != 0 ? static_cast<int64_t>(viewport.height) : kViewportFallbackHeight;
  const int64_t low = (4 * h) / 5;
  const int64_t high = (3 * h) / 10;
  ScrollSwipe out;
  out.x = clamp32(w / 2);
  out.y1 = clamp32(direction == ScrollDirection::down ? low : high);
  out.y2 = clamp32(direction == ScrollDirection::down ? high : low);
  return out;
}

Expected<bool> scrollUntilVisible(Device& device, const Selector& selector, uint64_t timeoutMs,
                                  ScrollDirection direction, TraceWriter* trace, Clock& clock) {
  constexpr std::string_view kind = event_kinds::kUiScrollUntilVisible;
  const int64_t deadline = deadlineAfter(clock, timeoutMs);
  for (;;) {
    Expected<ObservationSnapshot> snap = device.snapshot(trace);
    if (!snap) {
      VYX_TRY(retryObservation(snap.error(), deadline, trace, kind, clock));
      continue;
    }
    for (const UiNode& node : snap->nodes) {
      if (!selector::matches(selector, node)) continue;
      if (trace) {
        VYX_TRY(runner_events::recordScrollFound(*trace, node.stableId, selector, direction, timeoutMs));
      }
      return true;
    }
    if (clock.monotonicMs() >= deadline) {
      if (trace) {
        VYX_TRY(runner_diagnostics::recordWithOptions(*trace, kind, "timeout", std::nullopt,
                                                      std::span<const Selector>(&selector, 1), *snap,
                                                      std::nullopt));
      }
      return false;
    }
    const ScrollSwipe s = scrollGeometry(snap->viewport, direction);
    VYX_TRY(device.swipe(s.x, s.y1, s.x, s.y2, kScrollSwipeMs));
    if (trace) VYX_TRY(runner_events::recordScroll(*trace, direction, s.x, s.y1, s.y2));
    VYX_TRY(device.settle());
  }
}

}  // namespace vyx::runner
