#include "core/run_options.hpp"

#include <unistd.h>

#include <cerrno>

#include "core/config_paths.hpp"

namespace vyx {

Expected<Platform> parsePlatform(std::string_view text) {
  if (text == "android") return Platform::android;
  if (text == "ios") return Platform::ios;
  return fail(Error::UnsupportedPlatform);
}

Expected<IosDeviceType> parseIosDeviceType(std::string_view text) {
  if (text == "simulator") return IosDeviceType::simulator;
  if (text == "physical") return IosDeviceType::physical;
  return fail(Error::UnsupportedIosDeviceType);
}

std::string_view platformName(Platform platform) {
  return platform == Platform::ios ? "ios" : "android";
}

namespace {

DeviceSettings deviceSettingsOf(Platform platform, IosDeviceType iosDeviceType,
                                const std::optional<std::string>& device, const std::string& adbPath,
                                const std::string& xcrunPath, const std::optional<std::string>& androidShimPath,
                                const std::optional<std::string>& iosShimPath) {
  return DeviceSettings{platform, iosDeviceType, device, adbPath, xcrunPath, androidShimPath, iosShimPath};
}

}  // namespace

DeviceSettings RunSettings::deviceSettings() const {
  return deviceSettingsOf(platform, iosDeviceType, device, adbPath, xcrunPath, androidShimPath, iosShimPath);
}

DeviceSettings ServeSettings::deviceSettings() const {
  return deviceSettingsOf(platform, iosDeviceType, device, adbPath, xcrunPath, androidShimPath, iosShimPath);
}

std::string RunSettings::appIdWith(const std::optional<std::string>& scenarioAppId) const {
  if (!appIdGiven && scenarioAppId) return *scenarioAppId;
  return appId;
}

namespace run_options {

namespace {

Expected<LoadedConfig> loadFrom(const std::string& path) {
  VYX_TRY_ASSIGN(auto config, config::parseFile(path));
  return LoadedConfig{std::move(config), config_paths::rootForPath(path)};
}

std::optional<std::string> pick(const std::optional<std::string>& cli,
                                const std::optional<std::string>* fromConfig) {
  if (cli) return cli;
  if (fromConfig != nullptr && *fromConfig) return *fromConfig;
  return std::nullopt;
}

// A file path: the command line's as given, else the configuration's joined
// onto the app root.
std::optional<std::string> pickPath(const std::optional<std::string>& cli,
                                    const std::optional<std::string>* fromConfig, const LoadedConfig& loaded) {
  std::optional<std::string> value = pick(cli, fromConfig);
  if (!cli && value && loaded.appRoot) return config_paths::ownFilePath(*loaded.appRoot, *value);
  return value;
}

std::string pickAppId(const std::optional<std::string>& cli, const Config* config) {
  if (cli) return *cli;
  if (config != nullptr && config->appId) return *config->appId;
  return std::string(kPlaceholderAppId);
}

bool pickBool(std::optional<bool> cli, const PlatformConfig* section, bool PlatformConfig::*field) {
  if (cli) return *cli;
  if (section != nullptr) return section->*field;
  return false;
}

}  // namespace

namespace {

// A tool value from the configuration, resolved like a command.
std::string configTool(const std::string& value, const std::optional<std::string>& appRoot) {
  return appRoot ? config_paths::ownCommandPath(*appRoot, value) : value;
}

// The configuration's value of a tool; none without a configuration.
const std::optional<std::string>& toolIn(const ToolsConfig* tools, std::optional<std::string> ToolsConfig::*field) {
  static const std::optional<std::string> kNone;
  return tools != nullptr ? tools->*field : kNone;
}

}  // namespace

std::string runTool(const std::optional<std::string>& given, const std::optional<std::string>& configured,
                    const std::optional<std::string>& appRoot, std::string_view name) {
  if (given) return *given;
  if (configured) return configTool(*configured, appRoot);
  return std::string(name);
}

std::string serveTool(const std::string& given, const std::optional<std::string>& configured,
                      const std::optional<std::string>& appRoot, std::string_view name) {
  if (given == name && configured) return configTool(*configured, appRoot);
  return given;
}

Expected<LoadedConfig> loadConfig(const std::optional<std::string>& configPath) {
  if (configPath) return loadFrom(*configPath);
  const std::string path(kDefaultConfigPath);
  if (::access(path.c_str(), F_OK) != 0) {
    Error e = errorFromErrno(errno);
    if (e == Error::FileNotFound) return LoadedConfig{};
    return fail(e);
  }
  return loadFrom(path);
}

const PlatformConfig& sectionFor(const Config& config, Platform platform) {
  return platform == Platform::ios ? config.ios : config.android;
}

TraceOptions traceOptionsFor(const Config* config) {
  TraceOptions options;
  if (config != nullptr) {
    options.denylistText = config->redaction.denylistText;
    options.allowlistText = config->redaction.allowlistText;
    options.denylistResourceIds = config->redaction.denylistResourceIds;
    options.allowlistResourceIds = config->redaction.allowlistResourceIds;
    options.screenshots = config->artifacts.screenshots;
    options.hierarchy = config->artifacts.hierarchy;
    options.logs = config->artifacts.logs;
    options.screenRecording = config->artifacts.screenRecording;
  }
  return options;
}

RunSettings resolveRun(const RunCliOptions& cli, const LoadedConfig& loaded) {
  const Config* config = loaded.get();
  const PlatformConfig* s = config != nullptr ? &sectionFor(*config, cli.platform) : nullptr;
  const ToolsConfig* t = config != nullptr ? &config->tools : nullptr;
  RunSettings r;
  r.scenarioPath = pickPath(cli.scenarioPath, s ? &s->smokeScenario : nullptr, loaded);
  r.device = pick(cli.device, s ? &s->defaultDevice : nullptr);
  r.traceDir = pickPath(cli.traceDir, s ? &s->traceDir : nullptr, loaded);
  r.androidShimPath = pickPath(cli.androidShimPath, t ? &t->androidShimPath : nullptr, loaded);
  r.iosShimPath = pickPath(cli.iosShimPath, t ? &t->iosShimPath : nullptr, loaded);
  r.adbPath = runTool(cli.adbPath, toolIn(t, &ToolsConfig::adbPath), loaded.appRoot, "adb");
  r.emulatorPath = runTool(cli.emulatorPath, toolIn(t, &ToolsConfig::emulatorPath), loaded.appRoot, "emulator");
  r.avdmanagerPath = runTool(cli.avdmanagerPath, toolIn(t, &ToolsConfig::avdmanagerPath), loaded.appRoot, "avdmanager");
  r.xcrunPath = runTool(cli.xcrunPath, toolIn(t, &ToolsConfig::xcrunPath), loaded.appRoot, "xcrun");
  r.avdName = pick(cli.avdName, s ? &s->avdName : nullptr);
  r.restoreSnapshot = pick(cli.snapshotName, s ? &s->restoreSnapshot : nullptr);
  r.avdSystemImage = pick(cli.avdSystemImage, s ? &s->avdSystemImage : nullptr);
  r.avdDeviceProfile = pick(cli.avdDeviceProfile, s ? &s->avdDeviceProfile : nullptr);
  r.createAvdIfMissing = pickBool(cli.createAvdIfMissing, s, &PlatformConfig::createAvdIfMissing);
  r.resetBeforeRun = pickBool(cli.resetEmulator, s, &PlatformConfig::resetBeforeRun);
  r.waitReady = pickBool(cli.waitEmulator, s, &PlatformConfig::waitReady);
  r.traceOptions = traceOptionsFor(config);
  if (cli.screenRecord) r.traceOptions.screenRecording = *cli.screenRecord;
  r.platform = cli.platform;
  r.iosDeviceType = cli.iosDeviceType;
  r.appId = pickAppId(cli.appId, config);
  r.appIdGiven = cli.appId.has_value();
  return r;
}

ServeSettings resolveServe(const ServeCliOptions& cli, const LoadedConfig& loaded) {
  const Config* config = loaded.get();
  const PlatformConfig* s = config != nullptr ? &sectionFor(*config, cli.platform) : nullptr;
  const ToolsConfig* t = config != nullptr ? &config->tools : nullptr;
  ServeSettings r;
  r.device = pick(cli.device, s ? &s->defaultDevice : nullptr);
  r.appId = pickAppId(cli.appId, config);
  r.traceDir = pickPath(cli.traceDir, s ? &s->traceDir : nullptr, loaded);
  r.androidShimPath = pickPath(cli.androidShim, t ? &t->androidShimPath : nullptr, loaded);
  r.iosShimPath = pickPath(cli.iosShim, t ? &t->iosShimPath : nullptr, loaded);
  r.adbPath = serveTool(cli.adbPath, toolIn(t, &ToolsConfig::adbPath), loaded.appRoot, "adb");
  r.xcrunPath = serveTool(cli.xcrunPath, toolIn(t, &ToolsConfig::xcrunPath), loaded.appRoot, "xcrun");
  r.traceOptions = traceOptionsFor(config);
  r.platform = cli.platform;
  r.iosDeviceType = cli.iosDeviceType;
  return r;
}

}  // namespace run_options
}  // namespace vyx
