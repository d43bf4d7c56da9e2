#pragma once
// The operations both device drivers offer. The runner and the servers are
// written once over this interface and never ask which platform is behind
// it: where the platforms differ (the iOS shim can find an element by
// selector itself, Android cannot), the driver says so through the native
// operations at the end.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/errors.hpp"
#include "core/types.hpp"

namespace vyx {

class TraceWriter;

// An action on the element a selector picks, as a driver may perform it
// itself.
struct SelectorAction {
  enum class Kind : uint8_t { tap, typeText, eraseText };
  Kind kind = Kind::tap;
  std::string_view text{};  // typeText: the text to type
  uint32_t maxChars = 0;    // eraseText: the most characters to erase
};

// What became of a native selector action.
enum class NativeAction : uint8_t {
  performed,    // the driver acted on the element
  unavailable,  // nothing was done: the caller finds the element in a snapshot
};

class Device {
 public:
  virtual ~Device() = default;

  // The app life cycle of the configured app.
  virtual Status launch() = 0;
  virtual Status stop() = 0;
  virtual Status clearState() = 0;
  virtual Status install(std::string_view path) = 0;
  virtual Status openLink(std::string_view url) = 0;

  // Input on whatever has the focus, and gestures.
  virtual Status typeText(std::string_view text) = 0;
  virtual Status eraseText(uint32_t maxChars) = 0;
  virtual Status pressBack() = 0;
  virtual Status hideKeyboard() = 0;
  virtual Status swipe(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t durationMs) = 0;
  // Taps at a point of the screen.
  virtual Status tapPoint(int32_t x, int32_t y) = 0;
  // Lets the screen come to rest: a shim "settle" of 500 ms, or a 500 ms pause.
  virtual Status settle() = 0;

  // One observation of the screen. With a trace writer, artifacts (screenshot,
  // UI tree, snapshot id) go into its trace.
  virtual Expected<ObservationSnapshot> snapshot(TraceWriter* trace) = 0;

  // The devices of this driver's kind that the tools list: Android devices of
  // `adb devices`; iOS physical devices for a physical driver, else the booted
  // simulators.
  virtual Expected<std::vector<DeviceInfo>> listDevices() = 0;

  // ---- native selector operations ----

  // Whether the waits of the runner ask the driver first (nativeVisible) in
  // every polling cycle, a cycle that starts past the deadline ending the
  // wait as a native time-out. iOS drivers do, with or without a shim; a
  // driver that does not is polled through snapshots alone.
  virtual bool waitsNatively() const { return false; }

  // Whether an element matching the selector exists, asked of the device
  // itself and bounded by timeoutMs. nullopt when the driver cannot answer
  // for this selector (always on Android).
  virtual Expected<std::optional<bool>> nativeVisible(const Selector& selector, uint64_t timeoutMs) {
    (void)selector;
    (void)timeoutMs;
    return std::optional<bool>();
  }

  // Performs the action on the element the selector picks, without a
  // snapshot. `unavailable` (always on Android) leaves the device untouched.
  virtual Expected<NativeAction> nativeSelectorAction(const SelectorAction& action, const Selector& selector) {
    (void)action;
    (void)selector;
    return NativeAction::unavailable;
  }
};

}  // namespace vyx
