#pragma once
// The semantic snapshot: an agent-oriented view of one observation, with a
// role, a display name, a ready-made selector and a recommended action for
// every node, and a summary of counts and visible texts.

#include <optional>
#include <string_view>

#include "core/errors.hpp"
#include "core/types.hpp"
#include "core/writer.hpp"

namespace vyx::semantic {

// The role from the class name ("radio", "button", "textbox", "switch",
// "checkbox", "image", "text"), else "text" when the node has a text or
// content description field, else "node".
std::string_view roleForNode(const UiNode& node);

// "type" for a visible, enabled text box; "tap" for a visible, enabled
// button, switch, checkbox or radio; none otherwise.
std::optional<std::string_view> recommendedAction(const UiNode& node);

// The document, compact, without a line feed; values unredacted.
Status writeSemanticSnapshotJson(Writer& w, const ObservationSnapshot& snapshot);

}  // namespace vyx::semantic
