#include "runner/health.hpp"

#include <array>
#include <string_view>

#include "core/selector.hpp"

namespace vyx::health {
namespace {

constexpr std::array<std::string_view, kDefaultSelectorCount> kOverlayTexts = {
    "Uncaught Error",
    "Application has crashed",
    "This development build encountered the following error",
    "There was a problem loading the project",
    "Failed to connect",
    "Could not connect to development server",
    "Unable to load script",
    "Invariant Violation",
    "ReferenceError",
    "TypeError",
    "SyntaxError",
};

std::array<Selector, kDefaultSelectorCount> buildSelectors() {
  std::array<Selector, kDefaultSelectorCount> out;
  for (size_t i = 0; i < kOverlayTexts.size(); ++i) out[i].textContains = std::string(kOverlayTexts[i]);
  return out;
}

}  // namespace

std::span<const Selector> defaultSelectors() {
  static const std::array<Selector, kDefaultSelectorCount> selectors = buildSelectors();
  return selectors;
}

bool hasUnhealthyOverlay(const std::vector<UiNode>& nodes) {
  for (const Selector& sel : defaultSelectors()) {
    for (const UiNode& node : nodes) {
      if (selector::matches(sel, node)) return true;
    }
  }
  return false;
}

}  // namespace vyx::health
