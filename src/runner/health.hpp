#pragma once
// The error-overlay check of assertHealthy: the texts of error and crash
// overlays, and whether any of them is visible.

#include <cstddef>
#include <span>
#include <vector>

#include "core/types.hpp"

namespace vyx::health {

inline constexpr size_t kDefaultSelectorCount = 11;

// The overlay selectors (textContains only), in their fixed order.
std::span<const Selector> defaultSelectors();

// True when some overlay selector matches a visible node; the selectors are
// the outer loop.
bool hasUnhealthyOverlay(const std::vector<UiNode>& nodes);

}  // namespace vyx::health
