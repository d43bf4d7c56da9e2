#pragma once
// The driver of one Android device or emulator for one app: every operation
// becomes one `adb` child process, or one Android shim request when a shim
// is configured and the shim can perform it.

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
#include "devices/android_device_info.hpp"
#include "devices/android_shell.hpp"
#include "devices/device.hpp"
#include "devices/shim_protocol.hpp"

namespace vyx {

using android_device_info::ActiveWindow;

class AndroidDevice final : public Device {
 public:
  // Output cap of the device commands (32 MiB) and their time-out.
  static constexpr size_t kOutputCap = 32u * 1024 * 1024;
  static constexpr uint64_t kAdbTimeoutMs = 15000;
  static constexpr uint64_t kInstallTimeoutMs = 120000;
  // Caps of "wm size", "wm density" and the log.
  static constexpr size_t kWmCap = 4096;
  static constexpr size_t kLogCap = 1024 * 1024;
  // The shim transport: 4 MiB per output, 5000 ms time-out, no retry.
  static constexpr size_t kShimCap = 4u * 1024 * 1024;
  static constexpr uint64_t kShimTimeoutMs = 5000;
  // The settle pause without a shim and the shim's settle duration.
  static constexpr uint32_t kSettleMs = 500;
  // openLink: attempts and the pause between them.
  static constexpr int kOpenLinkAttempts = 3;
  static constexpr uint64_t kOpenLinkPauseMs = 500;

  // The runner and the clock must outlive the driver.
  AndroidDevice(std::string adbPath, std::optional<std::string> serial, std::string appId,
                std::optional<std::string> shimPath, command::ProcessRunner& runner = command::realProcessRunner(),
                Clock& clock = systemClock());

  const std::string& adbPath() const { return adbPath_; }
  const std::optional<std::string>& serial() const { return serial_; }
  const std::string& appId() const { return appId_; }
  const std::optional<std::string>& shimPath() const { return shimPath_; }

  Status launch() override;
  Status stop() override;
  Status clearState() override;
  Status install(std::string_view apkPath) override;
  Status openLink(std::string_view url) override;
  Status typeText(std::string_view text) override;
  Status eraseText(uint32_t maxChars) override;
  Status pressBack() override;
  Status hideKeyboard() override;
  Status swipe(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t durationMs) override;
  Status settle() override;
  Status tapPoint(int32_t x, int32_t y) override;

  Expected<ObservationSnapshot> snapshot(TraceWriter* trace) override;
  Expected<std::vector<DeviceInfo>> listDevices() override;

  // The foreground package and activity from "dumpsys window"; both absent
  // when no marker line names them.
  Expected<ActiveWindow> activeWindow();

  // Runs the Android shim once with the request line on its standard input
  // and returns its standard output. AndroidShimRequired without a shim path.
  Expected<std::string> runShim(const shim_protocol::ShimCommand& command);

  // The full argument vector of an `adb` command: the adb path, "-s" and
  // the serial when one is set, then the arguments.
  std::vector<std::string> adbArgv(const android_shell::Args& args) const;

  // Runs `adb` with the arguments and returns the outcome unjudged.
  Expected<command::ExecResult> runAdbWithTimeout(const android_shell::Args& args, size_t maxBytes,
                                                  uint64_t timeoutMs);

 private:
  // Runs the command and judges it (time-out, then exit code 0).
  Status runAdbChecked(const android_shell::Args& args, size_t maxBytes = kOutputCap,
                       uint64_t timeoutMs = kAdbTimeoutMs);
  // Sends the request and checks the reply is ok.
  Status shimOk(const shim_protocol::ShimCommand& command);

  std::string adbPath_;
  std::optional<std::string> serial_;
  std::string appId_;
  std::optional<std::string> shimPath_;
  command::ProcessRunner* runner_;
  Clock* clock_;
};

}  // namespace vyx
