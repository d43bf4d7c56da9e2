#include "runner/cli_run.hpp"

#include <memory>
#include <string_view>
#include <utility>

#include "authoring/discover.hpp"
#include "core/files.hpp"
#include "core/limits.hpp"
#include "core/scenario.hpp"
#include "core/trace.hpp"
#include "core/writer.hpp"
#include "devices/device.hpp"
#include "devices/device_factory.hpp"
#include "reports/trace_summary.hpp"
#include "runner/android_emulator.hpp"
#include "runner/android_screen_recording.hpp"
#include "runner/run_summary.hpp"
#include "runner/runner.hpp"

namespace vyx::cli_run {
namespace {

bool wantsEmulator(const RunSettings& settings) {
  return settings.avdName || settings.restoreSnapshot || settings.createAvdIfMissing || settings.resetBeforeRun ||
         settings.waitReady;
}

android_emulator::EmulatorOptions emulatorOptions(const RunSettings& settings) {
  android_emulator::EmulatorOptions o;
  o.adbPath = settings.adbPath;
  o.emulatorPath = settings.emulatorPath;
  o.avdmanagerPath = settings.avdmanagerPath;
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
      (void)android_screen_recording::recordRecordingEvent(trace);
    }
    recording.reset();
  }
  return outcome;
}

// Drafts a scenario from the run's trace into `out`: actions replayed, the
// file validated, an older draft replaced. A failure is only named. A trace
// directory this run could not write holds an older run's trace, so it is
// not drafted from: the writer's failure is named instead. Only rendering
// the result can fail the command.
Expected<run_summary::Discovery> discoverFromNewTrace(const std::string& traceDir, const std::string& out,
                                                      bool traceWritten, const Status& outcome) {
  run_summary::Discovery discovery;
  if (!traceWritten) {
    discovery.errorName = std::string(errorName(outcome ? Error::Unexpected : outcome.error()));
    return discovery;
  }
  discover::DraftOptions options;
  options.traceDir = traceDir;
  options.out = out;
  options.includeActions = true;
  options.validate = true;
  options.force = true;
  options.json = true;
  auto result = discover::discoverFromTrace(options);
  if (!result) {
    discovery.errorName = std::string(errorName(result.error()));
    return discovery;
  }
  StringWriter rendered;
  VYX_TRY(discover::writeJsonWithOptions(rendered, *result, discover::kDiscoverForm));
  std::string document = rendered.take();
  while (!document.empty() && std::string_view(" \t\r\n").find(document.back()) != std::string_view::npos) {
    document.pop_back();
  }
  discovery.document = std::move(document);
  return discovery;
}

Status printSummary(const Status& outcome, const Scenario& scenario, std::string_view appId,
                    const std::optional<std::string>& traceDir, bool traceWritten,
                    const run_summary::Discovery& discovery) {
  Output out;
  Status written;
  std::optional<trace_summary::Summary> summary;
  // A trace directory this run could not write holds an older run's trace:
  // never report that as this run's result.
  if (traceDir && traceWritten) {
    if (auto s = trace_summary::read(*traceDir)) summary = std::move(*s);
  }
  if (summary) {
    written = run_summary::writeLong(out, *summary, *traceDir, outcome, discovery);
  } else {
    written = run_summary::writeShort(out, outcome, scenario.name, appId, discovery);
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
      s = takeValue(args, Error::MissingAdbPath, o.adbPath);
    } else if (a == "--emulator") {
      s = takeValue(args, Error::MissingEmulatorPath, o.emulatorPath);
    } else if (a == "--avdmanager") {
      s = takeValue(args, Error::MissingAvdmanagerPath, o.avdmanagerPath);
    } else if (a == "--android-shim") {
      s = takeValue(args, Error::MissingAndroidShimPath, o.androidShimPath);
    } else if (a == "--xcrun") {
      s = takeValue(args, Error::MissingXcrunPath, o.xcrunPath);
    } else if (a == "--ios-shim") {
      s = takeValue(args, Error::MissingIosShimPath, o.iosShimPath);
    } else if (a == "--platform") {
      s = takeParsed(args, Error::MissingPlatform, parsePlatform, o.platform);
    } else if (a == "--ios-device-type") {
      s = takeParsed(args, Error::MissingIosDeviceType, parseIosDeviceType, o.iosDeviceType);
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
    VYX_TRY(s);
  }
  return f;
}

Status run(ArgIterator& args) {
  Environment env{command::realProcessRunner(), systemClock()};
  return run(args, env);
}

Status run(ArgIterator& args, Environment& env) {
  VYX_TRY_ASSIGN(auto parsed, parseFlags(args));
  RunFlags& flags = parsed;

  VYX_TRY_ASSIGN(auto loaded, run_options::loadConfig(flags.configPath));
  const RunSettings settings = run_options::resolveRun(flags.options, loaded);

  if (!settings.scenarioPath) return fail(Error::MissingScenarioPath);
  if (flags.discoverOut && !settings.traceDir) return fail(Error::MissingTraceDir);

  Scenario scenario;
  {
    VYX_TRY_ASSIGN(auto text, files::readFileLimited(*settings.scenarioPath, limits::kScenarioBytes));
    VYX_TRY_ASSIGN(auto s, scenario::parseSlice(text));
    scenario = std::move(s);
  }

  const std::string appId = settings.appIdWith(scenario.appId);

  bool android = settings.platform == Platform::android;
  if (android) {
    if (wantsEmulator(settings)) {
      auto options = emulatorOptions(settings);
      VYX_TRY(android_emulator::prepare(options, env.runner, env.clock));
    }
  }
  std::unique_ptr<Device> device = device_factory::makeDevice(settings.deviceSettings(), appId, env.runner, env.clock);

  Status outcome;
  bool traceWritten = false;
  if (!settings.traceDir) {
    outcome = runner::runScenario(*device, scenario, nullptr, env.clock);
  } else {
    auto trace = TraceWriter::create(*settings.traceDir, settings.traceOptions, env.clock);
    if (!trace) {
      outcome = fail(trace.error());
    } else {
      traceWritten = true;
      outcome = runTraced(*device, scenario, *trace, android && settings.traceOptions.screenRecording, env,
                          settings.adbPath, settings.device);
    }
  }
  device.reset();

  run_summary::Discovery discovery;
  if (flags.discoverOut) {
    VYX_TRY_ASSIGN(auto drafted, discoverFromNewTrace(*settings.traceDir, *flags.discoverOut, traceWritten, outcome));
    discovery = std::move(drafted);
  }

  if (flags.json) {
    VYX_TRY(printSummary(outcome, scenario, appId, settings.traceDir, traceWritten, discovery));
  }
  return outcome;
}

}  // namespace vyx::cli_run
