#pragma once
// The project configuration file (by convention ".vyx/config.json"): its
// strict reader and the records it produces.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.hpp"
#include "core/json.hpp"

namespace vyx {

// One platform section, "android" or "ios".
struct PlatformConfig {
  std::optional<std::string> defaultDevice{};
  std::optional<std::string> smokeScenario{};  // app-root relative
  std::optional<std::string> traceDir{};       // app-root relative
  std::optional<std::string> avdName{};
  std::optional<std::string> restoreSnapshot{};
  std::optional<std::string> avdSystemImage{};
  std::optional<std::string> avdDeviceProfile{};
  bool enabled = false;
  bool resetBeforeRun = false;
  bool waitReady = false;
  bool createAvdIfMissing = false;
};

struct ToolsConfig {
  std::optional<std::string> adbPath{};
  std::optional<std::string> emulatorPath{};
  std::optional<std::string> avdmanagerPath{};
  std::optional<std::string> androidShimPath{};
  std::optional<std::string> xcrunPath{};
  std::optional<std::string> iosShimPath{};
  std::optional<std::string> zigPath{};
};

struct ArtifactsConfig {
  bool screenshots = true;
  bool hierarchy = true;
  bool logs = true;
  bool screenRecording = false;
};

// Four lists of non-empty strings, each in document order.
struct RedactionConfig {
  std::vector<std::string> denylistText{};
  std::vector<std::string> allowlistText{};
  std::vector<std::string> denylistResourceIds{};
  std::vector<std::string> allowlistResourceIds{};
};

struct ScriptEntry {
  std::string name{};     // may be empty
  std::string command{};  // never empty
};

struct Config {
  uint32_t schemaVersion = 1;
  std::optional<std::string> appId{};
  PlatformConfig android{};
  PlatformConfig ios{};
  ToolsConfig tools{};
  ArtifactsConfig artifacts{};
  RedactionConfig redaction{};
  std::vector<ScriptEntry> scripts{};  // document order
};

namespace config {

// The member names accepted in each part of the file, in list order ("ios"
// takes the same names as "android"; "scripts" takes any name).
inline constexpr std::string_view kRootKeys[] = {"schemaVersion", "appId",     "android", "ios",
                                                 "artifacts",     "redaction", "tools",   "scripts"};
inline constexpr std::string_view kSectionKeys[] = {
    "enabled", "defaultDevice",      "smokeScenario",  "traceDir",         "avdName",       "restoreSnapshot",
    "createAvdIfMissing", "avdSystemImage", "avdDeviceProfile", "resetBeforeRun", "waitReady"};
inline constexpr std::string_view kToolKeys[] = {"adbPath",   "emulatorPath", "avdmanagerPath", "androidShimPath",
                                                 "xcrunPath", "iosShimPath",  "zigPath"};
inline constexpr std::string_view kArtifactKeys[] = {"screenshots", "hierarchy", "logs", "screenRecording"};
inline constexpr std::string_view kRedactionKeys[] = {"denylistText", "allowlistText", "denylistResourceIds",
                                                      "allowlistResourceIds"};

// Reads and checks the file (a file of limits::kConfigBytes or more fails
// with StreamTooLong). File errors are returned unchanged, malformed
// JSON with the JSON reader's error, and content faults with the first
// configuration error found.
Expected<Config> parseFile(const std::string& path);

// The same checks over a document already read.
Expected<Config> parseSlice(std::string_view text);

// One section; `value` null means absent.
Expected<PlatformConfig> platformConfig(const json::Value* value);

// One redaction list member of `object`; absent gives an empty list.
Expected<std::vector<std::string>> optionalStringList(const json::Value& object,
                                                      std::string_view key);

}  // namespace config
}  // namespace vyx
