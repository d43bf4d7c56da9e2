#pragma once
// In core: `version` and `schemas` are the entry's own commands, and core owns the entry.
// `vyx version` and `vyx schemas`. The version numbers themselves are in
// core/version.hpp.

#include <string_view>

#include "core/args.hpp"
#include "core/errors.hpp"

namespace vyx::cli_info {

inline constexpr std::string_view kName = "vyx";
inline constexpr std::string_view kStability = "dev-preview";
inline constexpr std::string_view kBreakingChangePolicy = "version-and-changelog";

// Takes every remaining argument; each must be "--json". Returns the switch.
Expected<bool> parseArgIterator(ArgIterator& args);

Status runVersion(ArgIterator& args);
Status runSchemas(ArgIterator& args);

}  // namespace vyx::cli_info
