// The shims' replies: any bytes are a snapshot, an ok, query or selector
// action reply or one error, and an accepted snapshot's JSON reads back.
#include "core/trace.hpp"
#include "core/types.hpp"
#include "core/writer.hpp"
#include "devices/shim_protocol.hpp"
#include "fuzz_support.hpp"

using namespace vyx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = fuzz::asText(data, size);
  (void)shim_protocol::parseOkResponse(text);
  (void)shim_protocol::parseQueryResponse(text);
  (void)shim_protocol::parseSelectorActionResponse(text);
  auto reply = shim_protocol::parseSnapshotResponse(text);
  if (!reply) return 0;
  ObservationSnapshot snapshot;
  snapshot.id = "snapshot-1";
  snapshot.viewport = {reply->viewportWidth, reply->viewportHeight};
  snapshot.nodes = std::move(reply->nodes);
  StringWriter w;
  VYX_FUZZ_CHECK(trace::writeSnapshotJson(w, snapshot).has_value());
  VYX_FUZZ_CHECK(fuzz::readsBack(w.str()));
  return 0;
}
