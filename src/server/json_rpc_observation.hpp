#pragma once
// The trace record of an observation method: the snapshot stored as a
// (redacted) artifact and an event naming it.

#include <string_view>

#include "core/errors.hpp"
#include "core/trace.hpp"
#include "core/types.hpp"

namespace vyx::json_rpc_observation {

// Writes the snapshot artifact, then records `kind` with
// {"path":<artifact path>,"snapshotId":<id>}.
Status recordArtifact(TraceWriter& trace, std::string_view kind, const ObservationSnapshot& snapshot);

}  // namespace vyx::json_rpc_observation
