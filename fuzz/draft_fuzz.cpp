// Fuzzes the trace reader of drafting: the manifest, the snapshot, the
// event log and the name of the snapshot artifact all come from the input,
// which holds them in that order separated by NUL bytes (missing parts are
// left out of the trace). The event log is also replayed in memory.
//
// Besides crashes and sanitizer reports it stops on a broken promise: a
// draft that succeeds must have written a scenario that validates, and a
// draft that fails must have written nothing.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "authoring/discover.hpp"
#include "authoring/replay.hpp"
#include "core/files.hpp"

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
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) return "snapshot-1.json";
  return name;
}

const std::string& workDir() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/vyx-draft-fuzz-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    if (made == nullptr) std::abort();
    return std::string(made);
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> parts = splitParts(input);

  vyx::replay::Warnings warnings;
  vyx::replay::Replay replayed = vyx::replay::replayEventLog(parts.back(), warnings);
  if (replayed.stats.eventCount != replayed.stats.stepCount + replayed.stats.skippedEventCount) std::abort();

  const std::string trace = workDir() + "/trace";
  const std::string out = workDir() + "/out/draft.json";
  std::filesystem::remove_all(trace);
  std::filesystem::remove_all(workDir() + "/out");
  std::filesystem::create_directories(trace + "/artifacts");
  (void)vyx::files::writeFile(trace + "/trace.json", parts[0]);
  if (parts.size() > 1) (void)vyx::files::writeFile(trace + "/artifacts/" + artifactName(parts), parts[1]);
  if (parts.size() > 2) (void)vyx::files::writeFile(trace + "/events.jsonl", parts[2]);

  vyx::discover::DraftOptions options;
  options.traceDir = trace;
  options.out = out;
  options.includeActions = true;
  options.validate = true;
  auto result = vyx::discover::discoverFromTrace(options);
  if (result) {
    if (!result->ok || !result->validation || !result->validation->ok) std::abort();
    if (result->draft.replay.eventCount !=
        result->draft.replay.stepCount + result->draft.replay.skippedEventCount) {
      std::abort();
    }
  } else if (std::filesystem::exists(workDir() + "/out")) {
    std::abort();
  }
  return 0;
}
