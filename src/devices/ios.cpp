#include "devices/ios.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>

#include "core/base64.hpp"
#include "core/files.hpp"
#include "core/json.hpp"
#include "core/text.hpp"
#include "core/trace.hpp"
#include "core/trace_json.hpp"
#include "core/writer.hpp"
#include "devices/ios_devices.hpp"
#include "devices/png.hpp"

namespace vyx {

using shim_protocol::ShimCmd;
using shim_protocol::ShimCommand;

namespace {

// Standard-error texts of a shim that exited before its server was ready;
// such a run is tried once more.
constexpr std::array<std::string_view, 3> kShimNotReady = {
    "iOS shim server exited before it became ready",
    "Early unexpected exit",
    "operation never finished bootstrapping",
};

constexpr std::string_view kNothingToTerminate = "found nothing to terminate";
constexpr std::string_view kNotInstalled = "No installed application with bundle identifier";

bool exitedNonZero(const command::ExecResult& result) {
  return !result.timedOut && result.term.kind == command::Term::Kind::Exited && result.term.value != 0;
}

// The caller convention, except that a normal non-zero exit whose standard
// error holds the tolerated text counts as success.
Status judge(const Expected<command::ExecResult>& result, std::optional<std::string_view> tolerated) {
  if (result && tolerated && exitedNonZero(*result) && result->stderrBytes.find(*tolerated) != std::string::npos) {
    return {};
  }
  return command::checkResult(result);
}

// The reply parsed as an object whose "status" is the string "ok", else none.
std::optional<json::Value> okReplyDocument(std::string_view reply) {
  auto doc = json::parseValue(reply);
  if (!doc || !doc->isObject()) return std::nullopt;
  auto status = ios_devices::fieldString(*doc, "status");
  if (!status || *status != "ok") return std::nullopt;
  return std::move(*doc);
}

std::optional<std::string> decodePngReply(std::string_view reply) {
  auto doc = okReplyDocument(reply);
  if (!doc) return std::nullopt;
  auto format = ios_devices::fieldString(*doc, "format");
  if (!format || *format != "png") return std::nullopt;
  auto encoded = ios_devices::fieldString(*doc, "base64");
  if (!encoded) return std::nullopt;
  auto bytes = base64::decode(*encoded);
  if (!bytes) return std::nullopt;
  return std::move(*bytes);
}

Expected<std::string> semanticFailurePayload(Error error, std::string_view screenshotArtifact) {
  StringWriter w;
  auto write = [&]() -> Status {
    if (auto s = w.writeAll(R"({"status":"failed","artifactStatus":"captured","semanticStatus":"failed","error":)");
        !s)
      return s;
    if (auto s = trace_json::writeJsonString(w, errorName(error)); !s) return s;
    if (auto s = w.writeAll(R"(,"screenshotArtifact":)"); !s) return s;
    if (auto s = trace_json::writeJsonString(w, screenshotArtifact); !s) return s;
    return w.writeAll(R"(,"source":"ios-xctest-shim"})");
  };
  VYX_TRY(write());
  return w.take();
}

}  // namespace

namespace ios {

uint64_t shimTimeoutFromEnv(const char* value) {
  if (value == nullptr) return IosDevice::kDefaultShimTimeoutMs;
  const std::optional<uint64_t> result = text::parseGroupedUnsigned(value);
  return !result || *result == 0 ? IosDevice::kDefaultShimTimeoutMs : *result;
}

}  // namespace ios

IosDevice::IosDevice(std::string xcrunPath, std::optional<std::string> deviceId, std::string appId, bool physical,
                     std::optional<std::string> shimPath, command::ProcessRunner& runner, Clock& clock)
    : xcrunPath_(std::move(xcrunPath)),
      deviceId_(std::move(deviceId)),
      appId_(std::move(appId)),
      shimPath_(std::move(shimPath)),
      physical_(physical),
      runner_(&runner),
      clock_(&clock) {}

// ---- tools ----

Status IosDevice::runSimctl(const std::vector<std::string>& args, std::optional<std::string_view> tolerated) {
  return judge(ios_devices::runSimctlCommand(*runner_, *clock_, xcrunPath_, args, kSimctlCap), tolerated);
}

Status IosDevice::runDevicectl(const std::vector<std::string>& args, std::optional<std::string_view> tolerated) {
  return judge(ios_devices::runDevicectlCommand(*runner_, xcrunPath_, args), tolerated);
}

Status IosDevice::launchPhysical(std::optional<std::string_view> url) {
  std::vector<std::string> args = {"device", "process", "launch", "--device", std::string(device()),
                                   "--terminate-existing"};
  if (url) {
    args.emplace_back("--payload-url");
    args.emplace_back(*url);
  }
  args.push_back(appId_);
  return runDevicectl(args);
}

Status IosDevice::launch() {
  if (physical_) return launchPhysical(std::nullopt);
  Status launched = runSimctl({"launch", std::string(device()), appId_});
  if (launched) return launched;
  Error e = launched.error();
  if ((e == Error::CommandTimedOut || e == Error::CommandFailed) && shimPath_ && appReportedRunning()) return {};
  return launched;
}

bool IosDevice::appReportedRunning() {
  auto reply = runShimWithTimeout(shim_protocol::request(ShimCmd::appState), kShortShimTimeoutMs);
  if (!reply) return false;
  auto doc = okReplyDocument(*reply);
  if (!doc) return false;
  const json::Value* state = doc->get("state");
  if (state == nullptr) return false;
  if (state->isInteger()) return state->integer >= 3;
  if (state->isString()) {
    return state->string == "running" || state->string == "runningForeground" ||
           state->string == "runningBackground";
  }
  return false;
}

Status IosDevice::openLink(std::string_view url) {
  if (physical_) return launchPhysical(url);
  if (auto s = runSimctl({"openurl", std::string(device()), std::string(url)}); !s) return s;
  if (shimPath_) acceptOpenAlerts();
  return {};
}

void IosDevice::acceptOpenAlerts() {
  ShimCommand accept = shim_protocol::request(ShimCmd::acceptSystemAlert);
  accept.text = "Open";
  for (int attempt = 1;; ++attempt) {
    auto reply = runShimWithTimeout(accept, kShortShimTimeoutMs);
    if (!reply) return;
    auto doc = okReplyDocument(*reply);
    if (!doc) return;
    const json::Value* accepted = doc->get("accepted");
    if (accepted != nullptr && accepted->isBool() && accepted->boolean) return;
    if (attempt == kAlertAttempts) return;
    clock_->sleepMs(kAlertPauseMs);
  }
}

Status IosDevice::stop() {
  if (physical_) return stopPhysical();
  return runSimctl({"terminate", std::string(device()), appId_}, kNothingToTerminate);
}

Status IosDevice::stopPhysical() {
  auto listing = ios_devices::runDevicectlJsonCommand(
      *runner_, xcrunPath_, {"device", "info", "processes", "--device", std::string(device())});
  if (!listing) return {};
  auto doc = json::parseValue(*listing);
  if (!doc) return {};
  auto pid = ios_devices::findPidInValue(*doc, appId_);
  if (!pid) return {};
  return runDevicectl({"device", "process", "terminate", "--device", std::string(device()), "--pid",
                       std::to_string(*pid)});
}

Status IosDevice::clearState() {
  if (physical_) {
    return runDevicectl({"device", "uninstall", "app", "--device", std::string(device()), appId_}, kNotInstalled);
  }
  return runSimctl({"uninstall", std::string(device()), appId_}, kNotInstalled);
}

Status IosDevice::install(std::string_view appPath) {
  if (physical_) {
    return runDevicectl({"device", "install", "app", "--device", std::string(device()), std::string(appPath)});
  }
  return runSimctl({"install", std::string(device()), std::string(appPath)});
}

// ---- shim ----

Expected<std::string> IosDevice::runShim(const ShimCommand& command) {
  return runShimWithTimeout(command, ios::shimTimeoutFromEnv(std::getenv("VYX_IOS_SHIM_TIMEOUT_MS")));
}

Expected<std::string> IosDevice::runShimWithTimeout(const ShimCommand& command, uint64_t timeoutMs) {
  if (!shimPath_) return fail(Error::IosXCTestShimRequired);
  StringWriter request;
  VYX_TRY(shim_protocol::writeCommandJson(request, command));
  const std::vector<std::string> argv = {*shimPath_};
  for (int attempt = 1;; ++attempt) {
    VYX_TRY_ASSIGN(auto result, runner_->runWithInputTimeout(argv, request.str(), kShimCap, timeoutMs));
    if (result.timedOut) return fail(Error::CommandTimedOut);
    if (result.term.kind != command::Term::Kind::Exited) return fail(Error::CommandFailed);
    if (result.term.value == 0) return std::move(result.stdoutBytes);
    bool notReady = false;
    for (std::string_view text : kShimNotReady) {
      if (result.stderrBytes.find(text) != std::string::npos) notReady = true;
    }
    if (attempt > 1 || !notReady) return fail(Error::CommandFailed);
    clock_->sleepMs(kShimRetryPauseMs);
  }
}

Status IosDevice::shimOk(const ShimCommand& command) {
  VYX_TRY_ASSIGN(auto reply, runShim(command));
  return shim_protocol::parseOkResponse(reply);
}

Status IosDevice::settle() {
  if (!shimPath_) {
    clock_->sleepMs(kSettleMs);
    return {};
  }
  ShimCommand c = shim_protocol::request(ShimCmd::settle);
  c.durationMs = kSettleMs;
  return shimOk(c);
}

Status IosDevice::typeText(std::string_view text) {
  ShimCommand c = shim_protocol::request(ShimCmd::type);
  c.text = text;
  return shimOk(c);
}

Status IosDevice::eraseText(uint32_t maxChars) {
  ShimCommand c = shim_protocol::request(ShimCmd::eraseText);
  c.maxChars = maxChars;
  return shimOk(c);
}

Status IosDevice::pressBack() { return shimOk(shim_protocol::request(ShimCmd::pressBack)); }

Status IosDevice::hideKeyboard() { return shimOk(shim_protocol::request(ShimCmd::hideKeyboard)); }

Status IosDevice::swipe(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t durationMs) {
  return shimOk(shim_protocol::swipeRequest(x1, y1, x2, y2, durationMs));
}

Status IosDevice::tapPoint(int32_t x, int32_t y) {
  ShimCommand c = shim_protocol::request(ShimCmd::tap);
  c.x = x;
  c.y = y;
  return shimOk(c);
}

Expected<NativeAction> IosDevice::nativeSelectorAction(const SelectorAction& action, const Selector& selector) {
  if (!shimPath_) return NativeAction::unavailable;
  std::optional<std::string> selectorText = shim_protocol::selectorString(selector);
  if (!selectorText) return NativeAction::unavailable;
  ShimCommand request;
  switch (action.kind) {
    case SelectorAction::Kind::tap:
      request.cmd = ShimCmd::tap;
      break;
    case SelectorAction::Kind::typeText:
      request.cmd = ShimCmd::type;
      request.text = action.text;
      break;
    case SelectorAction::Kind::eraseText:
      request.cmd = ShimCmd::eraseText;
      request.maxChars = action.maxChars;
      break;
  }
  request.selector = *selectorText;
  VYX_TRY_ASSIGN(auto reply, runShim(request));
  VYX_TRY_ASSIGN(auto performed, shim_protocol::parseSelectorActionResponse(reply));
  return performed ? NativeAction::performed : NativeAction::unavailable;
}

Expected<std::optional<bool>> IosDevice::nativeVisible(const Selector& selector, uint64_t timeoutMs) {
  if (!shimPath_) return std::optional<bool>();
  std::optional<std::string> selectorText = shim_protocol::selectorString(selector);
  if (!selectorText) return std::optional<bool>();
  ShimCommand query = shim_protocol::request(ShimCmd::query);
  query.selector = *selectorText;
  VYX_TRY_ASSIGN(auto reply, runShimWithTimeout(query, std::max<uint64_t>(timeoutMs, 1)));
  VYX_TRY_ASSIGN(auto exists, shim_protocol::parseQueryResponse(reply));
  return std::optional<bool>(exists);
}

Expected<std::vector<DeviceInfo>> IosDevice::listDevices() {
  if (physical_) return ios_devices::listPhysical(*runner_, xcrunPath_);
  return ios_devices::listSimulators(*runner_, *clock_, xcrunPath_);
}

// ---- observation ----

std::optional<std::string> IosDevice::captureScreenshot() {
  if (physical_) {
    auto reply = runShim(shim_protocol::request(ShimCmd::screenshot));
    if (!reply) return std::nullopt;
    return decodePngReply(*reply);
  }
  ios_devices::TempFile file(ios_devices::timestampedPath("/tmp/vyx-ios-screenshot-", ".png"));
  if (!file.claimed()) return std::nullopt;
  auto result = ios_devices::runSimctlCommand(*runner_, *clock_, xcrunPath_,
                                              {"io", std::string(device()), "screenshot", file.path()}, kSimctlCap);
  if (!command::checkResult(result)) return std::nullopt;
  auto bytes = files::readFileLimited(file.path(), kScreenshotFileLimit);
  // The file is created empty before the tool runs, so an empty file means
  // the tool wrote nothing: no screenshot, as if the file were missing.
  if (!bytes || bytes->empty()) return std::nullopt;
  return std::move(*bytes);
}

std::optional<std::string> IosDevice::captureSimulatorLog() {
  auto out = command::stdoutOrError(ios_devices::runSimctlCommand(
      *runner_, *clock_, xcrunPath_,
      {"spawn", std::string(device()), "log", "show", "--style", "compact", "--last", "30s"}, kLogCap));
  if (!out) return std::nullopt;
  return std::move(*out);
}

Expected<ObservationSnapshot> IosDevice::snapshot(TraceWriter* trace) {
  ObservationSnapshot snap;
  snap.id = trace != nullptr ? trace->nextSnapshotId() : "snapshot-" + std::to_string(clock_->wallClockMs());

  Viewport pngSize;
  if (trace != nullptr && trace->options().screenshots) {
    if (std::optional<std::string> bytes = captureScreenshot()) {
      pngSize = png::size(*bytes);
      VYX_TRY_ASSIGN(auto path, trace->writeArtifact(snap.id + ".png", *bytes));
      snap.screenshotArtifact = std::move(path);
    }
  }

  if (!physical_ && (trace == nullptr || trace->options().logs)) snap.logDelta = captureSimulatorLog();

  snap.activePackage = appId_;
  snap.viewport = pngSize;

  if (shimPath_) {
    auto tree = [&]() -> Expected<shim_protocol::SnapshotReply> {
      VYX_TRY_ASSIGN(auto reply, runShim(shim_protocol::request(ShimCmd::snapshot)));
      return shim_protocol::parseSnapshotResponse(reply);
    }();
    if (tree) {
      snap.nodes = std::move(tree->nodes);
      snap.nodeText = std::move(tree->nodeText);
      if (tree->viewportWidth != 0 && tree->viewportHeight != 0) {
        snap.viewport = Viewport{tree->viewportWidth, tree->viewportHeight};
      }
    } else if (snap.screenshotArtifact) {
      // The screenshot alone still makes an observation: record the lost
      // UI tree as a partial failure and go on without nodes.
      VYX_TRY_ASSIGN(auto payload, semanticFailurePayload(tree.error(), *snap.screenshotArtifact));
      if (trace != nullptr) {
        VYX_TRY(trace->recordEvent("observe.snapshot.semanticExtraction", payload));
      }
    } else {
      return fail(tree.error());
    }
  }

  snap.timestampMs = clock_->wallClockMs();
  return snap;
}

}  // namespace vyx
