#pragma once
// Drafting a starter scenario from a recorded trace directory: the trace's
// latest snapshot gives up to three stable selectors to assert, the event
// log optionally gives the replayed user actions that lead there. The draft
// is written as a scenario file for a person to review; nothing is printed.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "authoring/replay.hpp"
#include "core/errors.hpp"

namespace vyx::draft {

inline constexpr size_t kMaxSelectors = 3;

inline constexpr std::string_view kTextSelectorWarning =
    "text selectors can be less stable than resource IDs or accessibility labels";
inline constexpr std::string_view kClassOnlyWarning =
    "visible nodes with generated or class-only selectors were skipped";
inline constexpr std::string_view kReviewWarning = "draft requires human review before commit";
inline constexpr std::string_view kNoSelectorsWarning =
    "no stable visible selectors were found in the semantic snapshot";

// What to draft. Paths are relative to the current directory unless
// absolute. `json` is carried for the callers; drafting reads `validate`
// only to decide about a draft too large to validate (below).
struct DraftOptions {
  std::optional<std::string> traceDir{};  // absent: MissingTraceDir
  std::optional<std::string> out{};       // absent: MissingDraftOut
  std::optional<std::string> name{};      // absent: derived from the trace
  std::optional<std::string> appId{};     // absent: the manifest's app id
  bool includeActions = false;            // replay the event log's actions
  bool validate = false;
  bool force = false;                     // replace an existing output file
  bool json = false;
};

// What was written.
struct OwnedDraft {
  bool ok = true;
  std::string out;
  std::string traceDir;
  std::string sourceSnapshot;  // trace directory, artifacts directory and file name joined
  std::string name;
  std::optional<std::string> appId;
  uint64_t selectorCount = 0;  // 0 to 3
  uint64_t stepCount = 0;      // replayed steps (or the launch step), the snapshot step, the assertions
  replay::ReplayStats replay;  // all zero and disabled without includeActions
  std::vector<std::string> warnings;
};

// Drafts a scenario from the trace and writes it to `out`. Nothing touches
// the disk until the document is complete; then missing parent directories
// are created and the file is written whole. Without `force` an existing
// file fails with PathAlreadyExists and is left alone; with it the new
// content goes to a temporary file beside `out` that is renamed over it. A
// failure leaves neither a new file nor newly created directories behind.
// A document too large for the scenario reader (limits::kScenarioBytes)
// fails with StreamTooLong
// unless `validate` is set (the validation then reports it).
Expected<OwnedDraft> draftFromTrace(const DraftOptions& options);

}  // namespace vyx::draft
