#include "authoring/cli_doctor.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "authoring/config_diagnostics.hpp"
#include "authoring/doctor_hints.hpp"
#include "core/clock.hpp"
#include "core/command.hpp"
#include "core/config.hpp"
#include "core/config_paths.hpp"
#include "core/files.hpp"
#include "core/json.hpp"
#include "core/limits.hpp"
#include "core/run_options.hpp"
#include "core/writer.hpp"

namespace vyx::cli_doctor {

namespace {

using doctor::Check;
using doctor::CheckStatus;

constexpr std::string_view kDefaultConfigPath = ".vyx/config.json";
constexpr std::string_view kConfigCheck = "config";

struct Flags {
  std::string adb = "adb";
  std::optional<std::string> androidShim{};
  std::string xcrun = "xcrun";
  std::optional<std::string> iosShim{};
  std::string zig = "zig";
  std::optional<std::string> configPath{};
  bool json = false;
  bool strict = false;
};

Expected<Flags> parseFlags(ArgIterator& args) {
  Flags f;
  while (auto arg = args.next()) {
    if (*arg == "--adb") {
      VYX_TRY(takeValue(args, Error::MissingAdbPath, f.adb));
    } else if (*arg == "--android-shim") {
      VYX_TRY(takeValue(args, Error::MissingAndroidShimPath, f.androidShim));
    } else if (*arg == "--xcrun") {
      VYX_TRY(takeValue(args, Error::MissingXcrunPath, f.xcrun));
    } else if (*arg == "--ios-shim") {
      VYX_TRY(takeValue(args, Error::MissingIosShimPath, f.iosShim));
    } else if (*arg == "--zig") {
      VYX_TRY(takeValue(args, Error::MissingZigPath, f.zig));
    } else if (*arg == "--json") {
      f.json = true;
    } else if (*arg == "--strict") {
      f.strict = true;
    } else if (*arg == "--config") {
      VYX_TRY(takeValue(args, Error::MissingConfigPath, f.configPath));
    } else {
      return fail(Error::unknownFlag);
    }
  }
  return f;
}

// The JSON path that explains `error`, from the file's bytes.
config_diagnostics::Path fieldPathFor(const std::string& path, Error error) {
  auto text = files::readFileLimited(path, limits::kConfigBytes);
  if (!text) return std::nullopt;
  if (error == Error::ConfigMustBeObject) return std::string("$");
  auto doc = json::parseValue(*text);
  if (!doc || !doc->isObject()) return std::nullopt;
  return config_diagnostics::explain(*doc, error);
}

Check loadedConfigRecord(const std::string& path, const Config& config) {
  Check c;
  c.name = std::string(kConfigCheck);
  c.detail = path;
  c.scriptCount = config.scripts.size();
  c.scriptNames.emplace();
  for (const ScriptEntry& s : config.scripts) c.scriptNames->push_back(s.name);
  return c;
}

// The check paths: flags, then the configuration's values resolved against
// its app root, then the defaults. A flag left at its default value gives
// way to the configuration, as for the servers (not as for `run`).
doctor::DoctorOptions checkPaths(const Flags& f, const std::string& configPath, const Config* config) {
  doctor::DoctorOptions o;
  o.zigPath = f.zig;
  o.adbPath = f.adb;
  o.androidShimPath = f.androidShim;
  o.xcrunPath = f.xcrun;
  o.iosShimPath = f.iosShim;
  if (config == nullptr) return o;
  const std::string root = config_paths::rootForPath(configPath);
  const ToolsConfig& tools = config->tools;
  o.adbPath = run_options::serveTool(o.adbPath, tools.adbPath, root, "adb");
  if (!f.androidShim && tools.androidShimPath) {
    o.androidShimPath = config_paths::ownFilePath(root, *tools.androidShimPath);
  }
  if (config->android.smokeScenario) {
    o.androidSmokeScenario = config_paths::ownFilePath(root, *config->android.smokeScenario);
  }
  o.xcrunPath = run_options::serveTool(o.xcrunPath, tools.xcrunPath, root, "xcrun");
  if (!f.iosShim && tools.iosShimPath) o.iosShimPath = config_paths::ownFilePath(root, *tools.iosShimPath);
  if (config->ios.smokeScenario) {
    o.iosSmokeScenario = config_paths::ownFilePath(root, *config->ios.smokeScenario);
  }
  o.zigPath = run_options::serveTool(o.zigPath, tools.zigPath, root, "zig");
  return o;
}

bool allOk(const std::optional<Check>& configRecord, const std::vector<Check>& checks) {
  if (configRecord && configRecord->status != CheckStatus::ok) return false;
  for (const Check& c : checks) {
    if (c.status != CheckStatus::ok) return false;
  }
  return true;
}

Status writeText(Writer& w, const std::vector<const Check*>& records, bool ok) {
  std::string text;
  for (const Check* c : records) {
    text += c->name;
    text += '\t';
    text += doctor::statusName(c->status);
    text += '\t';
    text += c->detail;
    text += '\n';
    if (c->hint) {
      text += c->name;
      text += "-hint\t";
      text += *c->hint;
      text += '\n';
    }
  }
  text += ok ? "status\tok\n" : "status\tneeds-attention\n";
  return w.writeAll(text);
}

Status writeJson(Writer& w, const std::vector<const Check*>& records, bool ok) {
  VYX_TRY(w.writeAll(ok ? "{\"ok\":true,\"checks\":[" : "{\"ok\":false,\"checks\":["));
  for (size_t i = 0; i < records.size(); ++i) {
    if (i > 0) VYX_TRY(w.writeByte(','));
    VYX_TRY(doctor::writeDoctorCheckJson(w, *records[i]));
  }
  return w.writeAll("]}\n");
}

}  // namespace

std::string_view configErrorCode(Error error) {
  switch (error) {
    case Error::FileNotFound: return "config.file_not_found";
    case Error::ConfigMustBeObject: return "config.must_be_object";
    case Error::ConfigUnknownField: return "config.unknown_field";
    case Error::MissingConfigSchemaVersion: return "config.missing_schema_version";
    case Error::ConfigSchemaVersionMustBeInteger: return "config.schema_version_type";
    case Error::ConfigFieldMustBeString:
    case Error::ConfigPlatformMustBeObject:
    case Error::ConfigFieldMustBeBool:
    case Error::ConfigToolsMustBeObject:
    case Error::ConfigArtifactsMustBeObject:
    case Error::ConfigRedactionMustBeObject:
    case Error::ConfigFieldMustBeStringArray:
    case Error::ConfigScriptsMustBeObject: return "config.field_type";
    case Error::ConfigFieldMustBeNonEmptyString: return "config.empty_string";
    case Error::UnsupportedConfigVersion: return "config.unsupported_version";
    default: return "config.invalid";
  }
}

Check diagnoseConfig(const std::string& path, Error error) {
  Check c;
  c.name = std::string(kConfigCheck);
  c.status = error == Error::FileNotFound ? CheckStatus::missing : CheckStatus::warning;
  c.errorCode = std::string(configErrorCode(error));
  c.detail = path + ": " + std::string(errorName(error));
  c.hint = std::string(doctor_hints::hintForCheck(kConfigCheck, c.status));
  c.fieldPath = fieldPathFor(path, error);
  return c;
}

Status run(ArgIterator& args) {
  VYX_TRY_ASSIGN(auto flags, parseFlags(args));

  const std::string configPath = flags.configPath ? *flags.configPath : std::string(kDefaultConfigPath);
  std::optional<Check> configRecord;
  std::optional<Config> config;
  bool load = true;
  if (!flags.configPath && ::access(configPath.c_str(), F_OK) != 0) {
    Error e = errorFromErrno(errno);
    load = false;
    if (e != Error::FileNotFound) configRecord = diagnoseConfig(configPath, e);
  }
  if (load) {
    if (auto parsed = config::parseFile(configPath)) {
      config = std::move(*parsed);
      if (flags.configPath) configRecord = loadedConfigRecord(configPath, *config);
    } else {
      configRecord = diagnoseConfig(configPath, parsed.error());
    }
  }

  const doctor::DoctorOptions options = checkPaths(flags, configPath, config ? &*config : nullptr);
  const std::vector<Check> checks = doctor::run(command::realProcessRunner(), systemClock(), options);

  std::vector<const Check*> records;
  records.reserve(checks.size() + 1);
  if (configRecord) records.push_back(&*configRecord);
  for (const Check& c : checks) records.push_back(&c);
  const bool ok = allOk(configRecord, checks);

  Output out;
  VYX_TRY(flags.json ? writeJson(out, records, ok) : writeText(out, records, ok));
  VYX_TRY(out.flush());
  if (flags.strict && !ok) std::_Exit(1);
  return {};
}

}  // namespace vyx::cli_doctor
