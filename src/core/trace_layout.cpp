#include "core/trace_layout.hpp"

#include "core/paths.hpp"

namespace vyx::trace_layout {

std::string manifestPath(std::string_view traceDir) { return paths::join(traceDir, kManifestFile); }

std::string eventsPath(std::string_view traceDir) { return paths::join(traceDir, kEventsFile); }

std::string reportPath(std::string_view traceDir) { return paths::join(traceDir, kReportFile); }

std::string artifactsPath(std::string_view traceDir) { return paths::join(traceDir, kArtifactsDir); }

std::string artifactPath(std::string_view traceDir, std::string_view name) {
  return paths::join(artifactsPath(traceDir), name);
}

bool isPartialFailure(std::string_view kind, std::optional<std::string_view> artifactStatus,
                      std::optional<std::string_view> semanticStatus) {
  return kind == event_kinds::kObserveSemanticExtraction && artifactStatus == "captured" &&
         semanticStatus == "failed";
}

bool isPartialFailureEvent(std::string_view kind, const json::Value& payload) {
  auto member = [&](std::string_view key) -> std::optional<std::string_view> {
    const json::Value* v = payload.get(key);
    if (v == nullptr || !v->isString()) return std::nullopt;
    return std::string_view(v->string);
  };
  return isPartialFailure(kind, member("artifactStatus"), member("semanticStatus"));
}

}  // namespace vyx::trace_layout
