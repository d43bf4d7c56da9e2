#pragma once
// The files that `vyx init` writes: the starter and smoke scenarios, the
// configuration template, the device matrix, the agent instructions and the
// trace entry of ".gitignore", and the file creation rules behind them.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.hpp"

namespace vyx::scaffold {

inline constexpr std::string_view kStarterScenarioName = "Starter mobile smoke";
inline constexpr std::string_view kAndroidSmokeName = "Android smoke";
inline constexpr std::string_view kIosSmokeName = "iOS smoke";

// The block appended to ".gitignore", and the text whose presence anywhere in
// the file means the entry is already there.
inline constexpr std::string_view kGitignoreBlock = "# VYX local run artifacts\ntraces/\n";
inline constexpr std::string_view kGitignoreMarker = "traces/";
// The largest ".gitignore" that is read (bytes, inclusive).
inline constexpr size_t kMaxGitignoreBytes = 1024 * 1024;

// One script of the configuration template.
struct Script {
  std::string_view name;
  std::string command;
};

// The sixteen scripts, in the order the configuration lists them; the app id
// appears in them as one shell word.
std::vector<Script> scripts(std::string_view appId);

// File contents (every line ends with a line feed).
std::string scenarioText(std::string_view name, std::string_view appId);
std::string configText(std::string_view appId);
std::string deviceMatrixText(std::string_view appId);
std::string agentInstructionsText(std::string_view appId);


// Whether something exists at the path (symbolic links followed); a failure
// of the test other than "not found" is returned.
Expected<bool> pathExists(const std::string& path);

// Writes a smoke scenario, except that without `force` an existing file is
// left as it is (and the call succeeds).
Status writePlatformSmoke(const std::string& path, std::string_view name, std::string_view appId, bool force);

// Adds kGitignoreBlock to the file unless it already holds kGitignoreMarker.
// A missing file counts as empty. The old content is kept byte for byte: the
// block (after a separating blank line when the file is not empty) is
// appended, and a failed append leaves the file as it was. A file larger
// than kMaxGitignoreBytes fails with StreamTooLong and is not touched.
Status updateGitignore(const std::string& path);

}  // namespace vyx::scaffold
