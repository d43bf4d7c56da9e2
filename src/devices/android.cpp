#include "devices/android.hpp"

#include "core/trace.hpp"
#include "core/writer.hpp"
#include "devices/android_devices.hpp"
#include "devices/uiautomator.hpp"

namespace vyx {

namespace shell = android_shell;
using shim_protocol::ShimCmd;
using shim_protocol::ShimCommand;

AndroidDevice::AndroidDevice(std::string adbPath, std::optional<std::string> serial, std::string appId,
                             std::optional<std::string> shimPath, command::ProcessRunner& runner, Clock& clock)
    : adbPath_(std::move(adbPath)),
      serial_(std::move(serial)),
      appId_(std::move(appId)),
      shimPath_(std::move(shimPath)),
      runner_(&runner),
      clock_(&clock) {}

std::vector<std::string> AndroidDevice::adbArgv(const shell::Args& args) const {
  std::vector<std::string> argv;
  argv.reserve(args.size() + 3);
  argv.push_back(adbPath_);
  if (serial_) {
    argv.emplace_back("-s");
    argv.push_back(*serial_);
  }
  argv.insert(argv.end(), args.argv().begin(), args.argv().end());
  return argv;
}

Expected<command::ExecResult> AndroidDevice::runAdbWithTimeout(const shell::Args& args, size_t maxBytes,
                                                               uint64_t timeoutMs) {
  return runner_->runWithTimeout(adbArgv(args), maxBytes, timeoutMs);
}

Status AndroidDevice::runAdbChecked(const shell::Args& args, size_t maxBytes, uint64_t timeoutMs) {
  return command::checkResult(runAdbWithTimeout(args, maxBytes, timeoutMs));
}

Expected<std::string> AndroidDevice::runShim(const ShimCommand& command) {
  if (!shimPath_) return fail(Error::AndroidShimRequired);
  StringWriter request;
  VYX_TRY(shim_protocol::writeCommandJson(request, command));
  return command::stdoutOrError(runner_->runWithInputTimeout({*shimPath_}, request.str(), kShimCap, kShimTimeoutMs));
}

Status AndroidDevice::shimOk(const ShimCommand& command) {
  VYX_TRY_ASSIGN(auto reply, runShim(command));
  return shim_protocol::parseOkResponse(reply);
}

Status AndroidDevice::launch() { return runAdbChecked(shell::launch(appId_)); }

Status AndroidDevice::stop() { return runAdbChecked(shell::stop(appId_)); }

Status AndroidDevice::clearState() { return runAdbChecked(shell::clearState(appId_)); }

Status AndroidDevice::install(std::string_view apkPath) {
  return runAdbChecked(shell::install(apkPath), kOutputCap, kInstallTimeoutMs);
}

Status AndroidDevice::openLink(std::string_view url) {
  const shell::Args args = shell::openLink(url, appId_);
  for (int attempt = 1; attempt <= kOpenLinkAttempts; ++attempt) {
    if (auto s = runAdbChecked(args); !s) return s;
    auto window = activeWindow();
    if (window && window->package && *window->package == appId_) return {};
    if (attempt < kOpenLinkAttempts) clock_->sleepMs(kOpenLinkPauseMs);
  }
  return fail(Error::AppDidNotOpen);
}

Status AndroidDevice::typeText(std::string_view text) {
  if (shimPath_) {
    ShimCommand c = shim_protocol::request(ShimCmd::type);
    c.text = text;
    return shimOk(c);
  }
  return runAdbChecked(shell::typeText(text));
}

Status AndroidDevice::eraseText(uint32_t maxChars) {
  if (shimPath_) {
    ShimCommand c = shim_protocol::request(ShimCmd::eraseText);
    c.maxChars = maxChars;
    return shimOk(c);
  }
  return runAdbChecked(shell::eraseText(maxChars));
}

Status AndroidDevice::pressBack() {
  if (shimPath_) return shimOk(shim_protocol::request(ShimCmd::pressBack));
  return runAdbChecked(shell::pressBack());
}

Status AndroidDevice::hideKeyboard() {
  if (shimPath_) return shimOk(shim_protocol::request(ShimCmd::hideKeyboard));
  return runAdbChecked(shell::pressBack());
}

Status AndroidDevice::swipe(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t durationMs) {
  if (shimPath_) {
    return shimOk(shim_protocol::swipeRequest(x1, y1, x2, y2, durationMs));
  }
  return runAdbChecked(shell::swipe(x1, y1, x2, y2, durationMs));
}

Status AndroidDevice::settle() {
  if (shimPath_) {
    ShimCommand c = shim_protocol::request(ShimCmd::settle);
    c.durationMs = kSettleMs;
    return shimOk(c);
  }
  clock_->sleepMs(kSettleMs);
  return {};
}

Status AndroidDevice::tapPoint(int32_t x, int32_t y) {
  if (shimPath_) {
    ShimCommand c = shim_protocol::request(ShimCmd::tap);
    c.x = x;
    c.y = y;
    return shimOk(c);
  }
  return runAdbChecked(shell::tap(x, y));
}

Expected<std::vector<DeviceInfo>> AndroidDevice::listDevices() {
  return android_devices::listDevices(*runner_, adbPath_);
}

Expected<ActiveWindow> AndroidDevice::activeWindow() {
  VYX_TRY_ASSIGN(auto out, command::stdoutOrError(runAdbWithTimeout(shell::Args{"shell", "dumpsys", "window"},
                                                                     kOutputCap, kAdbTimeoutMs)));
  return android_device_info::parseActiveWindow(out);
}

Expected<ObservationSnapshot> AndroidDevice::snapshot(TraceWriter* trace) {
  ObservationSnapshot snap;
  snap.id = trace != nullptr ? trace->nextSnapshotId() : "snapshot-" + std::to_string(clock_->wallClockMs());

  // The UI tree: from the shim, or from a uiautomator dump. The dump stays
  // in the snapshot: its nodes' strings refer to it.
  std::string_view xml;
  if (shimPath_) {
    VYX_TRY_ASSIGN(auto reply, runShim(shim_protocol::request(ShimCmd::snapshot)));
    VYX_TRY_ASSIGN(auto parsed, shim_protocol::parseSnapshotResponse(reply));
    snap.nodes = std::move(parsed.nodes);
    snap.nodeText = std::move(parsed.nodeText);
  } else {
    VYX_TRY_ASSIGN(auto dump, command::stdoutOrError(
        runAdbWithTimeout(shell::Args{"exec-out", "uiautomator", "dump", "/dev/tty"}, kOutputCap, kAdbTimeoutMs)));
    auto text = std::make_shared<NodeText>();
    xml = text->adopt(std::move(dump));
    VYX_TRY_ASSIGN(auto nodes, uiautomator::scanNodes(xml, *text));
    snap.nodes = std::move(nodes);
    snap.nodeText.store = std::move(text);
  }

  if (trace != nullptr && trace->options().screenshots) {
    auto png = command::stdoutOrError(
        runAdbWithTimeout(shell::Args{"exec-out", "screencap", "-p"}, kOutputCap, kAdbTimeoutMs));
    if (png) {
      VYX_TRY_ASSIGN(auto path, trace->writeArtifact(snap.id + ".png", *png));
      snap.screenshotArtifact = std::move(path);
    }
  }

  if (trace != nullptr && trace->options().hierarchy && !shimPath_) {
    VYX_TRY_ASSIGN(auto path, trace->writeArtifact(snap.id + ".xml", xml));
    snap.treeArtifact = std::move(path);
  }

  VYX_TRY_ASSIGN(auto window, activeWindow());
  snap.activePackage = std::move(window.package);
  snap.activeActivity = std::move(window.activity);

  if (auto size = command::stdoutOrError(
          runAdbWithTimeout(shell::Args{"shell", "wm", "size"}, kWmCap, kAdbTimeoutMs))) {
    snap.viewport = android_device_info::parseWmSize(*size);
  }
  if (auto density = command::stdoutOrError(
          runAdbWithTimeout(shell::Args{"shell", "wm", "density"}, kWmCap, kAdbTimeoutMs))) {
    snap.displayDensityDpi = android_device_info::parseWmDensity(*density);
  }

  if (trace == nullptr || trace->options().logs) {
    if (auto log = command::stdoutOrError(
            runAdbWithTimeout(shell::Args{"logcat", "-d", "-t", "80"}, kLogCap, kAdbTimeoutMs))) {
      snap.logDelta = std::move(*log);
    }
  }

  snap.timestampMs = clock_->wallClockMs();
  return snap;
}

}  // namespace vyx
