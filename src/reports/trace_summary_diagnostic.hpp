#pragma once
// One failure event of a trace, flattened into optional strings for people
// and agents: what failed, on which snapshot, what was on screen.

#include <optional>
#include <string>
#include <string_view>

#include "core/json.hpp"
#include "core/writer.hpp"

namespace vyx::trace_summary {

// The separator of the flattened lists `visibleTexts` and `nearestTextMatches`.
inline constexpr std::string_view kListSeparator = " | ";

struct DiagnosticEvent {
  std::optional<std::string> kind;
  std::optional<std::string> status;
  std::optional<std::string> snapshotId;
  std::optional<std::string> artifactStatus;
  std::optional<std::string> semanticStatus;
  std::optional<std::string> error;
  std::optional<std::string> screenshotArtifact;
  std::optional<std::string> source;
  std::optional<std::string> activePackage;
  std::optional<std::string> activeActivity;
  std::optional<std::string> visibleTexts;        // at most 8 strings joined with " | "
  std::optional<std::string> nearestTextMatches;  // at most 5 "text (score n)" items joined with " | "

  // Builds the record from an event's kind and payload object: `kind` is
  // always set; each other field only when the payload holds it as a string
  // (the two lists when they yield at least one item).
  static DiagnosticEvent fromPayload(std::string_view kind, const json::Value& payload);
};

// Writes a flattened list back as a JSON array of strings: the text is split
// at every " | ", empty pieces included.
Status writeJoinedStringArrayJson(Writer& w, std::string_view flattened);

}  // namespace vyx::trace_summary
