#include "runner/runner_diagnostics.hpp"

#include <algorithm>
#include <array>
#include <string>

#include "core/json_writer.hpp"
#include "core/text.hpp"

namespace vyx::runner_diagnostics {
namespace {

constexpr size_t kMaxVisibleTexts = 20;
constexpr size_t kMaxCandidates = 10;
constexpr size_t kNearestPerSelector = 5;
constexpr size_t kMaxNearest = 10;

bool fieldEquals(const std::optional<std::string>& want, std::optional<std::string_view> have) {
  return !want || (have && *have == *want);
}

bool fieldContains(const std::optional<std::string>& want, std::optional<std::string_view> have) {
  return !want || (have && have->find(*want) != std::string_view::npos);
}

// The node's text when it has one (even empty), else its contentDesc; absent
// or empty means no label.
std::optional<std::string_view> labelOf(const UiNode& node) {
  const std::optional<std::string_view> label = node.text ? node.text : node.contentDesc;
  if (!label || label->empty()) return std::nullopt;
  return label;
}

const std::optional<std::string>& queryOf(const Selector& sel) {
  if (sel.text) return sel.text;
  if (sel.textContains) return sel.textContains;
  if (sel.contentDesc) return sel.contentDesc;
  return sel.contentDescContains;
}

bool fieldMatchesAny(const UiNode& node, std::span<const Selector> selectors) {
  return std::any_of(selectors.begin(), selectors.end(),
                     [&](const Selector& s) { return nodeMatchesSelectorFields(node, s); });
}

bool inClass(const UiNode& node, const Viewport& viewport, CandidateClass cls) {
  switch (cls) {
    case CandidateClass::hidden:
      return !node.visible;
    case CandidateClass::disabled:
      return node.visible && !node.enabled;
    case CandidateClass::offscreen:
      return node.visible && node.enabled && isOffscreen(node, viewport);
  }
  return false;
}

void writeCandidate(JsonObjectWriter& o, const UiNode& node) {
  o.str("stableId", node.stableId)
      .str("className", node.className)
      .strOrNull("text", node.text)
      .strOrNull("contentDesc", node.contentDesc)
      .strOrNull("resourceId", node.resourceId)
      .object("bounds", [&](JsonObjectWriter& b) { trace::writeBoundsMembers(b, node.bounds); })
      .flag("enabled", node.enabled)
      .flag("visible", node.visible);
}

struct Nearest {
  const UiNode* node = nullptr;
  std::string_view label;
  uint64_t score = 0;
};

void writeNearest(JsonArrayWriter& a, std::span<const Selector> selectors, const ObservationSnapshot& snapshot) {
  size_t written = 0;
  for (const Selector& sel : selectors) {
    if (written >= kMaxNearest) break;
    const std::optional<std::string>& query = queryOf(sel);
    if (!query) continue;
    std::array<Nearest, kNearestPerSelector> kept{};
    size_t count = 0;
    for (const UiNode& node : snapshot.nodes) {
      std::optional<std::string_view> label = labelOf(node);
      if (!label || nodeMatchesSelectorFields(node, sel)) continue;
      Nearest entry{&node, *label, nearestScore(*query, *label)};
      if (count == kNearestPerSelector && entry.score >= kept[count - 1].score) continue;
      // After every kept entry whose score is lower or equal.
      size_t pos = 0;
      while (pos < count && kept[pos].score <= entry.score) ++pos;
      if (count < kNearestPerSelector) ++count;
      for (size_t i = count - 1; i > pos; --i) kept[i] = kept[i - 1];
      kept[pos] = entry;
    }
    for (size_t i = 0; i < count && written < kMaxNearest; ++i, ++written) {
      a.object([&](JsonObjectWriter& o) {
        o.str("stableId", kept[i].node->stableId)
            .str("text", kept[i].label)
            .unum("score", kept[i].score)
            .flag("enabled", kept[i].node->enabled)
            .flag("visible", kept[i].node->visible);
      });
    }
  }
}

}  // namespace

bool nodeMatchesSelectorFields(const UiNode& node, const Selector& sel) {
  return fieldEquals(sel.resourceId, node.resourceId) && fieldEquals(sel.text, node.text) &&
         fieldContains(sel.textContains, node.text) && fieldEquals(sel.contentDesc, node.contentDesc) &&
         fieldContains(sel.contentDescContains, node.contentDesc) &&
         (!sel.className || *sel.className == node.className);
}

bool isOffscreen(const UiNode& node, const Viewport& viewport) {
  const int64_t x = node.bounds.x;
  const int64_t y = node.bounds.y;
  const int64_t w = node.bounds.width;
  const int64_t h = node.bounds.height;
  if (w <= 0 || h <= 0) return true;
  if (viewport.width == 0 || viewport.height == 0) return false;
  return x + w <= 0 || y + h <= 0 || x >= static_cast<int64_t>(viewport.width) ||
         y >= static_cast<int64_t>(viewport.height);
}

uint64_t nearestScore(std::string_view query, std::string_view label) {
  if (text::containsAsciiFolded(label, query) || text::containsAsciiFolded(query, label)) {
    return query.size() > label.size() ? query.size() - label.size() : label.size() - query.size();
  }
  size_t prefix = 0;
  while (prefix < query.size() && prefix < label.size() && text::asciiLower(query[prefix]) == text::asciiLower(label[prefix])) ++prefix;
  return std::max(query.size(), label.size()) - prefix;
}

void writeCandidateList(JsonObjectWriter& o, std::string_view name, std::span<const Selector> selectors,
                        const ObservationSnapshot& snapshot, CandidateClass cls) {
  o.array(name, [&](JsonArrayWriter& a) {
    if (selectors.empty()) return;
    size_t count = 0;
    for (const UiNode& node : snapshot.nodes) {
      if (count >= kMaxCandidates) break;
      if (!inClass(node, snapshot.viewport, cls) || !fieldMatchesAny(node, selectors)) continue;
      a.object([&](JsonObjectWriter& c) { writeCandidate(c, node); });
      ++count;
    }
  });
}

Status writePayload(Writer& w, std::string_view status, std::optional<std::string_view> strategy,
                    std::span<const Selector> selectors, const ObservationSnapshot& snapshot,
                    std::optional<uint64_t> timeoutMs) {
  JsonObjectWriter o(w);
  o.str("status", status)
      .optStr("strategy", strategy)
      .optUnum("timeoutMs", timeoutMs)
      .str("snapshotId", snapshot.id)
      .value("selectors", [&](Writer& out) { return trace::writeSelectorListJson(out, selectors); })
      .strOrNull("activePackage", snapshot.activePackage)
      .strOrNull("activeActivity", snapshot.activeActivity)
      .array("visibleTexts", [&](JsonArrayWriter& a) {
        size_t texts = 0;
        for (const UiNode& node : snapshot.nodes) {
          if (texts >= kMaxVisibleTexts) break;
          if (!node.visible) continue;
          std::optional<std::string_view> label = labelOf(node);
          if (!label) continue;
          a.str(*label);
          ++texts;
        }
      });
  writeCandidateList(o, "hiddenCandidates", selectors, snapshot, CandidateClass::hidden);
  writeCandidateList(o, "disabledCandidates", selectors, snapshot, CandidateClass::disabled);
  writeCandidateList(o, "offscreenCandidates", selectors, snapshot, CandidateClass::offscreen);
  o.array("nearestTextMatches", [&](JsonArrayWriter& a) { writeNearest(a, selectors, snapshot); });
  return o.finish();
}

Status recordWithOptions(TraceWriter& trace, std::string_view kind, std::string_view status,
                         std::optional<std::string_view> strategy, std::span<const Selector> selectors,
                         const ObservationSnapshot& snapshot, std::optional<uint64_t> timeoutMs) {
  StringWriter w;
  VYX_TRY(writePayload(w, status, strategy, selectors, snapshot, timeoutMs));
  return trace.recordEvent(kind, w.str());
}

}  // namespace vyx::runner_diagnostics
