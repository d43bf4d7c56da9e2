#pragma once
// Flow-YAML import: reads a flow file (a header of "key: value" lines and a
// list of "- command" items, each with an optional block of "key: value"
// lines below it) and converts it into a scenario file.
//
// The conversion itself is pure (text in, scenario text or an error with its
// line out); only importFlowYamlFile touches the disk.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "authoring/importer_model.hpp"

namespace vyx::importer {

// Flow files larger than this are refused with StreamTooLong.
inline constexpr size_t kMaxFlowBytes = 4 * 1024 * 1024;
// A scenario of this size or more would not load again, so such an import
// fails with StreamTooLong instead of writing it.
inline constexpr size_t kMaxScenarioBytes = 16 * 1024 * 1024;
// Time-outs, durations and counts above this do not fit the scenario
// reader's integers and fail with Overflow.
inline constexpr uint64_t kMaxStepNumber = 9'223'372'036'854'775'807ull;

// One non-blank, non-comment line of the flow: its 1-based number and its
// text trimmed of spaces, tabs, CR and LF.
struct FlowLine {
  size_t number = 0;
  std::string_view text;
};
using Block = std::span<const FlowLine>;

// Trims, then reads a double-quoted text with its backslash escapes, a
// single-quoted text as it is, or anything else unchanged.
std::string parseScalarString(std::string_view text);

// Splits at the first ":" into a trimmed key and value; none without ":".
std::optional<std::pair<std::string_view, std::string_view>> splitColon(std::string_view line);

// An unsigned 64-bit decimal: optional "+", digits with "_" between them.
// "-" with only zeros reads 0; other negatives and values above the range
// fail with Overflow; anything else with InvalidCharacter.
Expected<uint64_t> parseU64(std::string_view text);

// parseU64, further limited to kMaxStepNumber (Overflow above it).
Expected<uint64_t> parseStepNumber(std::string_view text);

// A non-empty inline value selects by text; otherwise the block's selector
// keys. ImportMissingSelector (at `itemLine`) when nothing was set.
ImportExpected<SelectorSpec> parseSelectorValueOrBlock(std::string_view inlineValue, Block block,
                                                       size_t itemLine);

// A non-empty inline value, else the first block line keyed `key` or
// "value"; ImportMissingValue (at `itemLine`) with neither.
ImportExpected<std::string> parseRequiredScalarOrBlockValue(std::string_view inlineValue, Block block,
                                                            std::string_view key, size_t itemLine);

// The number of the first block line keyed `key` (parseStepNumber), none
// when no line has the key.
ImportExpected<std::optional<uint64_t>> parseOptionalU64FromBlock(Block block, std::string_view key);

// "down" or "up" from the first "direction" line (any ASCII case), none
// without one; any other value fails with UnsupportedImportDirection.
ImportExpected<std::optional<std::string_view>> parseDirectionFromBlock(Block block);

// Reads the flow into a scenario; the options' name and app id win over the
// header's.
ImportExpected<ImportedScenario> parseFlow(std::string_view text, const ImportOptions& options);

struct ConvertedFlow {
  std::string json;  // the scenario file's bytes
  std::string name;
  std::optional<std::string> appId;
  uint64_t stepCount = 0;
};

// Reads the flow and writes the scenario file's text in memory.
ImportExpected<ConvertedFlow> convertFlowYaml(std::string_view text, const ImportOptions& options);

// Checks the output path (unless options.force), reads and converts the
// flow file, then writes the scenario file, creating its parent directories.
// A failure leaves neither the file nor directories this call created.
ImportExpected<ImportResult> importFlowYamlFile(const std::string& flowPath, const std::string& outPath,
                                                const ImportOptions& options);

}  // namespace vyx::importer
