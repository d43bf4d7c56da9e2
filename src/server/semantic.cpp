#include "server/semantic.hpp"

#include <cstdint>
#include <limits>

#include "core/json_writer.hpp"
#include "core/trace.hpp"

namespace vyx::semantic {
namespace {

bool contains(std::string_view haystack, std::string_view needle) {
  return haystack.find(needle) != std::string_view::npos;
}

bool nonEmpty(std::optional<std::string_view> field) { return field && !field->empty(); }

std::optional<std::string_view> view(const std::optional<std::string>& field) {
  if (!field) return std::nullopt;
  return std::string_view(*field);
}

// x + size / 2 (the half truncated toward zero), computed in 64 bits and
// clamped to the 32-bit range of the coordinates.
int32_t centre(int32_t origin, int32_t size) {
  int64_t c = static_cast<int64_t>(origin) + static_cast<int64_t>(size) / 2;
  if (c > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (c < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(c);
}

std::string_view displayName(const UiNode& node) {
  if (nonEmpty(node.contentDesc)) return *node.contentDesc;
  if (nonEmpty(node.text)) return *node.text;
  if (nonEmpty(node.resourceId)) return *node.resourceId;
  return node.stableId;
}

Status writeSelector(Writer& w, const UiNode& node) {
  JsonObjectWriter selector(w);
  if (nonEmpty(node.resourceId)) {
    selector.str("resourceId", *node.resourceId);
  } else if (nonEmpty(node.contentDesc)) {
    selector.str("contentDesc", *node.contentDesc);
  } else if (nonEmpty(node.text)) {
    selector.str("text", *node.text);
  } else {
    selector.str("stableId", node.stableId);
  }
  return selector.finish();
}

Status writeNode(Writer& w, const UiNode& node, std::optional<std::string_view> action) {
  JsonObjectWriter o(w);
  o.str("id", node.stableId).str("role", roleForNode(node)).str("name", displayName(node));
  o.value("selector", [&](Writer& out) { return writeSelector(out, node); });
  o.value("source", [&](Writer& out) {
    JsonObjectWriter source(out);
    source.str("className", node.className)
        .strOrNull("resourceId", node.resourceId)
        .strOrNull("text", node.text)
        .strOrNull("contentDesc", node.contentDesc);
    return source.finish();
  });
  o.value("bounds", [&](Writer& out) {
    const Bounds& b = node.bounds;
    JsonObjectWriter bounds(out);
    trace::writeBoundsMembers(bounds, b);
    bounds.num("centerX", centre(b.x, b.width)).num("centerY", centre(b.y, b.height));
    return bounds.finish();
  });
  o.flag("enabled", node.enabled).flag("visible", node.visible).flag("selected", node.selected);
  o.flag("interactive", action.has_value()).strOrNull("recommendedAction", action);
  return o.finish();
}

}  // namespace

std::string_view roleForNode(const UiNode& node) {
  std::string_view c = node.className;
  if (contains(c, "RadioButton")) return "radio";
  if (contains(c, "Button")) return "button";
  if (contains(c, "EditText") || contains(c, "TextField") || contains(c, "SecureTextField")) return "textbox";
  if (contains(c, "Switch")) return "switch";
  if (contains(c, "CheckBox") || contains(c, "Checkbox")) return "checkbox";
  if (contains(c, "Image")) return "image";
  if (contains(c, "StaticText") || contains(c, "TextView") || contains(c, "Text")) return "text";
  if (node.text || node.contentDesc) return "text";
  return "node";
}

std::optional<std::string_view> recommendedAction(const UiNode& node) {
  if (!node.visible || !node.enabled) return std::nullopt;
  std::string_view role = roleForNode(node);
  if (role == "textbox") return "type";
  if (role == "button" || role == "switch" || role == "checkbox" || role == "radio") return "tap";
  return std::nullopt;
}

Status writeSemanticSnapshotJson(Writer& w, const ObservationSnapshot& snapshot) {
  JsonObjectWriter doc(w);
  doc.str("id", snapshot.id).num("timestampMs", snapshot.timestampMs);
  doc.value("viewport", [&](Writer& out) {
    JsonObjectWriter viewport(out);
    viewport.unum("width", snapshot.viewport.width).unum("height", snapshot.viewport.height);
    return viewport.finish();
  });
  doc.strOrNull("activePackage", view(snapshot.activePackage))
      .strOrNull("activeActivity", view(snapshot.activeActivity))
      .strOrNull("focusedNodeId", view(snapshot.focusedNodeId));
  uint64_t interactive = 0;
  doc.value("nodes", [&](Writer& out) {
    JsonArrayWriter nodes(out);
    for (const UiNode& node : snapshot.nodes) {
      std::optional<std::string_view> action = recommendedAction(node);
      if (action) ++interactive;
      nodes.value([&](Writer& item) { return writeNode(item, node, action); });
    }
    return nodes.finish();
  });
  doc.value("summary", [&](Writer& out) {
    JsonObjectWriter summary(out);
    summary.unum("nodeCount", snapshot.nodes.size()).unum("interactiveCount", interactive);
    summary.value("visibleText", [&](Writer& list) {
      JsonArrayWriter texts(list);
      for (const UiNode& node : snapshot.nodes) {
        if (!node.visible) continue;
        if (nonEmpty(node.text)) {
          texts.str(*node.text);
        } else if (nonEmpty(node.contentDesc)) {
          texts.str(*node.contentDesc);
        }
      }
      return texts.finish();
    });
    return summary.finish();
  });
  return doc.finish();
}

}  // namespace vyx::semantic
