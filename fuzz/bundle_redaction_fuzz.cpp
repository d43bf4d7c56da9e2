// The redaction of a bundle's text files on arbitrary bytes: the free-text
// scrubber and the JSON-or-text choice must never crash, what stands in a
// JSON file is valid UTF-8, and lines of JSON must come back as lines of
// JSON.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/json.hpp"
#include "core/trace_json.hpp"
#include "reports/bundle_redaction.hpp"

namespace {

// Every non-empty line parses as one JSON value.
bool allLinesAreJson(std::string_view text, size_t& lines) {
  lines = 0;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty()) {
      if (!vyx::json::parseValue(line)) return false;
      ++lines;
    }
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  (void)vyx::bundle_redaction::redactFreeText(input);
  std::string redacted = vyx::bundle_redaction::redactJsonishText(input);
  if (!vyx::trace_json::isValidUtf8(redacted)) __builtin_trap();

  // An event log stays an event log: when every line of the input is JSON,
  // every line of the redacted text is, one for one (two keys scrubbed
  // alike, or alike once stray bytes are U+FFFD, are told apart).
  size_t inLines = 0;
  if (allLinesAreJson(input, inLines) && inLines > 0) {
    size_t outLines = 0;
    if (!allLinesAreJson(redacted, outLines) || outLines != inLines) __builtin_trap();
  }
  return 0;
}
