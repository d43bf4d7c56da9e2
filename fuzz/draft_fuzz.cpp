// Fuzzes the trace reader of drafting: the manifest, the snapshot, the
// event log and the name of the snapshot artifact all come from the input,
// which holds them in that order separated by NUL bytes (missing parts are
// left out of the trace). The event log is also replayed in memory.
//
// Besides crashes and sanitizer reports it stops on a broken promise: a
// draft that succeeds must have written a file and validated it, with its
// result's ok telling the validation's; when that validation fails, it is
// the recorded steps, kept as recorded, that fail it, so the same draft
// without them validates. A draft that fails must have written nothing.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "authoring/discover.hpp"
#include "authoring/replay.hpp"
#include "core/files.hpp"
#include "fuzz_support.hpp"

namespace {

std::vector<std::string_view> splitParts(std::string_view input) {
  std::vector<std::string_view> parts;
  while (parts.size() < 3) {
    size_t nul = input.find('\0');
    if (nul == std::string_view::npos) break;
    parts.push_back(input.substr(0, nul));
    input.remove_prefix(nul + 1);
  }
  parts.push_back(input);
  return parts;
}

// A file name taken from the input; the default when it could leave the
// artifacts directory or is no name at all.
std::string artifactName(const std::vector<std::string_view>& parts) {
  if (parts.size() < 4) return "snapshot-1.json";
  std::string name(parts[3].substr(0, 200));
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
      name.find('\0') != std::string::npos) {
    return "snapshot-1.json";
  }
  return name;
}

// The trace directory of this process, made once: each input overwrites
// its files and removes what the previous input had and this one has not,
// instead of rebuilding the directory.
struct Trace {
  std::string dir = vyx::fuzz::scratchDir() + "/trace";
  std::string outDir = vyx::fuzz::scratchDir() + "/out";
  std::string artifact;  // the previous input's snapshot file, if any

  Trace() { VYX_FUZZ_CHECK(vyx::files::makePath(dir + "/artifacts").has_value()); }

  void put(const std::string& path, std::optional<std::string_view> bytes) {
    if (bytes) {
      VYX_FUZZ_CHECK(vyx::files::writeFile(path, *bytes).has_value());
    } else {
      VYX_FUZZ_CHECK(vyx::files::removeFileIfExists(path).has_value());
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> parts = splitParts(input);

  vyx::replay::Warnings warnings;
  vyx::replay::Replay replayed = vyx::replay::replayEventLog(parts.back(), warnings);
  if (replayed.stats.eventCount != replayed.stats.stepCount + replayed.stats.skippedEventCount) std::abort();

  static Trace trace;
  const std::string out = trace.outDir + "/draft.json";
  // A draft from the previous input and the directory made for it go.
  VYX_FUZZ_CHECK(vyx::files::removeTree(trace.outDir).has_value());
  std::string artifact = parts.size() > 1 ? trace.dir + "/artifacts/" + artifactName(parts) : "";
  if (!trace.artifact.empty() && trace.artifact != artifact) trace.put(trace.artifact, std::nullopt);
  trace.artifact = artifact;
  trace.put(trace.dir + "/trace.json", parts[0]);
  if (parts.size() > 1) trace.put(artifact, parts[1]);
  trace.put(trace.dir + "/events.jsonl", parts.size() > 2 ? std::optional(parts[2]) : std::nullopt);

  vyx::discover::DraftOptions options;
  options.traceDir = trace.dir;
  options.out = out;
  options.includeActions = true;
  options.validate = true;
  auto result = vyx::discover::discoverFromTrace(options);
  if (!result) {
    if (vyx::files::exists(trace.outDir)) std::abort();
    return 0;
  }
  if (!result->validation || result->ok != result->validation->ok || !vyx::files::exists(out)) std::abort();
  if (result->draft.replay.eventCount != result->draft.replay.stepCount + result->draft.replay.skippedEventCount) {
    std::abort();
  }
  if (!result->ok) {
    options.includeActions = false;
    options.force = true;
    auto plain = vyx::discover::discoverFromTrace(options);
    if (!plain || !plain->ok) std::abort();
  }
  return 0;
}
