#pragma once
// Small text helpers shared across modules.

#include <string_view>

namespace vyx::text {

// The text without the spaces, tabs, carriage returns and line feeds at
// both ends ("" when nothing else is left).
std::string_view trimBlanks(std::string_view text);

}  // namespace vyx::text
