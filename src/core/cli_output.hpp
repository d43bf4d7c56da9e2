#pragma once
// In core: these pieces are used by commands of every folder, so they sit below all of them.
// Shared output pieces: JSON string content, shell quoting for suggested
// command lines, and the validation result document.

#include <string_view>

#include "core/writer.hpp"

namespace vyx {
namespace validation {
struct Result;
}

namespace cli_output {

// True when every byte is a letter, digit or one of % + , - . / : = @ _ (and
// the text is non-empty).
bool isShellSafe(std::string_view arg);

Status writeJsonStringContent(Writer& w, std::string_view bytes);
Status writeShellArg(Writer& w, std::string_view arg);
Status writeShellArgJsonContent(Writer& w, std::string_view arg);
// The directory and a relative path joined with paths::joinOnce, as one
// shell word; always quoted when the directory is empty.
Status writeJoinedPathShellArgJsonContent(Writer& w, std::string_view dir, std::string_view file);
// The same word as plain text.
Status writeJoinedPathShellArg(Writer& w, std::string_view dir, std::string_view file);
Status writePathWithSuffixShellArgJsonContent(Writer& w, std::string_view path);
Status writeValidationJson(Writer& w, std::string_view scenarioPath, const validation::Result& result);

}  // namespace cli_output
}  // namespace vyx
