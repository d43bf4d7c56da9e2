#include "reports/trace_summary_diagnostic.hpp"

#include <cstddef>

#include "core/json_writer.hpp"

namespace vyx::trace_summary {
namespace {

constexpr size_t kMaxVisibleTexts = 8;
constexpr size_t kMaxNearestMatches = 5;

std::optional<std::string> stringMember(const json::Value& payload, std::string_view key) {
  const json::Value* v = payload.get(key);
  if (v == nullptr || !v->isString()) return std::nullopt;
  return v->string;
}

void appendItem(std::string& out, size_t& count, std::string_view item) {
  if (count > 0) out.append(kListSeparator);
  out.append(item);
  ++count;
}

std::optional<std::string> flattenVisibleTexts(const json::Value& payload) {
  const json::Value* v = payload.get("visibleTexts");
  if (v == nullptr || !v->isArray()) return std::nullopt;
  std::string out;
  size_t count = 0;
  for (const json::Value& element : v->array) {
    if (count >= kMaxVisibleTexts) break;
    if (element.isString()) appendItem(out, count, element.string);
  }
  if (count == 0) return std::nullopt;
  return out;
}

std::optional<std::string> flattenNearestTextMatches(const json::Value& payload) {
  const json::Value* v = payload.get("nearestTextMatches");
  if (v == nullptr || !v->isArray()) return std::nullopt;
  std::string out;
  size_t count = 0;
  for (const json::Value& element : v->array) {
    if (count >= kMaxNearestMatches) break;
    if (!element.isObject()) continue;
    const json::Value* text = element.get("text");
    if (text == nullptr || !text->isString()) continue;
    std::string item = text->string;
    const json::Value* score = element.get("score");
    if (score != nullptr && score->isInteger()) {
      item += " (score ";
      item += std::to_string(score->integer);
      item += ")";
    }
    appendItem(out, count, item);
  }
  if (count == 0) return std::nullopt;
  return out;
}

}  // namespace

DiagnosticEvent DiagnosticEvent::fromPayload(std::string_view kind, const json::Value& payload) {
  DiagnosticEvent d;
  d.kind = std::string(kind);
  d.status = stringMember(payload, "status");
  d.snapshotId = stringMember(payload, "snapshotId");
  d.artifactStatus = stringMember(payload, "artifactStatus");
  d.semanticStatus = stringMember(payload, "semanticStatus");
  d.error = stringMember(payload, "error");
  d.screenshotArtifact = stringMember(payload, "screenshotArtifact");
  d.source = stringMember(payload, "source");
  d.activePackage = stringMember(payload, "activePackage");
  d.activeActivity = stringMember(payload, "activeActivity");
  d.visibleTexts = flattenVisibleTexts(payload);
  d.nearestTextMatches = flattenNearestTextMatches(payload);
  return d;
}

Status writeJoinedStringArrayJson(Writer& w, std::string_view flattened) {
  JsonArrayWriter a(w);
  std::string_view rest = flattened;
  while (true) {
    size_t at = rest.find(kListSeparator);
    a.str(at == std::string_view::npos ? rest : rest.substr(0, at));
    if (at == std::string_view::npos) break;
    rest.remove_prefix(at + kListSeparator.size());
  }
  return a.finish();
}

}  // namespace vyx::trace_summary
