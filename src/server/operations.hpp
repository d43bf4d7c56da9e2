#pragma once
// The one table of session operations behind both agent servers. Each entry
// names its JSON-RPC method and, where the MCP server offers it, its tool
// (name, description and input schema). An operation reads its parameters,
// drives the device or the runner, records its trace events and returns a
// typed outcome; each server writes that outcome in its own envelope.
//
// The table's order is the order of the capabilities' method list; each
// tool carries its position in the tools document.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/errors.hpp"
#include "core/json.hpp"
#include "core/types.hpp"
#include "server/json_rpc.hpp"

namespace vyx::operations {

// The server an operation runs for: where the two servers are pinned to
// behave differently, the operation asks.
enum class Server : uint8_t { jsonRpc, mcp };

namespace outcome {
// The operation ran (JSON-RPC true, MCP {"ok":true}).
struct Done {};
// Whether the element showed before the deadline.
struct Visible {
  bool visible = false;
};
// Whether the element was gone before the deadline (MCP reports the
// opposite as "visible").
struct Gone {
  bool gone = false;
};
// The index of the selector that matched; none at the deadline.
struct Matched {
  std::optional<size_t> index;
};
// A compact JSON document given whole.
struct Document {
  std::string text;
};
// A snapshot, written plain or as the semantic view.
struct Snapshot {
  ObservationSnapshot snapshot;
  bool semantic = false;
};
// The device listing (JSON-RPC only).
struct Devices {
  std::vector<DeviceInfo> devices;
};
}  // namespace outcome

using Outcome = std::variant<outcome::Done, outcome::Visible, outcome::Gone, outcome::Matched, outcome::Document,
                             outcome::Snapshot, outcome::Devices>;

using Handler = Expected<Outcome> (*)(json_rpc::Session&, const json::Value* params, Server server);

// One argument of a tool's input schema: its name and schema fragment.
struct Property {
  std::string_view name;
  std::string_view schema;
};

// The MCP face of an operation; an empty name means no tool.
struct Tool {
  std::string_view name;
  size_t position = 0;  // in the tools document
  std::string_view description;
  std::initializer_list<std::string_view> required;
  std::initializer_list<Property> properties;
};

struct Operation {
  std::string_view method;
  Handler handler;
  Tool tool{};
};

// Every operation, in the order of the capabilities' method list.
std::span<const Operation> all();

// The operation of a JSON-RPC method or of an MCP tool; nullptr for none.
const Operation* findMethod(std::string_view method);
const Operation* findTool(std::string_view tool);

// The operations that are tools, in the order of the tools document.
std::span<const Operation* const> tools();

}  // namespace vyx::operations
