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
  if (auto r = onlyKnownKeys(*v, kToolKeys); !r) return fail(r.error());
  std::optional<std::string>* fields[] = {&t.adbPath,   &t.emulatorPath, &t.avdmanagerPath,
                                          &t.androidShimPath, &t.xcrunPath, &t.iosShimPath,
                                          &t.zigPath};
  size_t i = 0;
  for (std::string_view key : kToolKeys) {
    if (auto r = readString(*v, key, *fields[i++]); !r) return fail(r.error());
  }
  return t;
}

Expected<ArtifactsConfig> readArtifacts(const json::Value* v) {
  ArtifactsConfig a;
  if (v == nullptr) return a;
  if (!v->isObject()) return fail(Error::ConfigArtifactsMustBeObject);
  if (auto r = onlyKnownKeys(*v, kArtifactKeys); !r) return fail(r.error());
  if (auto r = readBool(*v, "screenshots", a.screenshots); !r) return fail(r.error());
  if (auto r = readBool(*v, "hierarchy", a.hierarchy); !r) return fail(r.error());
  if (auto r = readBool(*v, "logs", a.logs); !r) return fail(r.error());
  if (auto r = readBool(*v, "screenRecording", a.screenRecording); !r) return fail(r.error());
  return a;
}

Expected<RedactionConfig> readRedaction(const json::Value* v) {
  RedactionConfig red;
  if (v == nullptr) return red;
  if (!v->isObject()) return fail(Error::ConfigRedactionMustBeObject);
  if (auto r = onlyKnownKeys(*v, kRedactionKeys); !r) return fail(r.error());
  std::vector<std::string>* lists[] = {&red.denylistText, &red.allowlistText,
                                       &red.denylistResourceIds, &red.allowlistResourceIds};
  size_t i = 0;
  for (std::string_view key : kRedactionKeys) {
    auto list = optionalStringList(*v, key);
    if (!list) return fail(list.error());
    *lists[i++] = std::move(*list);
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
  if (auto r = onlyKnownKeys(*v, kSectionKeys); !r) return fail(r.error());
  if (auto r = readBool(*v, "enabled", p.enabled); !r) return fail(r.error());
  if (auto r = readString(*v, "defaultDevice", p.defaultDevice); !r) return fail(r.error());
  if (auto r = readString(*v, "smokeScenario", p.smokeScenario); !r) return fail(r.error());
  if (auto r = readString(*v, "traceDir", p.traceDir); !r) return fail(r.error());
  if (auto r = readString(*v, "avdName", p.avdName); !r) return fail(r.error());
  if (auto r = readString(*v, "restoreSnapshot", p.restoreSnapshot); !r) return fail(r.error());
  if (auto r = readString(*v, "avdSystemImage", p.avdSystemImage); !r) return fail(r.error());
  if (auto r = readString(*v, "avdDeviceProfile", p.avdDeviceProfile); !r) return fail(r.error());
  if (auto r = readBool(*v, "resetBeforeRun", p.resetBeforeRun); !r) return fail(r.error());
  if (auto r = readBool(*v, "waitReady", p.waitReady); !r) return fail(r.error());
  if (auto r = readBool(*v, "createAvdIfMissing", p.createAvdIfMissing); !r) {
    return fail(r.error());
  }
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
  auto doc = json::parseValue(text);
  if (!doc) return fail(doc.error());
  const json::Value& root = *doc;
  if (!root.isObject()) return fail(Error::ConfigMustBeObject);
  // The whole key set is examined before any value.
  if (auto r = onlyKnownKeys(root, kRootKeys); !r) return fail(r.error());

  Config c;
  const json::Value* version = root.get("schemaVersion");
  if (version == nullptr) return fail(Error::MissingConfigSchemaVersion);
  if (!version->isInteger() || version->integer < 0 ||
      version->integer > static_cast<int64_t>(std::numeric_limits<uint32_t>::max())) {
    return fail(Error::ConfigSchemaVersionMustBeInteger);
  }
  c.schemaVersion = static_cast<uint32_t>(version->integer);

  if (auto r = readString(root, "appId", c.appId); !r) return fail(r.error());

  auto android = platformConfig(root.get("android"));
  if (!android) return fail(android.error());
  c.android = std::move(*android);
  auto ios = platformConfig(root.get("ios"));
  if (!ios) return fail(ios.error());
  c.ios = std::move(*ios);

  auto tools = readTools(root.get("tools"));
  if (!tools) return fail(tools.error());
  c.tools = std::move(*tools);
  auto artifacts = readArtifacts(root.get("artifacts"));
  if (!artifacts) return fail(artifacts.error());
  c.artifacts = *artifacts;
  auto redaction = readRedaction(root.get("redaction"));
  if (!redaction) return fail(redaction.error());
  c.redaction = std::move(*redaction);
  auto scripts = readScripts(root.get("scripts"));
  if (!scripts) return fail(scripts.error());
  c.scripts = std::move(*scripts);

  // The version's value is compared last.
  if (c.schemaVersion != 1) return fail(Error::UnsupportedConfigVersion);
  return c;
}

Expected<Config> parseFile(const std::string& path) {
  auto text = files::readFileLimited(path, limits::kConfigBytes);
  if (!text) return fail(text.error());
  return parseSlice(*text);
}

}  // namespace vyx::config
