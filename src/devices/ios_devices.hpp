#pragma once
// The xcrun runners of the iOS driver (simctl with its retry on transient
// simulator-service failures, devicectl with its JSON result file) and the
// listings of booted simulators and physical iOS devices.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.hpp"
#include "core/command.hpp"
#include "core/errors.hpp"
#include "core/json.hpp"
#include "core/types.hpp"

namespace vyx::ios_devices {

inline constexpr size_t kMiB = 1024 * 1024;
inline constexpr size_t kDevicectlCap = 32 * kMiB;
inline constexpr size_t kSimctlListCap = 4 * kMiB;
// Pause between simctl runs that failed for a transient reason.
inline constexpr uint64_t kSimctlRetryPauseMs = 500;
inline constexpr int kSimctlMaxRetries = 5;

// Wall-clock nanoseconds since the Unix epoch, 0 when the clock can't be read.
uint64_t wallClockNs();

// "<prefix><wall-clock ns><suffix>", e.g. "/tmp/vyx-devicectl-<ns>.json".
std::string timestampedPath(std::string_view prefix, std::string_view suffix);

// A temporary file that a tool writes into. The path is created empty and
// exclusively (never through an existing file or link), and deleted when the
// object goes out of scope, ignoring any failure. A path that already exists
// is not claimed and never deleted.
class TempFile {
 public:
  explicit TempFile(std::string path);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return path_; }
  bool claimed() const { return claimed_; }

 private:
  std::string path_;
  bool claimed_ = false;
};

// [xcrunPath, "simctl", args...] without a time-out, capped at `maxBytes`
// per stream. A run that exits non-zero with one of the simulator service's
// transient failures in its standard error is repeated after 500 ms, up to
// 5 times. Returns the last result unjudged, or the runner's own error.
Expected<command::ExecResult> runSimctlCommand(command::ProcessRunner& runner, Clock& clock,
                                               std::string_view xcrunPath, const std::vector<std::string>& args,
                                               size_t maxBytes);

// [xcrunPath, "devicectl", args...] once, 32 MiB per stream, unjudged.
Expected<command::ExecResult> runDevicectlCommand(command::ProcessRunner& runner, std::string_view xcrunPath,
                                                  const std::vector<std::string>& args);

// [xcrunPath, "devicectl", args..., "--json-output", <file>, "--quiet"]
// with <file> "/tmp/vyx-devicectl-<ns>.json"; judges the run and returns the
// file's contents. The file is deleted before returning, whatever happened.
Expected<std::string> runDevicectlJsonCommand(command::ProcessRunner& runner, std::string_view xcrunPath,
                                              const std::vector<std::string>& args);

// Booted simulators from `simctl list devices --json`.
Expected<std::vector<DeviceInfo>> listSimulators(command::ProcessRunner& runner, Clock& clock,
                                                 std::string_view xcrunPath);

// Physical iOS devices from `devicectl list devices`.
Expected<std::vector<DeviceInfo>> listPhysical(command::ProcessRunner& runner, std::string_view xcrunPath);

// The document shapes behind the two listings.
Expected<std::vector<DeviceInfo>> parseSimulatorList(std::string_view jsonText);
Expected<std::vector<DeviceInfo>> parsePhysicalList(std::string_view jsonText);

// The process id of the app in a devicectl process listing: the deepest,
// first object that holds a string member equal to `bundleId`, taking its
// last integer member whose key contains "pid" or "processIdentifier".
std::optional<int64_t> findPidInValue(const json::Value& value, std::string_view bundleId);

// The member's text when `object` is an object holding `key` as a string.
std::optional<std::string_view> fieldString(const json::Value& object, std::string_view key);

}  // namespace vyx::ios_devices
