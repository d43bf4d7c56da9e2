#pragma once
// Pointing at the field behind a configuration load error: each search takes
// the parsed document's root object and returns the JSON path of the first
// offending member it finds ("$.android.avdName",
// "$.redaction.denylistText[2]", "$.scripts.smoke"), or none. The searches
// read the document only and know the file's layout from the loader's key
// lists. A section is examined only when it is present and an object.

#include <optional>
#include <string>
#include <string_view>

#include "core/errors.hpp"
#include "core/json.hpp"

namespace vyx::config_diagnostics {

using Path = std::optional<std::string>;

// ConfigUnknownField: a member not in its section's list (root, android,
// ios, tools, artifacts, redaction; scripts take any name).
Path findUnknownFieldPath(const json::Value& root);

// ConfigFieldMustBeString: a script that is no string, then appId, the
// platform string members and the tools that are neither string nor null.
Path findStringFieldPath(const json::Value& root);

// ConfigFieldMustBeNonEmptyString: an empty or non-string script, then an
// empty appId, platform string, tool, or redaction list item.
Path findNonEmptyStringFieldPath(const json::Value& root);

// ConfigPlatformMustBeObject: "$.android", else "$.ios", when present and
// not an object.
Path firstObjectTypeFieldPath(const json::Value& root);

// ConfigFieldMustBeBool: a platform switch or artifacts member that is no
// bool (null included).
Path findBoolFieldPath(const json::Value& root);

// The Config...MustBeObject errors of tools, artifacts, redaction and
// scripts: `path` when the root member `key` is present and not an object.
Path objectTypeFieldPath(const json::Value& root, std::string_view key, std::string_view path);

// ConfigFieldMustBeStringArray: a redaction list that is no array, or its
// first item that is no string.
Path findStringArrayFieldPath(const json::Value& root);

// The path that explains a loader error of a document whose root is an
// object: the search that belongs to the error, "$.schemaVersion" for the
// schema version errors, none for any other error.
Path explain(const json::Value& root, Error error);

}  // namespace vyx::config_diagnostics
