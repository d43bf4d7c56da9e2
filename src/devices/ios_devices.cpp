#include "devices/ios_devices.hpp"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <array>

#include "core/files.hpp"

namespace vyx::ios_devices {

namespace {

// Standard-error texts of simctl failures that go away when tried again.
constexpr std::array<std::string_view, 4> kTransientSimctlFailures = {
    "CoreSimulatorService connection became invalid",
    "Failed to initialize simulator device set",
    "simdiskimaged",
    "Connection refused",
};

bool isTransientSimctlFailure(const command::ExecResult& result) {
  if (result.timedOut) return false;
  if (result.term.kind != command::Term::Kind::Exited || result.term.value == 0) return false;
  for (std::string_view text : kTransientSimctlFailures) {
    if (result.stderrBytes.find(text) != std::string::npos) return true;
  }
  return false;
}

std::vector<std::string> commandLine(std::string_view xcrunPath, std::string_view tool,
                                     const std::vector<std::string>& args) {
  std::vector<std::string> argv;
  argv.reserve(args.size() + 4);
  argv.emplace_back(xcrunPath);
  argv.emplace_back(tool);
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

}  // namespace

uint64_t wallClockNs() {
  struct timespec ts {};
  if (::clock_gettime(CLOCK_REALTIME, &ts) != 0 || ts.tv_sec < 0) return 0;
  return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

std::string timestampedPath(std::string_view prefix, std::string_view suffix) {
  std::string path(prefix);
  path += std::to_string(wallClockNs());
  path += suffix;
  return path;
}

TempFile::TempFile(std::string path) : path_(std::move(path)) {
  int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd >= 0) {
    claimed_ = true;
    ::close(fd);
  }
}

TempFile::~TempFile() {
  if (claimed_) (void)files::removeFileIfExists(path_);
}

Expected<command::ExecResult> runSimctlCommand(command::ProcessRunner& runner, Clock& clock,
                                               std::string_view xcrunPath, const std::vector<std::string>& args,
                                               size_t maxBytes) {
  const std::vector<std::string> argv = commandLine(xcrunPath, "simctl", args);
  for (int retries = 0;; ++retries) {
    auto result = runner.run(argv, maxBytes);
    if (!result) return result;
    if (retries >= kSimctlMaxRetries || !isTransientSimctlFailure(*result)) return result;
    clock.sleepMs(kSimctlRetryPauseMs);
  }
}

Expected<command::ExecResult> runDevicectlCommand(command::ProcessRunner& runner, std::string_view xcrunPath,
                                                  const std::vector<std::string>& args) {
  return runner.run(commandLine(xcrunPath, "devicectl", args), kDevicectlCap);
}

Expected<std::string> runDevicectlJsonCommand(command::ProcessRunner& runner, std::string_view xcrunPath,
                                              const std::vector<std::string>& args) {
  TempFile resultFile(timestampedPath("/tmp/vyx-devicectl-", ".json"));
  if (!resultFile.claimed()) return fail(Error::PathAlreadyExists);
  std::vector<std::string> argv = commandLine(xcrunPath, "devicectl", args);
  argv.emplace_back("--json-output");
  argv.push_back(resultFile.path());
  argv.emplace_back("--quiet");
  auto result = runner.run(argv, kDevicectlCap);
  VYX_TRY(command::checkResult(result));
  return files::readFileLimited(resultFile.path(), kDevicectlCap);
}

Expected<std::vector<DeviceInfo>> parseSimulatorList(std::string_view jsonText) {
  VYX_TRY_ASSIGN(auto doc, json::parseValue(jsonText));
  if (!doc.isObject()) return fail(Error::SimctlDevicesMustBeObject);
  const json::Value* runtimes = doc.get("devices");
  if (runtimes == nullptr) return fail(Error::SimctlDevicesMissingDevices);
  if (!runtimes->isObject()) return fail(Error::SimctlDevicesMustBeObject);
  std::vector<DeviceInfo> list;
  for (const json::Member& runtime : runtimes->object) {
    if (!runtime.value.isArray()) continue;
    for (const json::Value& entry : runtime.value.array) {
      if (!entry.isObject()) continue;
      const json::Value* available = entry.get("isAvailable");
      if (available != nullptr && available->isBool() && !available->boolean) continue;
      auto udid = fieldString(entry, "udid");
      auto state = fieldString(entry, "state");
      if (!udid || !state || *state != "Booted") continue;
      list.push_back(DeviceInfo{std::string(*udid), std::string(*state)});
    }
  }
  return list;
}

Expected<std::vector<DeviceInfo>> parsePhysicalList(std::string_view jsonText) {
  VYX_TRY_ASSIGN(auto doc, json::parseValue(jsonText));
  if (!doc.isObject()) return fail(Error::DevicectlDevicesMustBeObject);
  const json::Value* result = doc.get("result");
  if (result == nullptr) return fail(Error::DevicectlDevicesMissingResult);
  if (!result->isObject()) return fail(Error::DevicectlDevicesMustBeObject);
  const json::Value* devices = result->get("devices");
  if (devices == nullptr) return fail(Error::DevicectlDevicesMissingDevices);
  if (!devices->isArray()) return fail(Error::DevicectlDevicesMustBeArray);
  std::vector<DeviceInfo> list;
  for (const json::Value& entry : devices->array) {
    if (!entry.isObject()) continue;
    const json::Value* hardware = entry.get("hardwareProperties");
    if (hardware == nullptr || !hardware->isObject()) continue;
    auto platform = fieldString(*hardware, "platform");
    auto reality = fieldString(*hardware, "reality");
    if (!platform || *platform != "iOS" || !reality || *reality != "physical") continue;
    auto serial = fieldString(entry, "identifier");
    if (!serial) serial = fieldString(*hardware, "udid");
    if (!serial) continue;
    std::string_view state = "available";
    const json::Value* connection = entry.get("connectionProperties");
    if (connection != nullptr && connection->isObject()) {
      if (auto tunnel = fieldString(*connection, "tunnelState")) {
        state = *tunnel;
      } else if (auto pairing = fieldString(*connection, "pairingState")) {
        state = *pairing;
      }
    }
    list.push_back(DeviceInfo{std::string(*serial), std::string(state)});
  }
  return list;
}

Expected<std::vector<DeviceInfo>> listSimulators(command::ProcessRunner& runner, Clock& clock,
                                                 std::string_view xcrunPath) {
  VYX_TRY_ASSIGN(auto out, command::stdoutOrError(
      runSimctlCommand(runner, clock, xcrunPath, {"list", "devices", "--json"}, kSimctlListCap)));
  return parseSimulatorList(out);
}

Expected<std::vector<DeviceInfo>> listPhysical(command::ProcessRunner& runner, std::string_view xcrunPath) {
  VYX_TRY_ASSIGN(auto contents, runDevicectlJsonCommand(runner, xcrunPath, {"list", "devices"}));
  return parsePhysicalList(contents);
}

std::optional<int64_t> findPidInValue(const json::Value& value, std::string_view bundleId) {
  if (value.isArray()) {
    for (const json::Value& element : value.array) {
      if (auto pid = findPidInValue(element, bundleId)) return pid;
    }
    return std::nullopt;
  }
  if (!value.isObject()) return std::nullopt;
  bool namesApp = false;
  std::optional<int64_t> pid;
  for (const json::Member& member : value.object) {
    if (member.value.isString() && member.value.string == bundleId) namesApp = true;
    if ((member.key.find("pid") != std::string::npos ||
         member.key.find("processIdentifier") != std::string::npos) &&
        member.value.isInteger()) {
      pid = member.value.integer;
    }
    if (auto nested = findPidInValue(member.value, bundleId)) return nested;
  }
  return namesApp ? pid : std::nullopt;
}

std::optional<std::string_view> fieldString(const json::Value& object, std::string_view key) {
  const json::Value* member = object.get(key);
  if (member == nullptr || !member->isString()) return std::nullopt;
  return std::string_view(member->string);
}

}  // namespace vyx::ios_devices
