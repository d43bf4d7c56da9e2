#pragma once
// Reading UI nodes out of a `uiautomator dump` XML text: a single forward
// scan over "<node" elements with substring searches, no document tree.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.hpp"
#include "core/types.hpp"

namespace vyx::uiautomator {

// The decoded value of the attribute `name` in one element's text: the first
// whole attribute name (after a blank, outside quoted values) followed by
// `="`. Absent when there is none;
// MalformedAttribute when its value has no closing double quote.
Expected<std::optional<std::string>> attrOwned(std::string_view element, std::string_view name);

// True when the attribute's raw value is exactly "true", false for any other
// value, `fallback` when the attribute is absent or unterminated.
bool parseBoolAttr(std::string_view element, std::string_view name, bool fallback);

// Replaces &amp; &lt; &gt; &quot; &apos; by their characters; every other
// byte (numeric references included) is kept.
std::string decodeEntities(std::string_view value);

// "[x1,y1][x2,y2]" as x, y, width, height; widths and heights of 0 or less
// become 0, larger than the 32-bit range are clamped. Anything else, or no
// value, gives 0, 0, 0, 0.
Bounds parseBounds(std::optional<std::string_view> value);

// The node's identifier within its snapshot; `index` is its position in the dump.
std::string stableId(const UiNode& node, size_t index);

// Every "<node" element of the dump, in the order of the text. The nodes'
// strings view the dump itself where a value needs no decoding, and pieces
// kept in `text` (decoded values, identifiers) otherwise: both the dump and
// `text` must outlive the nodes (they do when the dump is text.source()).
Expected<std::vector<UiNode>> scanNodes(std::string_view xml, NodeText& text);

}  // namespace vyx::uiautomator
