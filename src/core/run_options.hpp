#pragma once
// The platforms and iOS device kinds of the command lines, the loading of the
// configuration file, and the merges that decide every setting of a run and
// of a server session once: the command line first, then the configuration
// (the chosen platform's section for device settings; its relative paths
// resolved against the app root), then the built-in default. The commands
// use the settings as they come out of here and choose nothing themselves.

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

// The app id used when neither the command line nor the configuration names one.
inline constexpr std::string_view kPlaceholderAppId = "com.example.app";

// The configuration file a command works with, when there is one, and the
// app root that its relative paths are resolved against.
struct LoadedConfig {
  std::optional<Config> config{};
  std::optional<std::string> appRoot{};  // present exactly when config is

  const Config* get() const { return config ? &*config : nullptr; }
};

// What picks and drives the one device of a run or a server session.
struct DeviceSettings {
  Platform platform = Platform::android;
  IosDeviceType iosDeviceType = IosDeviceType::simulator;
  std::optional<std::string> device{};
  std::string adbPath = "adb";
  std::string xcrunPath = "xcrun";
  std::optional<std::string> androidShimPath{};
  std::optional<std::string> iosShimPath{};
};

// The command-line options of `run` (absent when not given).
struct RunCliOptions {
  std::optional<std::string> scenarioPath{};
  std::optional<std::string> device{};
  std::optional<std::string> traceDir{};
  std::optional<std::string> appId{};
  std::optional<std::string> androidShimPath{};
  std::optional<std::string> iosShimPath{};
  std::optional<std::string> adbPath{};
  std::optional<std::string> emulatorPath{};
  std::optional<std::string> avdmanagerPath{};
  std::optional<std::string> xcrunPath{};
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

// Everything `run` works with, ready to use. A path taken from the
// configuration is joined onto the app root; a path given on the command
// line is used as given (relative to the working directory).
struct RunSettings {
  std::optional<std::string> scenarioPath{};
  std::optional<std::string> device{};
  std::optional<std::string> traceDir{};
  std::optional<std::string> androidShimPath{};
  std::optional<std::string> iosShimPath{};
  // A tool the command line did not give and the configuration names is the
  // configuration's (a bare command name stays one); else the command name.
  std::string adbPath = "adb";
  std::string emulatorPath = "emulator";
  std::string avdmanagerPath = "avdmanager";
  std::string xcrunPath = "xcrun";
  std::optional<std::string> avdName{};
  std::optional<std::string> restoreSnapshot{};
  std::optional<std::string> avdSystemImage{};
  std::optional<std::string> avdDeviceProfile{};
  bool createAvdIfMissing = false;
  bool resetBeforeRun = false;
  bool waitReady = false;
  // The configuration's redaction lists and artifact switches (defaults
  // without one); --screen-record or --no-screen-record decides screenRecording.
  TraceOptions traceOptions{};
  Platform platform = Platform::android;
  IosDeviceType iosDeviceType = IosDeviceType::simulator;
  // The command line's app id, else the configuration's top-level one, else
  // the placeholder; appIdGiven tells whether the command line gave it.
  std::string appId{};
  bool appIdGiven = false;

  // The app id of the run once the scenario is read: the command line's,
  // else the scenario's own, else the configuration's or the placeholder.
  std::string appIdWith(const std::optional<std::string>& scenarioAppId) const;

  DeviceSettings deviceSettings() const;
};

// The command-line options of `serve` and `mcp` (absent when not given).
struct ServeCliOptions {
  std::optional<std::string> device{};
  std::optional<std::string> appId{};
  std::optional<std::string> traceDir{};
  std::optional<std::string> androidShim{};
  std::optional<std::string> iosShim{};
  // The tool values as given; "adb" and "xcrun" by default.
  std::string adbPath = "adb";
  std::string xcrunPath = "xcrun";
  Platform platform = Platform::android;
  IosDeviceType iosDeviceType = IosDeviceType::simulator;
};

// Everything a server session works with, ready to use.
struct ServeSettings {
  // The command line's, else the chosen platform section's defaultDevice.
  std::optional<std::string> device{};
  // The command line's, else the configuration's top-level appId, else the
  // placeholder.
  std::string appId{};
  // The command line's as given, else the configuration's joined onto the
  // app root: the platform section's traceDir, the tools' androidShimPath
  // and iosShimPath.
  std::optional<std::string> traceDir{};
  std::optional<std::string> androidShimPath{};
  std::optional<std::string> iosShimPath{};
  // A tool value of exactly "adb" ("xcrun"), given or by default, becomes
  // the configuration's adbPath (xcrunPath) when it names one; any other
  // value is used unchanged.
  std::string adbPath = "adb";
  std::string xcrunPath = "xcrun";
  // The configuration's redaction lists and artifact switches, or the
  // defaults without one.
  TraceOptions traceOptions{};
  Platform platform = Platform::android;
  IosDeviceType iosDeviceType = IosDeviceType::simulator;

  DeviceSettings deviceSettings() const;
};

namespace run_options {

// The default configuration file, relative to the working directory.
inline constexpr std::string_view kDefaultConfigPath = ".vyx/config.json";

// The configuration of a command: the file given with --config (every
// failure is returned, a missing file too); without one ".vyx/config.json"
// when it exists (FileNotFound: no configuration; any other failure of the
// existence check or of reading it is returned).
Expected<LoadedConfig> loadConfig(const std::optional<std::string>& configPath);

// The section of the chosen platform, whether or not it is enabled.
const PlatformConfig& sectionFor(const Config& config, Platform platform);

// The configuration's redaction lists and artifact switches, or the defaults
// without a configuration.
TraceOptions traceOptionsFor(const Config* config);

// The two tool rules. For `run`, a tool given on the command line is used
// as given, even the bare command name ("--adb adb" beats the
// configuration). For `serve`, `mcp` and `doctor`, the bare command name,
// given or by default, gives way to the configuration's tool (resolved
// against the app root when there is one); any other value is used as given.
std::string runTool(const std::optional<std::string>& given, const std::optional<std::string>& configured,
                    const std::optional<std::string>& appRoot, std::string_view name);
std::string serveTool(const std::string& given, const std::optional<std::string>& configured,
                      const std::optional<std::string>& appRoot, std::string_view name);

RunSettings resolveRun(const RunCliOptions& cli, const LoadedConfig& loaded);
ServeSettings resolveServe(const ServeCliOptions& cli, const LoadedConfig& loaded);

}  // namespace run_options
}  // namespace vyx
