#pragma once
// Drafting plus optional validation of the written file, and the JSON result
// documents of `draft`, `discover` and `explore`. The library entry for
// every caller that turns a trace into a scenario file: the three commands,
// `vyx run --discover-out` and the servers' trace operations. Nothing here
// prints; the caller chooses the writer.

#include <optional>
#include <span>
#include <string_view>

#include "authoring/draft.hpp"
#include "core/errors.hpp"
#include "core/validation.hpp"
#include "core/writer.hpp"

namespace vyx::discover {

using draft::DraftOptions;
using draft::OwnedDraft;

struct OwnedDiscover {
  OwnedDraft draft;
  std::optional<validation::Result> validation;  // present when validation ran
  bool validated = false;                        // the `validate` option
  bool ok = true;                                // the draft's ok and, when validated, the validation's
};

// How writeJsonWithOptions dresses a result: the discover form or the
// explore form, nothing else.
struct DiscoverJsonOptions {
  std::string_view mode;
  std::optional<std::string_view> goal;
  std::span<const std::string_view> guardrails;
  std::optional<bool> autonomous;
  std::optional<bool> reviewRequired;
};

inline constexpr std::string_view kExploreGuardrails[] = {
    "writes from existing trace evidence only",
    "does not crawl the app",
    "does not discover credentials or secrets",
    "requires human review before commit",
};

// mode "discover", no goal, no guardrails, no autonomy or review members.
inline constexpr DiscoverJsonOptions kDiscoverForm{"discover", std::nullopt, {}, std::nullopt, std::nullopt};

// mode "explore", the goal when given, the four guardrails, autonomous
// false, review required.
constexpr DiscoverJsonOptions exploreForm(std::optional<std::string_view> goal) {
  return {"explore", goal, kExploreGuardrails, false, true};
}

// Drafts from the trace (draft::draftFromTrace) and, with `validate`, checks
// the written file (validation::validateFile). A failed validation is no
// error: it comes back in the result with ok false. Drafting errors are
// returned unchanged.
Expected<OwnedDiscover> discoverFromTrace(const DraftOptions& options);

// One compact JSON document and a line feed:
// {"ok","mode","schemaVersion","runnerVersion","protocolVersion"[,"goal"]
//  [,"autonomous"][,"reviewRequired"][,"guardrails"],"out","traceDir",
//  "sourceSnapshot","name","appId","selectorCount","stepCount","replay",
//  "warnings","validated","validation","nextCommands"}
Status writeJsonWithOptions(Writer& w, const OwnedDiscover& result, const DiscoverJsonOptions& options);

// The `draft` command's document: as above with mode "draft" and without
// the validation, goal and guardrail members.
Status writeDraftJson(Writer& w, const OwnedDraft& draft);

// The text form's last line: "next: vyx validate --json <out>" with the
// path as a plain shell argument, and a line feed.
Status writeNextLine(Writer& w, std::string_view out);

}  // namespace vyx::discover
