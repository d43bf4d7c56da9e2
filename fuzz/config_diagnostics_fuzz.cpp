// Arbitrary bytes as a configuration file. The JSON reader, the loader and
// the field searches must neither crash nor hang, and every loader error
// that names a field must be explained by a JSON path.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "authoring/config_diagnostics.hpp"
#include "core/config.hpp"
#include "core/json.hpp"

namespace {

bool namesAField(vyx::Error e) {
  switch (e) {
    case vyx::Error::ConfigUnknownField:
    case vyx::Error::MissingConfigSchemaVersion:
    case vyx::Error::ConfigSchemaVersionMustBeInteger:
    case vyx::Error::UnsupportedConfigVersion:
    case vyx::Error::ConfigFieldMustBeString:
    case vyx::Error::ConfigFieldMustBeNonEmptyString:
    case vyx::Error::ConfigPlatformMustBeObject:
    case vyx::Error::ConfigFieldMustBeBool:
    case vyx::Error::ConfigToolsMustBeObject:
    case vyx::Error::ConfigArtifactsMustBeObject:
    case vyx::Error::ConfigRedactionMustBeObject:
    case vyx::Error::ConfigFieldMustBeStringArray:
    case vyx::Error::ConfigScriptsMustBeObject: return true;
    default: return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace cd = vyx::config_diagnostics;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto doc = vyx::json::parseValue(text);
  if (!doc || !doc->isObject()) return 0;
  const vyx::json::Value& root = *doc;

  // Every search on its own, whatever the loader says.
  (void)cd::findUnknownFieldPath(root);
  (void)cd::findStringFieldPath(root);
  (void)cd::findNonEmptyStringFieldPath(root);
  (void)cd::firstObjectTypeFieldPath(root);
  (void)cd::findBoolFieldPath(root);
  (void)cd::findStringArrayFieldPath(root);
  for (std::string_view key : {"tools", "artifacts", "redaction", "scripts"}) {
    (void)cd::objectTypeFieldPath(root, key, "$.x");
  }

  auto loaded = vyx::config::parseSlice(text);
  if (!loaded && namesAField(loaded.error())) {
    cd::Path path = cd::explain(root, loaded.error());
    if (!path || !path->starts_with("$")) __builtin_trap();
  }
  return 0;
}
