#pragma once
// Reading a selector from JSON and testing it against one UI node.

#include "core/errors.hpp"
#include "core/json.hpp"
#include "core/types.hpp"

namespace vyx::selector {

// Reads a selector object. Fails with SelectorMustBeObject when the value is
// not an object, SelectorFieldMustBeString when a selector key holds anything
// but a string (null included). "id" wins over "resourceId"; other keys are
// ignored.
Expected<Selector> parseFromJson(const json::Value& value);

// True when every set field matches the node (exact bytes, or substring for
// the two Contains fields) and the node is visible.
bool matches(const Selector& selector, const UiNode& node);

}  // namespace vyx::selector
