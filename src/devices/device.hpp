#pragma once
// The operations both device drivers offer. The runner and the servers are
// written once over this interface; the few places where the platforms
// differ ask kind().

#include <cstdint>
#include <string>
#include <string_view>

#include "core/errors.hpp"
#include "core/types.hpp"
#include "devices/ios_shim.hpp"

namespace vyx {

class TraceWriter;

enum class DeviceKind : uint8_t { Android, Ios };

class Device {
 public:
  virtual ~Device() = default;

  virtual DeviceKind kind() const = 0;
  virtual bool hasShim() const = 0;

  virtual Status launch() = 0;
  virtual Status stop() = 0;
  virtual Status clearState() = 0;
  virtual Status install(std::string_view path) = 0;
  virtual Status openLink(std::string_view url) = 0;
  virtual Status typeText(std::string_view text) = 0;
  virtual Status eraseText(uint32_t maxChars) = 0;
  virtual Status pressBack() = 0;
  virtual Status hideKeyboard() = 0;
  virtual Status swipe(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t durationMs) = 0;
  // Lets the screen come to rest: a shim "settle" of 500 ms, or a 500 ms pause.
  virtual Status settle() = 0;

  // One observation of the screen. With a trace writer, artifacts (screenshot,
  // UI tree, snapshot id) go into its trace.
  virtual Expected<ObservationSnapshot> snapshot(TraceWriter* trace) = 0;

  // Taps at a point: Android through the shim or `adb shell input tap`, iOS
  // through the shim; the reply must be ok.
  virtual Status tapPoint(int32_t x, int32_t y) = 0;

  // Sends one shim request and returns the reply text. Android uses its
  // fixed 5000 ms transport; iOS its environment time-out and retry.
  virtual Expected<std::string> runShim(const ios_shim::ShimCommand& command) = 0;

  // iOS: the same with an explicit time-out. Android: runShim.
  virtual Expected<std::string> runShimWithTimeout(const ios_shim::ShimCommand& command, uint64_t timeoutMs) {
    (void)timeoutMs;
    return runShim(command);
  }

  // iOS native selector action: true when the shim performed it, false when
  // the caller should fall back to snapshots. Android never performs one.
  virtual Expected<bool> runShimSelectorAction(const ios_shim::ShimCommand& command, const Selector& selector) {
    (void)command;
    (void)selector;
    return false;
  }
};

}  // namespace vyx
