#include "runner/cli_run.hpp"

#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string_view>
#include <utility>

#include "core/config.hpp"
#include "core/config_paths.hpp"
#include "core/files.hpp"
#include "core/scenario.hpp"
#include "core/trace.hpp"
#include "core/writer.hpp"
#include "devices/android.hpp"
#include "devices/device.hpp"
#include "devices/ios.hpp"
#include "reports/trace_summary.hpp"
#include "runner/android_emulator.hpp"
#include "runner/android_screen_recording.hpp"
#include "runner/run_summary.hpp"
#include "runner/runner.hpp"

namespace vyx::cli_run {
namespace {

constexpr size_t kScenarioLimit = 16 * 1024 * 1024;

// Takes the next argument as the flag's value.
Status takeValue(ArgIterator& args, Error missing, std::optional<std::string>& out) {
  auto v = args.next();
  if (!v) return fail(missing);
  out = std::string(*v);
  return {};
}

Status takeTool(ArgIterator& args, Error missing, std::string& out, bool& given) {
  auto v = args.next();
  if (!v) return fail(missing);
  out = std::string(*v);
  given = true;
  return {};
}

TraceOptions traceOptionsFor(const std::optional<Config>& config, const RunFlags& flags) {
  TraceOptions options = run_options::traceOptionsFor(config ? &*config : nullptr);
  if (flags.options.screenRecord) options.screenRecording = *flags.options.screenRecord;
  return options;
}

// A path from the settings: resolved against the app root when it came from
// the configuration, unchanged when the command line gave it.
std::optional<std::string> resolvedPath(const std::optional<std::string>& fromCommandLine,
                                        const std::optional<std::string>& fromSettings,
                                        const std::optional<std::string>& appRoot) {
  if (fromCommandLine) return fromCommandLine;
  if (fromSettings && appRoot) return config_paths::ownFilePath(*appRoot, *fromSettings);
  return fromSettings;
}

bool wantsEmulator(const RunSettings& settings) {
  return settings.avdName || settings.restoreSnapshot || settings.createAvdIfMissing || settings.resetBeforeRun ||
         settings.waitReady;
}

android_emulator::EmulatorOptions emulatorOptions(const RunSettings& settings, const std::string& adb,
                                                  const std::string& emulator, const std::string& avdmanager) {
  android_emulator::EmulatorOptions o;
  o.adbPath = adb;
  o.emulatorPath = emulator;
  o.avdmanagerPath = avdmanager;
  o.serial = settings.device;
  o.avdName = settings.avdName;
  o.snapshotName = settings.restoreSnapshot;
  o.systemImage = settings.avdSystemImage;
  o.deviceProfile = settings.avdDeviceProfile;
  o.create = settings.createAvdIfMissing;
  o.reset = settings.resetBeforeRun;
  o.wait = settings.waitReady;
  return o;
}

// Runs the scenario into a fresh trace, with the screen recorded around it
// when asked (Android only).
Status runTraced(Device& device, const Scenario& scenario, TraceWriter& trace, bool record, Environment& env,
                 const std::string& adb, const std::optional<std::string>& serial) {
  std::optional<android_screen_recording::AndroidScreenRecording> recording;
  if (record) recording = android_screen_recording::AndroidScreenRecording::start(env.runner, adb, serial);
  Status outcome = runner::runScenario(device, scenario, &trace, env.clock);
  if (recording) {
    // Neither a failed stop or pull nor a failed announcement changes the
    // run's outcome.
    if (recording->stopAndPull(trace)) {
      (void)trace.recordEvent(android_screen_recording::kEventKind, android_screen_recording::kEventPayload);
    }
    recording.reset();
  }
  return outcome;
}

Status printSummary(const Status& outcome, const Scenario& scenario, std::string_view appId,
                    const std::optional<std::string>& traceDir, bool traceWritten) {
  Output out;
  Status written;
  std::optional<trace_summary::Summary> summary;
  // A trace directory this run could not write holds an older run's trace:
  // never report that as this run's result.
  if (traceDir && traceWritten) {
    if (auto s = trace_summary::read(*traceDir)) summary = std::move(*s);
  }
  if (summary) {
    written = run_summary::writeLong(out, *summary, *traceDir, outcome);
  } else {
    written = run_summary::writeShort(out, outcome, scenario.name, appId);
  }
  if (!written) return written;
  return out.flush();
}

}  // namespace

Expected<RunFlags> parseFlags(ArgIterator& args) {
  RunFlags f;
  RunCliOptions& o = f.options;
  bool scenarioGiven = false;
  while (auto next = args.next()) {
    std::string_view a = *next;
    Status s;
    if (a == "--device") {
      s = takeValue(args, Error::MissingDeviceSerial, o.device);
    } else if (a == "--trace-dir") {
      s = takeValue(args, Error::MissingTraceDir, o.traceDir);
    } else if (a == "--app-id") {
      s = takeValue(args, Error::MissingAppId, o.appId);
    } else if (a == "--adb") {
      s = takeTool(args, Error::MissingAdbPath, f.adbPath, f.adbGiven);
    } else if (a == "--emulator") {
      s = takeTool(args, Error::MissingEmulatorPath, f.emulatorPath, f.emulatorGiven);
    } else if (a == "--avdmanager") {
      s = takeTool(args, Error::MissingAvdmanagerPath, f.avdmanagerPath, f.avdmanagerGiven);
    } else if (a == "--android-shim") {
      s = takeValue(args, Error::MissingAndroidShimPath, o.androidShimPath);
    } else if (a == "--xcrun") {
      s = takeTool(args, Error::MissingXcrunPath, f.xcrunPath, f.xcrunGiven);
    } else if (a == "--ios-shim") {
      s = takeValue(args, Error::MissingIosShimPath, o.iosShimPath);
    } else if (a == "--platform") {
      auto v = args.next();
      if (!v) return fail(Error::MissingPlatform);
      auto p = parsePlatform(*v);
      if (!p) return fail(p.error());
      o.platform = *p;
    } else if (a == "--ios-device-type") {
      auto v = args.next();
      if (!v) return fail(Error::MissingIosDeviceType);
      auto t = parseIosDeviceType(*v);
      if (!t) return fail(t.error());
      o.iosDeviceType = *t;
    } else if (a == "--config") {
      s = takeValue(args, Error::MissingConfigPath, f.configPath);
    } else if (a == "--discover-out") {
      s = takeValue(args, Error::MissingDiscoverOut, f.discoverOut);
    } else if (a == "--screen-record") {
      o.screenRecord = true;
    } else if (a == "--no-screen-record") {
      o.screenRecord = false;
    } else if (a == "--android-avd") {
      s = takeValue(args, Error::MissingAndroidAvdName, o.avdName);
    } else if (a == "--restore-snapshot") {
      s = takeValue(args, Error::MissingAndroidSnapshotName, o.snapshotName);
    } else if (a == "--create-avd-if-missing") {
      o.createAvdIfMissing = true;
    } else if (a == "--avd-system-image") {
      s = takeValue(args, Error::MissingAndroidAvdSystemImage, o.avdSystemImage);
    } else if (a == "--avd-device") {
      s = takeValue(args, Error::MissingAndroidAvdDeviceProfile, o.avdDeviceProfile);
    } else if (a == "--reset-emulator") {
      o.resetEmulator = true;
    } else if (a == "--wait-emulator") {
      o.waitEmulator = true;
    } else if (a == "--json") {
      f.json = true;
    } else if (a.starts_with("--") || scenarioGiven) {
      return fail(Error::unknownFlag);
    } else {
      o.scenarioPath = std::string(a);
      scenarioGiven = true;
    }
    if (!s) return fail(s.error());
  }
  return f;
}

Status run(ArgIterator& args) {
  Environment env{command::realProcessRunner(), systemClock()};
  return run(args, env);
}

Status run(ArgIterator& args, Environment& env) {
  auto parsed = parseFlags(args);
  if (!parsed) return fail(parsed.error());
  RunFlags& flags = *parsed;

  std::string configPath;
  auto loaded = run_options::loadConfig(flags.configPath, configPath);
  if (!loaded) return fail(loaded.error());
  std::optional<Config>& config = *loaded;

  std::optional<std::string> appRoot;
  std::string adb = flags.adbPath;
  std::string emulator = flags.emulatorPath;
  std::string avdmanager = flags.avdmanagerPath;
  std::string xcrun = flags.xcrunPath;
  if (config) {
    appRoot = config_paths::rootForPath(configPath);
    const ToolsConfig& tools = config->tools;
    if (!flags.adbGiven && tools.adbPath) adb = config_paths::ownCommandPath(*appRoot, *tools.adbPath);
    if (!flags.emulatorGiven && tools.emulatorPath) {
      emulator = config_paths::ownCommandPath(*appRoot, *tools.emulatorPath);
    }
    if (!flags.avdmanagerGiven && tools.avdmanagerPath) {
      avdmanager = config_paths::ownCommandPath(*appRoot, *tools.avdmanagerPath);
    }
    if (!flags.xcrunGiven && tools.xcrunPath) xcrun = config_paths::ownCommandPath(*appRoot, *tools.xcrunPath);
  }

  RunSettings settings = run_options::resolveRun(flags.options, config ? &*config : nullptr);
  TraceOptions traceOptions = traceOptionsFor(config, flags);

  std::optional<std::string> scenarioPath =
      resolvedPath(flags.options.scenarioPath, settings.scenarioPath, appRoot);
  if (!scenarioPath) return fail(Error::MissingScenarioPath);
  std::optional<std::string> traceDir = resolvedPath(flags.options.traceDir, settings.traceDir, appRoot);
  if (flags.discoverOut && !traceDir) return fail(Error::MissingTraceDir);
  std::optional<std::string> androidShim =
      resolvedPath(flags.options.androidShimPath, settings.androidShimPath, appRoot);
  std::optional<std::string> iosShim = resolvedPath(flags.options.iosShimPath, settings.iosShimPath, appRoot);

  Scenario scenario;
  {
    auto text = files::readFileLimited(*scenarioPath, kScenarioLimit);
    if (!text) return fail(text.error());
    auto s = scenario::parseSlice(*text);
    if (!s) return fail(s.error());
    scenario = std::move(*s);
  }

  std::string appId = flags.options.appId   ? *flags.options.appId
                      : scenario.appId      ? *scenario.appId
                                            : settings.appId;

  bool android = settings.platform == Platform::android;
  std::unique_ptr<Device> device;
  if (android) {
    if (wantsEmulator(settings)) {
      auto options = emulatorOptions(settings, adb, emulator, avdmanager);
      if (auto s = android_emulator::prepare(options, env.runner, env.clock); !s) return s;
    }
    device = std::make_unique<AndroidDevice>(adb, settings.device, appId, androidShim, env.runner, env.clock);
  } else {
    device = std::make_unique<IosDevice>(xcrun, settings.device, appId,
                                         settings.iosDeviceType == IosDeviceType::physical, iosShim, env.runner,
                                         env.clock);
  }

  Status outcome;
  bool traceWritten = false;
  if (!traceDir) {
    outcome = runner::runScenario(*device, scenario, nullptr, env.clock);
  } else {
    auto trace = TraceWriter::create(*traceDir, traceOptions, env.clock);
    if (!trace) {
      outcome = fail(trace.error());
    } else {
      traceWritten = true;
      outcome = runTraced(*device, scenario, *trace, android && traceOptions.screenRecording, env, adb,
                          settings.device);
    }
  }
  device.reset();

  if (flags.json) {
    if (auto s = printSummary(outcome, scenario, appId, traceDir, traceWritten); !s) return s;
  }
  return outcome;
}

}  // namespace vyx::cli_run
