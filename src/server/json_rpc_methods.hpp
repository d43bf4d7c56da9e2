#pragma once
// The JSON-RPC face of the operation table: the method dispatcher, the
// capabilities document and the results each outcome is written as.

#include <string_view>

#include "core/errors.hpp"
#include "core/writer.hpp"
#include "server/json_rpc.hpp"

namespace vyx::json_rpc_methods {

// The capabilities document of "runner.capabilities" (fixed, compact); its
// method list is the operation table's.
std::string_view capabilitiesJson();

// Serves one checked request: writes one reply line (a result, or -32601 for
// an unknown method) and returns success, or returns the failure having
// written nothing.
Status dispatchMethod(json_rpc::Session& session, const json_rpc::Request& request, Writer& w);

}  // namespace vyx::json_rpc_methods
