// The uiautomator dump reader: any bytes give nodes or MalformedAttribute;
// the nodes keep their promises (visible exactly when the bounds have an
// area), they are what the one-attribute-at-a-time readers make of each
// element, and their snapshot JSON reads back.
#include "core/trace.hpp"
#include "core/types.hpp"
#include "core/writer.hpp"
#include "devices/uiautomator.hpp"
#include "fuzz_support.hpp"

using namespace vyx;

namespace {

// Each "<node" element read attribute by attribute with the public readers.
Expected<std::vector<UiNode>> nodesOneAttributeAtATime(std::string_view xml, NodeText& text) {
  std::vector<UiNode> nodes;
  size_t pos = 0;
  while (true) {
    const size_t open = xml.find("<node", pos);
    if (open == std::string_view::npos) break;
    const size_t close = xml.find('>', open);
    if (close == std::string_view::npos) break;
    const std::string_view element = xml.substr(open, close - open);
    std::optional<std::string> values[5];
    const char* names[5] = {"class", "resource-id", "text", "content-desc", "bounds"};
    for (int k = 0; k < 5; ++k) {
      auto value = uiautomator::attrOwned(element, names[k]);
      if (!value) return fail(value.error());
      values[k] = std::move(*value);
    }
    UiNode& node = nodes.emplace_back();
    if (values[0]) node.className = text.keep(*values[0]);
    if (values[1]) node.resourceId = text.keep(*values[1]);
    if (values[2] && !values[2]->empty()) node.text = text.keep(*values[2]);
    if (values[3] && !values[3]->empty()) node.contentDesc = text.keep(*values[3]);
    node.bounds = uiautomator::parseBounds(values[4] ? std::optional<std::string_view>(*values[4]) : std::nullopt);
    node.enabled = uiautomator::parseBoolAttr(element, "enabled", true);
    node.visible = node.bounds.width > 0 && node.bounds.height > 0;
    node.selected = uiautomator::parseBoolAttr(element, "selected", false);
    node.stableId = text.keep(uiautomator::stableId(node, nodes.size() - 1));
    pos = close + 1;
  }
  return nodes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  NodeText text;
  NodeText expectedText;
  auto nodes = uiautomator::scanNodes(fuzz::asText(data, size), text);
  auto expected = nodesOneAttributeAtATime(fuzz::asText(data, size), expectedText);
  VYX_FUZZ_CHECK(nodes.has_value() == expected.has_value());
  if (nodes) VYX_FUZZ_CHECK(*nodes == *expected);
  if (!nodes) {
    VYX_FUZZ_CHECK(nodes.error() == Error::MalformedAttribute);
    return 0;
  }
  for (const UiNode& node : *nodes) {
    VYX_FUZZ_CHECK(node.bounds.width >= 0 && node.bounds.height >= 0);
    VYX_FUZZ_CHECK(node.visible == (node.bounds.width > 0 && node.bounds.height > 0));
    VYX_FUZZ_CHECK(!node.stableId.empty());
  }
  ObservationSnapshot snapshot;
  snapshot.id = "snapshot-1";
  snapshot.nodes = std::move(*nodes);
  StringWriter w;
  VYX_FUZZ_CHECK(trace::writeSnapshotJson(w, snapshot).has_value());
  VYX_FUZZ_CHECK(fuzz::readsBack(w.str()));
  return 0;
}
