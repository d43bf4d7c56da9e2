#pragma once
// Screen recording of an Android device while a traced scenario runs:
// `adb shell screenrecord` on the device, stopped with SIGINT afterwards and
// pulled into the trace's artifacts (trace_layout::kScreenRecordingFile).

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/command.hpp"
#include "core/errors.hpp"

namespace vyx {
class TraceWriter;
}

namespace vyx::android_screen_recording {

inline constexpr std::string_view kRemotePath = "/sdcard/vyx-trace-screenrecord.mp4";
inline constexpr uint64_t kAdbTimeoutMs = 15000;
inline constexpr size_t kSmallCap = 4096;
inline constexpr size_t kPullCap = 32 * 1024 * 1024;
// How long a recorder has to end after SIGINT before its process group gets
// SIGKILL.
inline constexpr uint64_t kStopGraceMs = 10000;

// Records "trace.screenRecording" announcing the pulled video:
// {"artifact":"artifacts/screenrecord.mp4"}.
Status recordRecordingEvent(TraceWriter& trace);

// Appends the adb path, then "-s" and the serial when one is set.
void appendAdbBase(std::vector<std::string>& argv, std::string_view adbPath,
                   const std::optional<std::string>& serial);

class AndroidScreenRecording {
 public:
  // Removes an old recording from the device (outcome ignored), then starts
  // the recorder in the background through the runner (standard streams on
  // /dev/null). Nothing when it cannot be started: the scenario then runs
  // without a recording. `stopGraceMs` bounds the wait for its end when it
  // is stopped.
  static std::optional<AndroidScreenRecording> start(command::ProcessRunner& runner, std::string adbPath,
                                                     std::optional<std::string> serial,
                                                     uint64_t stopGraceMs = kStopGraceMs);

  AndroidScreenRecording(AndroidScreenRecording&&) noexcept = default;
  AndroidScreenRecording& operator=(AndroidScreenRecording&&) noexcept = default;
  // A recorder still running is interrupted and waited for (failures ignored).
  ~AndroidScreenRecording() = default;

  // adb [-s serial] args... with the given output cap and the adb time-out;
  // unjudged.
  Expected<command::ExecResult> runAdbCommand(const std::vector<std::string>& args, size_t maxBytes);

  // Stops the recorder (SIGINT, then waits for it at most the stop grace,
  // after which its process group gets SIGKILL; its exit status is not
  // examined), pulls the video to <traceDir>/artifacts/screenrecord.mp4 and
  // removes it from the device (outcome ignored). Returns the local path.
  Expected<std::string> stopAndPull(const TraceWriter& trace);

  bool stopped() const { return stopped_; }

 private:
  AndroidScreenRecording(command::ProcessRunner& runner, std::string adbPath, std::optional<std::string> serial,
                         std::unique_ptr<command::BackgroundProcess> child, uint64_t stopGraceMs)
      : runner_(&runner),
        adbPath_(std::move(adbPath)),
        serial_(std::move(serial)),
        child_(std::move(child)),
        stopGraceMs_(stopGraceMs) {}

  // SIGINT, the bounded wait, then SIGKILL and the reaping.
  Status stop();

  command::ProcessRunner* runner_;
  std::string adbPath_;
  std::optional<std::string> serial_;
  std::string remotePath_{kRemotePath};
  std::unique_ptr<command::BackgroundProcess> child_;
  uint64_t stopGraceMs_;
  bool stopped_ = false;
};

}  // namespace vyx::android_screen_recording
