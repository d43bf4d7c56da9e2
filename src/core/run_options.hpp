#pragma once
// The platforms and iOS device kinds of the command lines, and the merges that
// combine command-line options, the configuration file and built-in defaults
// into the settings of a run and of a server.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/config.hpp"
#include "core/errors.hpp"
#include "core/trace.hpp"

namespace vyx {

enum class Platform : uint8_t { android, ios };
enum class IosDeviceType : uint8_t { simulator, physical };

// "android" or "ios", exact and case-sensitive; else UnsupportedPlatform.
Expected<Platform> parsePlatform(std::string_view text);
// "simulator" or "physical", exact and case-sensitive; else UnsupportedIosDeviceType.
Expected<IosDeviceType> parseIosDeviceType(std::string_view text);

std::string_view platformName(Platform platform);
std::string_view iosDeviceTypeName(IosDeviceType type);

// The app id used when neither the command line nor the configuration names one.
inline constexpr std::string_view kPlaceholderAppId = "com.example.app";

// The command-line options of `run` (absent when not given).
struct RunCliOptions {
  std::optional<std::string> scenarioPath{};
  std::optional<std::string> device{};
  std::optional<std::string> traceDir{};
  std::optional<std::string> appId{};
  std::optional<std::string> androidShimPath{};
  std::optional<std::string> iosShimPath{};
  std::optional<std::string> avdName{};
  std::optional<std::string> snapshotName{};
  std::optional<std::string> avdSystemImage{};
  std::optional<std::string> avdDeviceProfile{};
  std::optional<bool> screenRecord{};
  std::optional<bool> createAvdIfMissing{};
  std::optional<bool> resetEmulator{};
  std::optional<bool> waitEmulator{};
  Platform platform = Platform::android;
  IosDeviceType iosDeviceType = IosDeviceType::simulator;
};

// The command-line options of `serve` and `mcp`.
struct ServeCliOptions {
  std::optional<std::string> device{};
  std::optional<std::string> appId{};
  std::optional<std::string> traceDir{};
  std::optional<std::string> androidShim{};
  std::optional<std::string> iosShim{};
  Platform platform = Platform::android;
  IosDeviceType iosDeviceType = IosDeviceType::simulator;
};

// Values taken from the configuration are as written in the file; resolving
// them against the app root is the caller's next step.
struct RunSettings {
  std::optional<std::string> scenarioPath{};
  std::optional<std::string> device{};
  std::optional<std::string> traceDir{};
  std::string appId{};
  std::optional<std::string> androidShimPath{};
  std::optional<std::string> iosShimPath{};
  std::optional<std::string> avdName{};
  std::optional<std::string> restoreSnapshot{};
  std::optional<std::string> avdSystemImage{};
  std::optional<std::string> avdDeviceProfile{};
  bool createAvdIfMissing = false;
  bool resetBeforeRun = false;
  bool waitReady = false;
  Platform platform = Platform::android;
  IosDeviceType iosDeviceType = IosDeviceType::simulator;
};

struct ServeSettings {
  std::optional<std::string> device{};
  std::string appId{};
  std::optional<std::string> traceDir{};
  std::optional<std::string> androidShimPath{};
  std::optional<std::string> iosShimPath{};
  Platform platform = Platform::android;
  IosDeviceType iosDeviceType = IosDeviceType::simulator;
};

namespace run_options {

// The section of the chosen platform, whether or not it is enabled.
const PlatformConfig& sectionFor(const Config& config, Platform platform);

// Each field: the command line when given, else the configuration when
// present, else the default. `config` may be null.
RunSettings resolveRun(const RunCliOptions& cli, const Config* config);
ServeSettings resolveServe(const ServeCliOptions& cli, const Config* config);

// The configuration file of a command: `path` when given (any failure, a
// missing file too, is returned), else kDefaultConfigPath when it exists,
// else none. `loadedPath` is set to the path of the file read.
inline constexpr std::string_view kDefaultConfigPath = ".vyx/config.json";
Expected<std::optional<Config>> loadConfig(const std::optional<std::string>& path, std::string& loadedPath);

// The configuration's redaction lists and artifact switches, or the defaults
// without a configuration.
TraceOptions traceOptionsFor(const Config* config);

}  // namespace run_options
}  // namespace vyx
