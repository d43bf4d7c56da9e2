#include "authoring/doctor.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "authoring/doctor_hints.hpp"
#include "core/json_writer.hpp"
#include "core/text.hpp"
#include "core/validation.hpp"
#include "devices/android_devices.hpp"
#include "devices/ios_devices.hpp"

namespace vyx::doctor {

namespace {

struct CodeRow {
  std::string_view name;
  std::string_view notFound;
  std::string_view failed;
};

constexpr CodeRow kCodes[] = {
    {"zig", "setup.zig.not_found", "setup.zig.command_failed"},
    {"adb", "setup.adb.not_found", "setup.adb.command_failed"},
    {"xcrun", "setup.xcrun.not_found", "setup.xcrun.command_failed"},
    {"android-shim", "setup.android_shim.not_found", "setup.android_shim.command_failed"},
    {"ios-shim", "setup.ios_shim.not_found", "setup.ios_shim.command_failed"},
};

// A record that is not ok: status, code, detail and the check's hint.
Check problem(std::string_view name, CheckStatus status, std::string_view code, std::string detail) {
  Check c;
  c.name = std::string(name);
  c.status = status;
  c.errorCode = std::string(code);
  c.detail = std::move(detail);
  c.hint = std::string(doctor_hints::hintForCheck(name, status));
  return c;
}

Check okRecord(std::string_view name, std::string detail) {
  Check c;
  c.name = std::string(name);
  c.detail = std::move(detail);
  return c;
}

std::string withError(std::string_view path, Error e) {
  std::string out(path);
  out += ": ";
  out += errorName(e);
  return out;
}

// Device checks whose listing worked: a count and a ready count.
Check counted(Check c, uint64_t count, uint64_t ready) {
  c.count = count;
  c.readyCount = ready;
  return c;
}

Check androidDevices(command::ProcessRunner& runner, const std::string& adbPath) {
  constexpr std::string_view kName = "android-devices";
  auto devices = android_devices::listDevices(runner, adbPath);
  if (!devices) {
    return problem(kName, CheckStatus::missing, "setup.android.devices_unavailable", withError(adbPath, devices.error()));
  }
  // Every listed entry counts, whatever its adb state.
  const uint64_t n = devices->size();
  if (n == 0) {
    return counted(problem(kName, CheckStatus::warning, "setup.android.no_devices", "0 Android device(s)"), 0, 0);
  }
  return counted(okRecord(kName, std::to_string(n) + " Android device(s)"), n, n);
}

Check iosSimulators(command::ProcessRunner& runner, Clock& clock, const std::string& xcrunPath) {
  constexpr std::string_view kName = "ios-simulators";
  auto devices = ios_devices::listSimulators(runner, clock, xcrunPath);
  if (!devices) {
    return problem(kName, CheckStatus::missing, "setup.ios.simulators_unavailable",
                   withError(xcrunPath, devices.error()));
  }
  const uint64_t n = devices->size();
  if (n == 0) {
    return counted(
        problem(kName, CheckStatus::warning, "setup.ios.no_booted_simulators", "0 booted iOS simulator(s)"), 0, 0);
  }
  return counted(okRecord(kName, std::to_string(n) + " booted iOS simulator(s)"), n, n);
}

Check iosPhysical(command::ProcessRunner& runner, const std::string& xcrunPath) {
  constexpr std::string_view kName = "ios-physical-devices";
  auto devices = ios_devices::listPhysical(runner, xcrunPath);
  if (!devices) {
    return problem(kName, CheckStatus::missing, "setup.ios.physical_devices_unavailable",
                   withError(xcrunPath, devices.error()));
  }
  const uint64_t n = devices->size();
  if (n == 0) {
    return counted(
        problem(kName, CheckStatus::warning, "setup.ios.no_physical_devices", "0 physical iOS device(s)"), 0, 0);
  }
  uint64_t ready = 0;
  for (const DeviceInfo& d : *devices) {
    if (d.state == "connected" || d.state == "available") ++ready;
  }
  const std::string listed = " ready physical iOS device(s); " + std::to_string(n) + " listed";
  if (ready == 0) {
    return counted(problem(kName, CheckStatus::warning, "setup.ios.no_ready_physical_devices",
                           "0" + listed + physicalStateBreakdown(*devices)),
                   n, 0);
  }
  if (ready < n) {
    return counted(okRecord(kName, std::to_string(ready) + listed + physicalStateBreakdown(*devices)), n, ready);
  }
  return counted(okRecord(kName, std::to_string(n) + " ready physical iOS device(s)"), n, n);
}

}  // namespace

std::string_view statusName(CheckStatus status) {
  switch (status) {
    case CheckStatus::ok: return "ok";
    case CheckStatus::warning: return "warning";
    case CheckStatus::missing: return "missing";
  }
  return "missing";
}

std::string_view notFoundCode(std::string_view name) {
  for (const CodeRow& row : kCodes) {
    if (row.name == name) return row.notFound;
  }
  return "setup.tool.not_found";
}

std::string_view commandFailedCode(std::string_view name) {
  for (const CodeRow& row : kCodes) {
    if (row.name == name) return row.failed;
  }
  return "setup.tool.command_failed";
}

Check checkCommand(command::ProcessRunner& runner, std::string_view name, const std::vector<std::string>& argv,
                   uint64_t timeoutMs) {
  const std::string_view tool = argv.empty() ? std::string_view() : std::string_view(argv.front());
  auto result = runner.runWithTimeout(argv, kToolOutputCap, timeoutMs);
  // A tool that could not run, overflowed its cap or never finished.
  if (!result || result->timedOut) {
    Error e = result ? Error::CommandTimedOut : result.error();
    return problem(name, CheckStatus::missing, notFoundCode(name), withError(tool, e));
  }
  if (result->term.exitedZero()) {
    std::string_view out = text::trimBlanks(result->stdoutBytes);
    return okRecord(name, std::string(out.substr(0, out.find('\n'))));
  }
  const uint32_t code = result->term.kind == command::Term::Kind::Exited ? result->term.value : 255;
  std::string detail = "exit " + std::to_string(code) + ": ";
  detail += text::trimBlanks(result->stderrBytes);
  return problem(name, CheckStatus::warning, commandFailedCode(name), std::move(detail));
}

Check checkPath(std::string_view name, const std::string& path) {
  Error e = Error::Unexpected;
  if (::faccessat(AT_FDCWD, path.c_str(), R_OK, 0) != 0) {
    e = errorFromErrno(errno);
  } else {
    // A directory passes the access test but cannot serve as a shim.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
      e = errorFromErrno(errno);
    } else if (S_ISDIR(st.st_mode)) {
      e = Error::IsDir;
    } else {
      return okRecord(name, path);
    }
  }
  return problem(name, CheckStatus::missing, notFoundCode(name), withError(path, e));
}

Check checkScenarioPath(std::string_view name, const std::string& path) {
  validation::Result r = validation::validateFile(path);
  if (r.ok) {
    std::string detail = path + ": ok (";
    if (r.name) detail += *r.name;
    detail += ", " + std::to_string(r.stepCount) + " steps)";
    return okRecord(name, std::move(detail));
  }
  const std::string code = r.code.empty() ? std::string("scenario.invalid") : r.code;
  const CheckStatus status = code == "scenario.file_not_found" ? CheckStatus::missing : CheckStatus::warning;
  std::string detail = path + ": invalid [" + code + "] ";
  detail += r.message.empty() ? std::string_view("scenario is invalid") : std::string_view(r.message);
  if (r.path) detail += " at " + *r.path;
  if (r.line && r.column) detail += " line " + std::to_string(*r.line) + " column " + std::to_string(*r.column);
  return problem(name, status, code, std::move(detail));
}

std::string physicalStateBreakdown(const std::vector<DeviceInfo>& devices) {
  uint64_t disconnected = 0, paired = 0, unavailable = 0, other = 0;
  for (const DeviceInfo& d : devices) {
    if (d.state == "connected" || d.state == "available") continue;
    if (d.state == "disconnected") {
      ++disconnected;
    } else if (d.state == "paired") {
      ++paired;
    } else if (d.state == "unavailable") {
      ++unavailable;
    } else {
      ++other;
    }
  }
  std::string items;
  auto add = [&items](std::string_view label, uint64_t n) {
    if (n == 0) return;
    if (!items.empty()) items += ", ";
    items += label;
    items += std::to_string(n);
  };
  add("disconnected=", disconnected);
  add("paired=", paired);
  add("unavailable=", unavailable);
  add("other=", other);
  return items.empty() ? std::string() : " (" + items + ")";
}

std::vector<Check> run(command::ProcessRunner& runner, Clock& clock, const DoctorOptions& o) {
  std::vector<Check> checks;
  checks.reserve(10);
  checks.push_back(checkCommand(runner, "zig", {o.zigPath, "version"}));
  checks.push_back(checkCommand(runner, "adb", {o.adbPath, "version"}));
  checks.push_back(androidDevices(runner, o.adbPath));
  if (o.androidShimPath) checks.push_back(checkPath("android-shim", *o.androidShimPath));
  if (o.androidSmokeScenario) checks.push_back(checkScenarioPath("android-smoke-scenario", *o.androidSmokeScenario));
  checks.push_back(checkCommand(runner, "xcrun", {o.xcrunPath, "--version"}));
  checks.push_back(iosSimulators(runner, clock, o.xcrunPath));
  checks.push_back(iosPhysical(runner, o.xcrunPath));
  if (o.iosShimPath) checks.push_back(checkPath("ios-shim", *o.iosShimPath));
  if (o.iosSmokeScenario) checks.push_back(checkScenarioPath("ios-smoke-scenario", *o.iosSmokeScenario));
  return checks;
}

Status writeDoctorCheckJson(Writer& w, const Check& c) {
  JsonObjectWriter o(w);
  o.str("name", c.name).str("status", statusName(c.status)).optStr("errorCode", c.errorCode).str("detail", c.detail);
  if (c.count) o.unum("count", *c.count);
  if (c.readyCount) o.unum("readyCount", *c.readyCount);
  if (c.scriptCount) o.unum("scriptCount", *c.scriptCount);
  if (c.scriptNames) {
    o.value("scriptNames", [&](Writer& out) {
      JsonArrayWriter names(out);
      for (const std::string& n : *c.scriptNames) names.str(n);
      return names.finish();
    });
  }
  o.optStr("hint", c.hint).optStr("fieldPath", c.fieldPath);
  return o.finish();
}

}  // namespace vyx::doctor
