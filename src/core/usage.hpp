#pragma once
// In core: the usage text belongs to the entry and its dispatch, which are core's.
#include <string_view>

#include "core/errors.hpp"

namespace vyx {

// The usage text, as `vyx help` prints it.
std::string_view usageText();

// Writes the usage text to standard output and flushes it.
Status printUsage();

}  // namespace vyx
