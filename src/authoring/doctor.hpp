#pragma once
// The environment checks behind `vyx doctor`: the zig, adb and xcrun tools,
// the Android devices, booted iOS simulators and physical iOS devices, the
// two device shims and the two smoke scenarios. Every check yields one Check
// record; what a tool, a listing, a file test or a validation reports is a
// status, never an error of the run.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.hpp"
#include "core/command.hpp"
#include "core/errors.hpp"
#include "core/types.hpp"
#include "core/writer.hpp"

namespace vyx::doctor {

enum class CheckStatus : uint8_t { ok, warning, missing };

std::string_view statusName(CheckStatus status);

// One check result. errorCode and hint are present exactly when the status is
// not ok; count and readyCount only on a device check whose listing worked;
// scriptCount, scriptNames and fieldPath only on the configuration check.
struct Check {
  std::string name{};
  CheckStatus status = CheckStatus::ok;
  std::optional<std::string> errorCode{};
  std::string detail{};
  std::optional<uint64_t> count{};
  std::optional<uint64_t> readyCount{};
  std::optional<uint64_t> scriptCount{};
  std::optional<std::vector<std::string>> scriptNames{};
  std::optional<std::string> hint{};
  std::optional<std::string> fieldPath{};

  bool operator==(const Check&) const = default;
};

// The paths the checks use; tool paths are command names or paths, already
// resolved against the app root by the caller.
struct DoctorOptions {
  std::string zigPath = "zig";
  std::string adbPath = "adb";
  std::optional<std::string> androidShimPath{};
  std::optional<std::string> androidSmokeScenario{};
  std::string xcrunPath = "xcrun";
  std::optional<std::string> iosShimPath{};
  std::optional<std::string> iosSmokeScenario{};
};

// Cap of each captured stream of a tool check.
inline constexpr size_t kToolOutputCap = 1024 * 1024;
// A tool check whose tool stays silent this long is ended and reported like
// a tool that cannot run.
inline constexpr uint64_t kToolTimeoutMs = 15000;

// Runs the checks in their fixed order (six to ten records: a shim or smoke
// scenario check only when its path is given).
std::vector<Check> run(command::ProcessRunner& runner, Clock& clock, const DoctorOptions& options);

// Runs [tool path, argument] and judges the outcome: ok with the first line
// of its output, warning when it exits non-zero, missing when it cannot run,
// overflows its output cap or times out.
Check checkCommand(command::ProcessRunner& runner, std::string_view name, const std::vector<std::string>& argv,
                   uint64_t timeoutMs = kToolTimeoutMs);

// A file that must be readable (a directory is not a usable file).
Check checkPath(std::string_view name, const std::string& path);

// A scenario file that must validate.
Check checkScenarioPath(std::string_view name, const std::string& path);

// " (disconnected=<n>, paired=<n>, unavailable=<n>, other=<n>)" over the
// devices that are not "connected" or "available", zero counters left out;
// empty when every device is one of those two.
std::string physicalStateBreakdown(const std::vector<DeviceInfo>& devices);

// The not-found and failed-run codes of a tool or shim check.
std::string_view notFoundCode(std::string_view name);
std::string_view commandFailedCode(std::string_view name);

// One record as a compact JSON object (no line feed).
Status writeDoctorCheckJson(Writer& w, const Check& check);

}  // namespace vyx::doctor
