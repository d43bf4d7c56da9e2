#pragma once
// Turning the user actions recorded in a trace's event log back into
// scenario steps: a recorded tap becomes a tap step on the recorded selector,
// a recorded wait a wait step, and so on. Bookkeeping events are ignored;
// failed actions are counted as skipped; actions that cannot be replayed are
// counted and explained by warnings.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.hpp"
#include "core/json.hpp"
#include "core/writer.hpp"

namespace vyx::replay {

struct ReplayStats {
  bool enabled = false;           // replay was asked for (also when the log was missing)
  uint64_t eventCount = 0;        // action events seen
  uint64_t stepCount = 0;         // steps produced
  uint64_t skippedEventCount = 0; // action events that produced no step
};

// Warnings for a reviewer, in order of first appearance, each sentence once.
class Warnings {
 public:
  void add(std::string_view sentence);
  const std::vector<std::string>& list() const { return list_; }
  std::vector<std::string> take() { return std::move(list_); }

 private:
  std::vector<std::string> list_;
};

inline constexpr std::string_view kEventsNotFound = "trace events were not found; action replay was skipped";
inline constexpr std::string_view kInvalidEvent = "invalid trace event was skipped";
inline constexpr std::string_view kRedactedTextPrefix = "redacted trace text action was skipped: ";
inline constexpr std::string_view kMissingFieldsPrefix =
    "trace action was skipped because required replay fields were missing: ";
inline constexpr std::string_view kUnsupportedPrefix = "unsupported trace action was skipped: ";

struct Replay {
  std::vector<std::string> steps;  // compact JSON step objects, in event order
  ReplayStats stats;
};

// The kinds that runner and server bookkeeping records; they are neither
// replayed nor counted.
bool isControlEvent(std::string_view kind);

// Replays the contents of an event log. Never fails: bad lines are warned
// about, passed over or counted as skipped. Every step produced is one that
// the scenario reader accepts.
Replay replayEventLog(std::string_view log, Warnings& warnings);

// Reads the event log at `path` (up to limits::kEventLogBytes) and replays
// it. A missing file gives the not-found warning and an enabled, empty
// replay; any other read failure is returned.
Expected<Replay> replayEventFile(const std::string& path, Warnings& warnings);
// The same for the event log of a trace directory, `eventsPath` as its
// manifest names it: the log is opened beneath the directory, and one behind
// a link or out of the trace counts as missing.
Expected<Replay> replayTraceEvents(const std::string& traceDir, std::string_view eventsPath, Warnings& warnings);

// Writes the fragment
// ,"replay":{"enabled":..,"eventCount":n,"stepCount":n,"skippedEventCount":n}
// that continues a draft result object.
Status writeReplayJson(Writer& w, const ReplayStats& stats);

}  // namespace vyx::replay
