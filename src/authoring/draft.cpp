#include "authoring/draft.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <string_view>

#include "authoring/output_file.hpp"
#include "core/files.hpp"
#include "core/json.hpp"
#include "core/json_writer.hpp"
#include "core/limits.hpp"
#include "core/paths.hpp"
#include "core/text.hpp"
#include "core/trace_files.hpp"
#include "core/trace_layout.hpp"
#include "core/writer.hpp"

namespace vyx::draft {

namespace {

constexpr std::string_view kSnapshotPrefix = "snapshot-";
constexpr std::string_view kSnapshotSuffix = ".json";

// What the manifest says, each value only when it has the expected type.
struct ManifestInfo {
  std::optional<std::string> scenarioName;
  std::optional<std::string> appId;
  std::string eventsPath{trace_layout::kEventsFile};
  std::string artifactsDir{trace_layout::kArtifactsDir};
  std::optional<uint64_t> snapshotCount;
};

std::optional<std::string> nonEmptyString(const json::Value& object, std::string_view key) {
  const json::Value* v = object.get(key);
  if (v == nullptr || !v->isString() || v->string.empty()) return std::nullopt;
  return v->string;
}

Expected<ManifestInfo> readManifest(const std::string& traceDir) {
  VYX_TRY_ASSIGN(auto root, trace_files::readManifestObject(traceDir));
  ManifestInfo info;
  info.scenarioName = nonEmptyString(root, "scenarioName");
  info.appId = nonEmptyString(root, "appId");
  if (auto events = nonEmptyString(root, "eventsPath")) info.eventsPath = std::move(*events);
  if (auto artifacts = nonEmptyString(root, "artifactsDir")) info.artifactsDir = std::move(*artifacts);
  if (const json::Value* count = root.get("snapshotCount"); count != nullptr && count->isInteger() && count->integer >= 0) {
    info.snapshotCount = static_cast<uint64_t>(count->integer);
  }
  return info;
}

// The number of a snapshot artifact name "snapshot-<n>.json".
std::optional<uint64_t> snapshotNumber(std::string_view name) {
  if (!name.starts_with(kSnapshotPrefix) || !name.ends_with(kSnapshotSuffix)) return std::nullopt;
  if (name.size() < kSnapshotPrefix.size() + kSnapshotSuffix.size()) return std::nullopt;
  name.remove_prefix(kSnapshotPrefix.size());
  name.remove_suffix(kSnapshotSuffix.size());
  return text::parseGroupedUnsigned(name);
}

class Dir {
 public:
  explicit Dir(DIR* d) : d_(d) {}
  ~Dir() {
    if (d_ != nullptr) ::closedir(d_);
  }
  Dir(const Dir&) = delete;
  Dir& operator=(const Dir&) = delete;
  DIR* get() const { return d_; }

 private:
  DIR* d_;
};

bool isRegularFile(int dir, const dirent& entry) {
  if (entry.d_type == DT_REG) return true;
  if (entry.d_type != DT_UNKNOWN) return false;
  struct stat st {};
  return ::fstatat(dir, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

// The artifacts directory, opened beneath the trace directory: a link or a
// path out of the trace is a missing directory (FileNotFound).
Expected<Fd> openArtifacts(const std::string& traceDir, std::string_view artifactsDir) {
  VYX_TRY_ASSIGN(auto trace, trace_files::openDirectory(traceDir));
  auto dir = trace_files::openBeneath(trace.get(), trace_files::manifestRelative(artifactsDir), O_RDONLY | O_DIRECTORY);
  if (!dir) return fail(trace_files::namesNothingInside(dir.error()) ? Error::FileNotFound : dir.error());
  return dir;
}

// The name of the snapshot file with the largest number among the regular
// files of the artifacts directory; of equal numbers the one listed first.
Expected<std::string> newestListedSnapshot(int artifacts) {
  int listFd = ::dup(artifacts);
  if (listFd < 0) return fail(errorFromErrno(errno, Error::SystemResources));
  Dir dir(::fdopendir(listFd));
  if (dir.get() == nullptr) {
    ::close(listFd);
    return fail(errorFromErrno(errno, Error::Unexpected));
  }
  std::optional<uint64_t> best;
  std::string bestName;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) {
      if (errno != 0) return fail(errorFromErrno(errno, Error::Unexpected));
      break;
    }
    auto number = snapshotNumber(entry->d_name);
    if (!number || (best && *number <= *best)) continue;
    if (!isRegularFile(artifacts, *entry)) continue;
    best = number;
    bestName = entry->d_name;
  }
  if (!best) return fail(Error::SemanticSnapshotMissing);
  return bestName;
}

// The name, inside the artifacts directory, of the snapshot to draft from.
// The counted snapshot is taken only when it is a regular file there (a
// link is passed over, as the listing passes links over).
Expected<std::string> sourceSnapshotName(int artifacts, std::optional<uint64_t> snapshotCount) {
  if (snapshotCount && *snapshotCount > 0) {
    std::string counted = std::string(kSnapshotPrefix) + std::to_string(*snapshotCount) + std::string(kSnapshotSuffix);
    struct stat st {};
    if (::fstatat(artifacts, counted.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) return counted;
  }
  return newestListedSnapshot(artifacts);
}

enum class SelectorKind { resourceId, contentDesc, text };

std::string_view selectorKey(SelectorKind kind) {
  switch (kind) {
    case SelectorKind::resourceId: return "resourceId";
    case SelectorKind::contentDesc: return "contentDesc";
    case SelectorKind::text: return "text";
  }
  return "text";
}

struct SelectorCandidate {
  std::string value;
  SelectorKind kind;
};

// The first non-empty "resourceId", "contentDesc" or "text" of the object.
std::optional<SelectorCandidate> firstSelectorValue(const json::Value* object) {
  if (object == nullptr || !object->isObject()) return std::nullopt;
  for (SelectorKind kind : {SelectorKind::resourceId, SelectorKind::contentDesc, SelectorKind::text}) {
    if (auto value = nonEmptyString(*object, selectorKey(kind))) return SelectorCandidate{std::move(*value), kind};
  }
  return std::nullopt;
}

bool isTrue(const json::Value& node, std::string_view key) {
  const json::Value* v = node.get(key);
  return v != nullptr && v->isBool() && v->boolean;
}

// Up to three selectors from the visible, enabled nodes, in node order:
// the node's "selector", then its "source", then its own fields.
std::vector<SelectorCandidate> chooseSelectors(const json::Value& nodes, replay::Warnings& warnings) {
  std::vector<SelectorCandidate> out;
  bool classOnlySeen = false;
  for (const json::Value& node : nodes.array) {
    if (out.size() >= kMaxSelectors) break;
    if (!node.isObject() || !isTrue(node, "visible") || !isTrue(node, "enabled")) continue;
    auto candidate = firstSelectorValue(node.get("selector"));
    if (!candidate) candidate = firstSelectorValue(node.get("source"));
    if (!candidate) candidate = firstSelectorValue(&node);
    if (!candidate) {
      classOnlySeen = true;
      continue;
    }
    bool known = false;
    for (const SelectorCandidate& c : out) known = known || (c.kind == candidate->kind && c.value == candidate->value);
    if (known) continue;
    if (candidate->kind == SelectorKind::text) warnings.add(kTextSelectorWarning);
    out.push_back(std::move(*candidate));
  }
  if (classOnlySeen) warnings.add(kClassOnlyWarning);
  return out;
}

Expected<std::vector<SelectorCandidate>> readSelectors(int artifacts, const std::string& snapshotName,
                                                      replay::Warnings& warnings) {
  VYX_TRY_ASSIGN(auto text, trace_files::readFileBeneath(artifacts, snapshotName, limits::kSnapshotReadBytes));
  VYX_TRY_ASSIGN(auto root, json::parseValue(text));
  if (!root.isObject()) return fail(Error::InvalidSemanticSnapshot);
  const json::Value* nodes = root.get("nodes");
  if (nodes == nullptr || !nodes->isArray()) return fail(Error::InvalidSemanticSnapshot);
  return chooseSelectors(*nodes, warnings);
}

// {"name":..[,"appId":..],"steps":[<replayed steps or launch>,{"action":"snapshot"},<assertions>]}
std::string scenarioDocument(const OwnedDraft& draft, const std::vector<std::string>& replayed,
                             const std::vector<SelectorCandidate>& selectors) {
  StringWriter out;
  JsonObjectWriter doc(out);
  doc.str("name", draft.name).optStr("appId", draft.appId);
  doc.value("steps", [&](Writer& w) {
    JsonArrayWriter steps(w);
    if (replayed.empty()) steps.raw(R"({"action":"launch"})");
    for (const std::string& step : replayed) steps.raw(step);
    steps.raw(R"({"action":"snapshot"})");
    for (const SelectorCandidate& c : selectors) {
      steps.value([&](Writer& sw) {
        JsonObjectWriter assertion(sw);
        assertion.str("action", "assertVisible").value("selector", [&](Writer& selw) {
          JsonObjectWriter selector(selw);
          selector.str(selectorKey(c.kind), c.value);
          return selector.finish();
        });
        return assertion.finish();
      });
    }
    return steps.finish();
  });
  (void)doc.finish();  // memory: cannot fail
  (void)out.writeByte('\n');
  return out.take();
}

}  // namespace

Expected<OwnedDraft> draftFromTrace(const DraftOptions& options) {
  if (!options.traceDir) return fail(Error::MissingTraceDir);
  if (!options.out) return fail(Error::MissingDraftOut);
  const std::string& traceDir = *options.traceDir;

  VYX_TRY_ASSIGN(auto manifest, readManifest(traceDir));

  // Everything below is read beneath the trace directory.
  VYX_TRY_ASSIGN(auto artifacts, openArtifacts(traceDir, manifest.artifactsDir));
  VYX_TRY_ASSIGN(auto snapshotName, sourceSnapshotName(artifacts.get(), manifest.snapshotCount));

  replay::Warnings warnings;
  VYX_TRY_ASSIGN(auto selectors, readSelectors(artifacts.get(), snapshotName, warnings));
  artifacts.reset();

  OwnedDraft draft;
  std::vector<std::string> replayed;
  if (options.includeActions) {
    VYX_TRY_ASSIGN(auto replay, replay::replayTraceEvents(traceDir, manifest.eventsPath, warnings));
    replayed = std::move(replay.steps);
    draft.replay = replay.stats;
  }

  draft.out = *options.out;
  draft.traceDir = traceDir;
  draft.sourceSnapshot = paths::joinOnce(paths::joinOnce(traceDir, manifest.artifactsDir), snapshotName);
  if (options.name) {
    draft.name = *options.name;
  } else if (manifest.scenarioName) {
    draft.name = "draft from " + *manifest.scenarioName;
  } else {
    draft.name = "draft from trace";
  }
  draft.appId = options.appId ? options.appId : manifest.appId;
  draft.selectorCount = selectors.size();
  draft.stepCount = (replayed.empty() ? 1 : replayed.size()) + 1 + selectors.size();

  std::string document = scenarioDocument(draft, replayed, selectors);
  // The scenario reader refuses files this large. With validation the
  // caller reports it; without, such a draft is not written at all.
  if (document.size() >= limits::kScenarioBytes && !options.validate) return fail(Error::StreamTooLong);
  VYX_TRY(output_file::writeWhole(draft.out, document, options.force));

  warnings.add(kReviewWarning);
  if (selectors.empty()) warnings.add(kNoSelectorsWarning);
  draft.warnings = warnings.take();
  return draft;
}

}  // namespace vyx::draft
