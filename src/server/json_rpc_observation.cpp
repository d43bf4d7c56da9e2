#include "server/json_rpc_observation.hpp"

#include "core/json_writer.hpp"

namespace vyx::json_rpc_observation {

Status recordArtifact(TraceWriter& trace, std::string_view kind, const ObservationSnapshot& snapshot) {
  VYX_TRY_ASSIGN(std::string path, trace.writeSnapshot(snapshot));
  StringWriter payload;
  JsonObjectWriter o(payload);
  o.str("path", path).str("snapshotId", snapshot.id);
  VYX_TRY(o.finish());
  return trace.recordEvent(kind, payload.str());
}

}  // namespace vyx::json_rpc_observation
