// The uiautomator dump reader: any bytes give nodes or MalformedAttribute;
// the nodes keep their promises (visible exactly when the bounds have an
// area) and their snapshot JSON reads back.
#include "core/trace.hpp"
#include "core/types.hpp"
#include "core/writer.hpp"
#include "devices/uiautomator.hpp"
#include "fuzz_support.hpp"

using namespace vyx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto nodes = uiautomator::scanNodes(fuzz::asText(data, size));
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
