#include "core/config.hpp"

#include <span>
#include <limits>

#include "core/files.hpp"
#include "core/limits.hpp"

namespace vyx::config {

namespace {

using Keys = std::span<const std::string_view>;

// Every key of the object must be one of `allowed`.
Status onlyKnownKeys(const json::Value& object, Keys allowed) {
  for (const json::Member& m : object.object) {
    bool known = false;
    for (std::string_view k : allowed) {
      if (m.key == k) {
        known = true;
        break;
      }
    }
    if (!known) return fail(Error::ConfigUnknownField);
  }
  return {};
}

// Absent or null: none; a non-empty string: its copy; "" and other types fail.
Status readString(const json::Value& object, std::string_view key,
                  std::optional<std::string>& out) {
  const json::Value* v = object.get(key);
  if (v == nullptr || v->isNull()) return {};
  if (!v->isString()) return fail(Error::ConfigFieldMustBeString);
  if (v->string.empty()) return fail(Error::ConfigFieldMustBeNonEmptyString);
  out = v->string;
  return {};
}

// Absent: the default; a boolean: taken; anything else (null included) fails.
Status readBool(const json::Value& object, std::string_view key, bool& out) {
  const json::Value* v = object.get(key);
  if (v == nullptr) return {};
  if (!v->isBool()) return fail(Error::ConfigFieldMustBeBool);
  out = v->boolean;
  return {};
}

Expected<ToolsConfig> readTools(const json::Value* v) {
  ToolsConfig t;
  if (v == nullptr) return t;
  if (!v->isObject()) return fail(Error::ConfigToolsMustBeObject);
  VYX_TRY(onlyKnownKeys(*v, kToolKeys));
  std::optional<std::string>* fields[] = {&t.adbPath,   &t.emulatorPath, &t.avdmanagerPath,
                                          &t.androidShimPath, &t.xcrunPath, &t.iosShimPath,
                                          &t.zigPath};
  size_t i = 0;
  for (std::string_view key : kToolKeys) {
    VYX_TRY(readString(*v, key, *fields[i++]));
  }
  return t;
}

Expected<ArtifactsConfig> readArtifacts(const json::Value* v) {
  ArtifactsConfig a;
  if (v == nullptr) return a;
  if (!v->isObject()) return fail(Error::ConfigArtifactsMustBeObject);
  VYX_TRY(onlyKnownKeys(*v, kArtifactKeys));
  VYX_TRY(readBool(*v, "screenshots", a.screenshots));
  VYX_TRY(readBool(*v, "hierarchy", a.hierarchy));
  VYX_TRY(readBool(*v, "logs", a.logs));
  VYX_TRY(readBool(*v, "screenRecording", a.screenRecording));
  return a;
}

Expected<RedactionConfig> readRedaction(const json::Value* v) {
  RedactionConfig red;
  if (v == nullptr) return red;
  if (!v->isObject()) return fail(Error::ConfigRedactionMustBeObject);
  VYX_TRY(onlyKnownKeys(*v, kRedactionKeys));
  std::vector<std::string>* lists[] = {&red.denylistText, &red.allowlistText,
                                       &red.denylistResourceIds, &red.allowlistResourceIds};
  size_t i = 0;
  for (std::string_view key : kRedactionKeys) {
    VYX_TRY_ASSIGN(auto list, optionalStringList(*v, key));
    *lists[i++] = std::move(list);
  }
  return red;
}

Expected<std::vector<ScriptEntry>> readScripts(const json::Value* v) {
  std::vector<ScriptEntry> scripts;
  if (v == nullptr) return scripts;
  if (!v->isObject()) return fail(Error::ConfigScriptsMustBeObject);
  for (const json::Member& m : v->object) {
    if (!m.value.isString()) return fail(Error::ConfigFieldMustBeString);
    if (m.value.string.empty()) return fail(Error::ConfigFieldMustBeNonEmptyString);
    scripts.push_back(ScriptEntry{m.key, m.value.string});
  }
  return scripts;
}

}  // namespace

Expected<PlatformConfig> platformConfig(const json::Value* v) {
  PlatformConfig p;
  if (v == nullptr) return p;
  if (!v->isObject()) return fail(Error::ConfigPlatformMustBeObject);
  VYX_TRY(onlyKnownKeys(*v, kSectionKeys));
  VYX_TRY(readBool(*v, "enabled", p.enabled));
  VYX_TRY(readString(*v, "defaultDevice", p.defaultDevice));
  VYX_TRY(readString(*v, "smokeScenario", p.smokeScenario));
  VYX_TRY(readString(*v, "traceDir", p.traceDir));
  VYX_TRY(readString(*v, "avdName", p.avdName));
  VYX_TRY(readString(*v, "restoreSnapshot", p.restoreSnapshot));
  VYX_TRY(readString(*v, "avdSystemImage", p.avdSystemImage));
  VYX_TRY(readString(*v, "avdDeviceProfile", p.avdDeviceProfile));
  VYX_TRY(readBool(*v, "resetBeforeRun", p.resetBeforeRun));
  VYX_TRY(readBool(*v, "waitReady", p.waitReady));
  VYX_TRY(readBool(*v, "createAvdIfMissing", p.createAvdIfMissing));
  return p;
}

Expected<std::vector<std::string>> optionalStringList(const json::Value& object,
                                                      std::string_view key) {
  std::vector<std::string> out;
  const json::Value* v = object.get(key);
  if (v == nullptr) return out;
  if (!v->isArray()) return fail(Error::ConfigFieldMustBeStringArray);
  out.reserve(v->array.size());
  for (const json::Value& element : v->array) {
    if (!element.isString()) return fail(Error::ConfigFieldMustBeStringArray);
    if (element.string.empty()) return fail(Error::ConfigFieldMustBeNonEmptyString);
    out.push_back(element.string);
  }
  return out;
}

Expected<Config> parseSlice(std::string_view text) {
  VYX_TRY_ASSIGN(auto doc, json::parseValue(text));
  const json::Value& root = doc;
  if (!root.isObject()) return fail(Error::ConfigMustBeObject);
  // The whole key set is examined before any value.
  VYX_TRY(onlyKnownKeys(root, kRootKeys));

  Config c;
  const json::Value* version = root.get("schemaVersion");
  if (version == nullptr) return fail(Error::MissingConfigSchemaVersion);
  if (!version->isInteger() || version->integer < 0 ||
      version->integer > static_cast<int64_t>(std::numeric_limits<uint32_t>::max())) {
    return fail(Error::ConfigSchemaVersionMustBeInteger);
  }
  c.schemaVersion = static_cast<uint32_t>(version->integer);

  VYX_TRY(readString(root, "appId", c.appId));

  VYX_TRY_ASSIGN(auto android, platformConfig(root.get("android")));
  c.android = std::move(android);
  VYX_TRY_ASSIGN(auto ios, platformConfig(root.get("ios")));
  c.ios = std::move(ios);

  VYX_TRY_ASSIGN(auto tools, readTools(root.get("tools")));
  c.tools = std::move(tools);
  VYX_TRY_ASSIGN(auto artifacts, readArtifacts(root.get("artifacts")));
  c.artifacts = artifacts;
  VYX_TRY_ASSIGN(auto redaction, readRedaction(root.get("redaction")));
  c.redaction = std::move(redaction);
  VYX_TRY_ASSIGN(auto scripts, readScripts(root.get("scripts")));
  c.scripts = std::move(scripts);

  // The version's value is compared last.
  if (c.schemaVersion != 1) return fail(Error::UnsupportedConfigVersion);
  return c;
}

Expected<Config> parseFile(const std::string& path) {
  VYX_TRY_ASSIGN(auto text, files::readFileLimited(path, limits::kConfigBytes));
  return parseSlice(text);
}

}  // namespace vyx::config
