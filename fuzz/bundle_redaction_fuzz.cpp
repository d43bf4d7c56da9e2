// The redaction of a bundle's text files on arbitrary bytes: the free-text
// scrubber and the JSON-or-text choice must never crash, what stands in a
// JSON file is valid UTF-8, and JSON lines with no tag in them must come back
// as JSON lines.
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
  std::string scrubbed = vyx::bundle_redaction::redactFreeText(input);
  std::string redacted = vyx::bundle_redaction::redactJsonishText(input);
  if (!vyx::trace_json::isValidUtf8(redacted)) __builtin_trap();

  // Without a tag the attribute rule never applies, and the markers are
  // placed only inside strings, so an event log stays an event log (of
  // UTF-8 text: member names that differ only in other bytes are written
  // alike, and the reader refuses a repeated name).
  size_t inLines = 0;
  if (input.find('<') == std::string_view::npos && input.find('\r') == std::string_view::npos &&
      vyx::trace_json::isValidUtf8(input) &&
      allLinesAreJson(input, inLines) && inLines > 0) {
    size_t outLines = 0;
    if (!allLinesAreJson(scrubbed, outLines) || outLines != inLines) __builtin_trap();
    if (!allLinesAreJson(redacted, outLines)) __builtin_trap();
  }
  return 0;
}
