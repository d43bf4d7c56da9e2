#include "authoring/config_diagnostics.hpp"

#include <span>

#include "core/config.hpp"

namespace vyx::config_diagnostics {

namespace {

using Names = std::span<const std::string_view>;

enum class Expect { StringOrNull, Bool };

constexpr std::string_view kPlatformStrings[] = {"defaultDevice",  "smokeScenario",  "traceDir",        "avdName",
                                                 "restoreSnapshot", "avdSystemImage", "avdDeviceProfile"};
constexpr std::string_view kPlatformBools[] = {"enabled", "resetBeforeRun", "waitReady", "createAvdIfMissing"};
constexpr std::string_view kPlatforms[] = {"android", "ios"};

bool matches(const json::Value& v, Expect kind) {
  return kind == Expect::Bool ? v.isBool() : (v.isString() || v.isNull());
}

std::string memberPath(std::string_view prefix, std::string_view name) {
  std::string out(prefix);
  out += '.';
  out += name;
  return out;
}

std::string itemPath(std::string_view prefix, size_t index) {
  std::string out(prefix);
  out += '[';
  out += std::to_string(index);
  out += ']';
  return out;
}

// The root member when it is present and an object.
const json::Value* section(const json::Value& root, std::string_view key) {
  const json::Value* v = root.get(key);
  return v != nullptr && v->isObject() ? v : nullptr;
}

bool known(std::string_view name, Names names) {
  for (std::string_view n : names) {
    if (n == name) return true;
  }
  return false;
}

// The first member, in document order, whose name is not listed.
Path unknownInObject(const json::Value& object, std::string_view prefix, Names names) {
  for (const json::Member& m : object.object) {
    if (!known(m.key, names)) return memberPath(prefix, m.key);
  }
  return std::nullopt;
}

Path unknownInNestedObject(const json::Value& root, std::string_view key, Names names) {
  const json::Value* s = section(root, key);
  return s != nullptr ? unknownInObject(*s, memberPath("$", key), names) : std::nullopt;
}

// The first listed member, in list order, present with another kind.
Path fieldWithUnexpectedTag(const json::Value& root, std::string_view key, Names names, Expect kind) {
  const json::Value* s = section(root, key);
  if (s == nullptr) return std::nullopt;
  for (std::string_view name : names) {
    const json::Value* v = s->get(name);
    if (v != nullptr && !matches(*v, kind)) return memberPath(memberPath("$", key), name);
  }
  return std::nullopt;
}

Path directFieldWithUnexpectedTag(const json::Value& object, std::string_view key, std::string_view path,
                                  Expect kind) {
  const json::Value* v = object.get(key);
  if (v != nullptr && !matches(*v, kind)) return std::string(path);
  return std::nullopt;
}

// The first script whose value is no string (or, when asked, is empty).
Path scriptValueWithUnexpectedTag(const json::Value& root, bool refuseEmpty) {
  const json::Value* s = section(root, "scripts");
  if (s == nullptr) return std::nullopt;
  for (const json::Member& m : s->object) {
    if (!m.value.isString() || (refuseEmpty && m.value.string.empty())) return memberPath("$.scripts", m.key);
  }
  return std::nullopt;
}

// The first listed member of a section that is an empty string.
Path emptyNestedStringFieldPath(const json::Value& root, std::string_view key, Names names) {
  const json::Value* s = section(root, key);
  if (s == nullptr) return std::nullopt;
  for (std::string_view name : names) {
    const json::Value* v = s->get(name);
    if (v != nullptr && v->isString() && v->string.empty()) return memberPath(memberPath("$", key), name);
  }
  return std::nullopt;
}

// The first empty-string item of the redaction lists that are arrays.
Path emptyStringArrayItemPath(const json::Value& root) {
  const json::Value* s = section(root, "redaction");
  if (s == nullptr) return std::nullopt;
  for (std::string_view list : config::kRedactionKeys) {
    const json::Value* v = s->get(list);
    if (v == nullptr || !v->isArray()) continue;
    for (size_t i = 0; i < v->array.size(); ++i) {
      const json::Value& item = v->array[i];
      if (item.isString() && item.string.empty()) return itemPath(memberPath("$.redaction", list), i);
    }
  }
  return std::nullopt;
}

}  // namespace

Path findUnknownFieldPath(const json::Value& root) {
  if (Path p = unknownInObject(root, "$", config::kRootKeys)) return p;
  for (std::string_view platform : kPlatforms) {
    if (Path p = unknownInNestedObject(root, platform, config::kSectionKeys)) return p;
  }
  if (Path p = unknownInNestedObject(root, "tools", config::kToolKeys)) return p;
  if (Path p = unknownInNestedObject(root, "artifacts", config::kArtifactKeys)) return p;
  return unknownInNestedObject(root, "redaction", config::kRedactionKeys);
}

Path findStringFieldPath(const json::Value& root) {
  if (Path p = scriptValueWithUnexpectedTag(root, false)) return p;
  if (Path p = directFieldWithUnexpectedTag(root, "appId", "$.appId", Expect::StringOrNull)) return p;
  for (std::string_view platform : kPlatforms) {
    if (Path p = fieldWithUnexpectedTag(root, platform, kPlatformStrings, Expect::StringOrNull)) return p;
  }
  return fieldWithUnexpectedTag(root, "tools", config::kToolKeys, Expect::StringOrNull);
}

Path findNonEmptyStringFieldPath(const json::Value& root) {
  if (Path p = scriptValueWithUnexpectedTag(root, true)) return p;
  if (const json::Value* appId = root.get("appId"); appId != nullptr && appId->isString() && appId->string.empty()) {
    return std::string("$.appId");
  }
  for (std::string_view platform : kPlatforms) {
    if (Path p = emptyNestedStringFieldPath(root, platform, kPlatformStrings)) return p;
  }
  if (Path p = emptyNestedStringFieldPath(root, "tools", config::kToolKeys)) return p;
  return emptyStringArrayItemPath(root);
}

Path firstObjectTypeFieldPath(const json::Value& root) {
  for (std::string_view platform : kPlatforms) {
    if (Path p = objectTypeFieldPath(root, platform, memberPath("$", platform))) return p;
  }
  return std::nullopt;
}

Path findBoolFieldPath(const json::Value& root) {
  for (std::string_view platform : kPlatforms) {
    if (Path p = fieldWithUnexpectedTag(root, platform, kPlatformBools, Expect::Bool)) return p;
  }
  return fieldWithUnexpectedTag(root, "artifacts", config::kArtifactKeys, Expect::Bool);
}

Path objectTypeFieldPath(const json::Value& root, std::string_view key, std::string_view path) {
  const json::Value* v = root.get(key);
  if (v != nullptr && !v->isObject()) return std::string(path);
  return std::nullopt;
}

Path findStringArrayFieldPath(const json::Value& root) {
  const json::Value* s = section(root, "redaction");
  if (s == nullptr) return std::nullopt;
  for (std::string_view list : config::kRedactionKeys) {
    const json::Value* v = s->get(list);
    if (v == nullptr) continue;
    const std::string path = memberPath("$.redaction", list);
    if (!v->isArray()) return path;
    for (size_t i = 0; i < v->array.size(); ++i) {
      if (!v->array[i].isString()) return itemPath(path, i);
    }
  }
  return std::nullopt;
}

Path explain(const json::Value& root, Error error) {
  switch (error) {
    case Error::ConfigUnknownField: return findUnknownFieldPath(root);
    case Error::MissingConfigSchemaVersion:
    case Error::ConfigSchemaVersionMustBeInteger:
    case Error::UnsupportedConfigVersion: return std::string("$.schemaVersion");
    case Error::ConfigFieldMustBeString: return findStringFieldPath(root);
    case Error::ConfigFieldMustBeNonEmptyString: return findNonEmptyStringFieldPath(root);
    case Error::ConfigPlatformMustBeObject: return firstObjectTypeFieldPath(root);
    case Error::ConfigFieldMustBeBool: return findBoolFieldPath(root);
    case Error::ConfigToolsMustBeObject: return objectTypeFieldPath(root, "tools", "$.tools");
    case Error::ConfigArtifactsMustBeObject: return objectTypeFieldPath(root, "artifacts", "$.artifacts");
    case Error::ConfigRedactionMustBeObject: return objectTypeFieldPath(root, "redaction", "$.redaction");
    case Error::ConfigFieldMustBeStringArray: return findStringArrayFieldPath(root);
    case Error::ConfigScriptsMustBeObject: return objectTypeFieldPath(root, "scripts", "$.scripts");
    default: return std::nullopt;
  }
}

}  // namespace vyx::config_diagnostics
