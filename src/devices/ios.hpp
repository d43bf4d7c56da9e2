#pragma once
// The driver of one iOS target for one app: a simulator through
// `xcrun simctl` or a physical device through `xcrun devicectl`. The app life
// cycle goes to those tools; everything that sees or touches the screen goes
// to the iOS shim, started anew for every request.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.hpp"
#include "core/command.hpp"
#include "core/errors.hpp"
#include "core/types.hpp"
#include "devices/device.hpp"
#include "devices/shim_protocol.hpp"

namespace vyx {

class IosDevice final : public Device {
 public:
  // Output cap of the simctl app-life-cycle and screenshot commands.
  static constexpr size_t kSimctlCap = 32u * 1024 * 1024;
  // Output cap of the simulator log.
  static constexpr size_t kLogCap = 1024 * 1024;
  // Largest screenshot file read back from the simulator.
  static constexpr size_t kScreenshotFileLimit = 32u * 1024 * 1024;
  // The shim transport: 4 MiB per output; the time-out without (or with an
  // unusable) VYX_IOS_SHIM_TIMEOUT_MS; the pause before the one retry.
  static constexpr size_t kShimCap = 4u * 1024 * 1024;
  static constexpr uint64_t kDefaultShimTimeoutMs = 5400000;
  static constexpr uint64_t kShimRetryPauseMs = 500;
  // Fixed time-out of the "appState" and "acceptSystemAlert" requests.
  static constexpr uint64_t kShortShimTimeoutMs = 10000;
  // settle: the shim's settle duration, or the pause without a shim.
  static constexpr uint32_t kSettleMs = 500;
  // openLink on a simulator: "acceptSystemAlert" requests and the pause between them.
  static constexpr int kAlertAttempts = 8;
  static constexpr uint64_t kAlertPauseMs = 1000;

  // Copies the strings. The runner and the clock must outlive the driver.
  IosDevice(std::string xcrunPath, std::optional<std::string> deviceId, std::string appId, bool physical,
            std::optional<std::string> shimPath, command::ProcessRunner& runner = command::realProcessRunner(),
            Clock& clock = systemClock());

  const std::string& xcrunPath() const { return xcrunPath_; }
  const std::optional<std::string>& deviceId() const { return deviceId_; }
  const std::string& appId() const { return appId_; }
  const std::optional<std::string>& shimPath() const { return shimPath_; }
  bool physical() const { return physical_; }
  // The device argument of every simctl and devicectl command: the device
  // id, or "booted" without one.
  std::string_view device() const { return deviceId_ ? std::string_view(*deviceId_) : "booted"; }

  Status launch() override;
  Status stop() override;
  Status clearState() override;
  Status install(std::string_view appPath) override;
  Status openLink(std::string_view url) override;
  Status typeText(std::string_view text) override;
  Status eraseText(uint32_t maxChars) override;
  Status pressBack() override;
  Status hideKeyboard() override;
  Status swipe(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t durationMs) override;
  Status settle() override;
  Status tapPoint(int32_t x, int32_t y) override;

  Expected<ObservationSnapshot> snapshot(TraceWriter* trace) override;
  // Physical devices through devicectl for a physical driver, else the
  // booted simulators.
  Expected<std::vector<DeviceInfo>> listDevices() override;

  // The native selector road: every wait cycle asks the shim first.
  bool waitsNatively() const override { return true; }
  // A "query" request with the selector text and max(timeoutMs, 1) as its
  // time-out; nullopt (nothing sent) without a shim or for a selector that
  // is not one "<key>=<value>".
  Expected<std::optional<bool>> nativeVisible(const Selector& selector, uint64_t timeoutMs) override;
  // A "tap", "type" or "eraseText" request with the selector text:
  // unavailable (nothing sent) without a shim or for a selector that is not
  // one "<key>=<value>"; unavailable when the shim answers
  // "selector.not_found" or "selector.not_hittable"; performed when it
  // answers ok.
  Expected<NativeAction> nativeSelectorAction(const SelectorAction& action, const Selector& selector) override;

  // The shared physical launch of launch and openLink.
  Status launchPhysical(std::optional<std::string_view> url);

  // Runs the shim with the time-out of VYX_IOS_SHIM_TIMEOUT_MS (read on
  // every call).
  Expected<std::string> runShim(const shim_protocol::ShimCommand& command);

  // Runs the shim with the request line on its standard input and returns
  // its standard output. A run that exits non-zero while the shim's server
  // was not yet ready is repeated once after 500 ms.
  Expected<std::string> runShimWithTimeout(const shim_protocol::ShimCommand& command, uint64_t timeoutMs);

 private:
  Status runSimctl(const std::vector<std::string>& args, std::optional<std::string_view> tolerated = std::nullopt);
  Status runDevicectl(const std::vector<std::string>& args, std::optional<std::string_view> tolerated = std::nullopt);
  Status shimOk(const shim_protocol::ShimCommand& command);
  bool appReportedRunning();
  void acceptOpenAlerts();
  Status stopPhysical();
  std::optional<std::string> captureScreenshot();
  std::optional<std::string> captureSimulatorLog();

  std::string xcrunPath_;
  std::optional<std::string> deviceId_;
  std::string appId_;
  std::optional<std::string> shimPath_;
  bool physical_;
  command::ProcessRunner* runner_;
  Clock* clock_;
};

namespace ios {

// The shim time-out that VYX_IOS_SHIM_TIMEOUT_MS gives: an unsigned decimal
// (a leading "+" and underscores between digits allowed); absent, empty, not
// a number, too large or 0 give the 90-minute default.
uint64_t shimTimeoutFromEnv(const char* value);

}  // namespace ios

}  // namespace vyx
