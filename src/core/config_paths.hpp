#pragma once
// Turning paths and tool values written in the configuration file into usable
// paths, relative to the app root (the directory that holds ".vyx").
// Plain string rules; no file-system lookups and no normalisation.

#include <string>
#include <string_view>

namespace vyx::config_paths {

// The app root of a configuration file: its directory ("." when the path has
// none), or that directory's own directory when it is named ".vyx".
// ".vyx/config.json" -> ".", "/srv/app/.vyx/config.json" -> "/srv/app",
// "conf/app.json" -> "conf".
std::string rootForPath(std::string_view configPath);

// An absolute path unchanged; any other joined onto the root with a single
// "/" (an empty part adds nothing): "traces/run" under "." -> "./traces/run".
std::string ownFilePath(std::string_view root, std::string_view path);

// A bare command name (no "/", not beginning with ".") unchanged for the
// search-path lookup; any other value as ownFilePath: "adb" stays "adb",
// "tools/adb" -> "<root>/tools/adb", "/opt/sdk/adb" unchanged.
std::string ownCommandPath(std::string_view root, std::string_view value);

}  // namespace vyx::config_paths
