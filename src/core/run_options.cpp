#include "core/run_options.hpp"

#include <unistd.h>

#include <cerrno>

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

std::string_view iosDeviceTypeName(IosDeviceType type) {
  return type == IosDeviceType::physical ? "physical" : "simulator";
}

namespace run_options {

namespace {

std::optional<std::string> pick(const std::optional<std::string>& cli,
                                const std::optional<std::string>* fromConfig) {
  if (cli) return cli;
  if (fromConfig != nullptr && *fromConfig) return *fromConfig;
  return std::nullopt;
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

const PlatformConfig& sectionFor(const Config& config, Platform platform) {
  return platform == Platform::ios ? config.ios : config.android;
}

RunSettings resolveRun(const RunCliOptions& cli, const Config* config) {
  const PlatformConfig* s = config != nullptr ? &sectionFor(*config, cli.platform) : nullptr;
  const ToolsConfig* t = config != nullptr ? &config->tools : nullptr;
  RunSettings r;
  r.scenarioPath = pick(cli.scenarioPath, s ? &s->smokeScenario : nullptr);
  r.device = pick(cli.device, s ? &s->defaultDevice : nullptr);
  r.traceDir = pick(cli.traceDir, s ? &s->traceDir : nullptr);
  r.appId = pickAppId(cli.appId, config);
  r.androidShimPath = pick(cli.androidShimPath, t ? &t->androidShimPath : nullptr);
  r.iosShimPath = pick(cli.iosShimPath, t ? &t->iosShimPath : nullptr);
  r.avdName = pick(cli.avdName, s ? &s->avdName : nullptr);
  r.restoreSnapshot = pick(cli.snapshotName, s ? &s->restoreSnapshot : nullptr);
  r.avdSystemImage = pick(cli.avdSystemImage, s ? &s->avdSystemImage : nullptr);
  r.avdDeviceProfile = pick(cli.avdDeviceProfile, s ? &s->avdDeviceProfile : nullptr);
  r.createAvdIfMissing = pickBool(cli.createAvdIfMissing, s, &PlatformConfig::createAvdIfMissing);
  r.resetBeforeRun = pickBool(cli.resetEmulator, s, &PlatformConfig::resetBeforeRun);
  r.waitReady = pickBool(cli.waitEmulator, s, &PlatformConfig::waitReady);
  r.platform = cli.platform;
  r.iosDeviceType = cli.iosDeviceType;
  return r;
}

ServeSettings resolveServe(const ServeCliOptions& cli, const Config* config) {
  const PlatformConfig* s = config != nullptr ? &sectionFor(*config, cli.platform) : nullptr;
  const ToolsConfig* t = config != nullptr ? &config->tools : nullptr;
  ServeSettings r;
  r.device = pick(cli.device, s ? &s->defaultDevice : nullptr);
  r.appId = pickAppId(cli.appId, config);
  r.traceDir = pick(cli.traceDir, s ? &s->traceDir : nullptr);
  r.androidShimPath = pick(cli.androidShim, t ? &t->androidShimPath : nullptr);
  r.iosShimPath = pick(cli.iosShim, t ? &t->iosShimPath : nullptr);
  r.platform = cli.platform;
  r.iosDeviceType = cli.iosDeviceType;
  return r;
}

Expected<std::optional<Config>> loadConfig(const std::optional<std::string>& path, std::string& loadedPath) {
  if (path) {
    auto c = config::parseFile(*path);
    if (!c) return fail(c.error());
    loadedPath = *path;
    return std::optional<Config>(std::move(*c));
  }
  loadedPath = std::string(kDefaultConfigPath);
  if (::access(loadedPath.c_str(), F_OK) != 0) {
    Error e = errorFromErrno(errno);
    if (e == Error::FileNotFound) return std::optional<Config>();
    return fail(e);
  }
  auto c = config::parseFile(loadedPath);
  if (!c) return fail(c.error());
  return std::optional<Config>(std::move(*c));
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

}  // namespace run_options
}  // namespace vyx
