#pragma once
// The size limits that more than one module relies on: what the trace writer
// lets a file grow to is what its readers accept back, and every reader of a
// scenario, a configuration or a request line refuses at the same size.
// A reader given one of these limits through files::readFileLimited refuses a
// file of that many bytes or more with StreamTooLong.

#include <cstddef>

namespace vyx::limits {

inline constexpr size_t kMiB = 1024 * 1024;

// events.jsonl: the writer appends no line that would take the log to this
// many bytes; readers of the log take it up to one byte below.
inline constexpr size_t kEventLogBytes = 64 * kMiB;
// trace.json read back; the writers refuse a manifest of this size.
inline constexpr size_t kManifestReadBytes = 1 * kMiB;
// A snapshot's JSON file (artifacts/<id>.json) read back; the trace writer
// refuses one of this size.
inline constexpr size_t kSnapshotReadBytes = 8 * kMiB;
// A scenario file.
inline constexpr size_t kScenarioBytes = 16 * kMiB;
// The configuration file (.vyx/config.json or --config).
inline constexpr size_t kConfigBytes = 1 * kMiB;
// One request line of the servers (and any line read with stdio::LineReader).
inline constexpr size_t kRequestLineBytes = 16 * kMiB;

}  // namespace vyx::limits
