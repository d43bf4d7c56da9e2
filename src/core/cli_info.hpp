#pragma once
// `vyx version` and `vyx schemas`, and the version constants shared with the
// trace manifest and the servers.

#include <string_view>

#include "core/args.hpp"
#include "core/errors.hpp"

namespace vyx::cli_info {

inline constexpr std::string_view kName = "vyx";
inline constexpr std::string_view kVersion = "0.2.9";
inline constexpr std::string_view kProtocolVersion = "2026-04-28";
inline constexpr std::string_view kMinimumCompatibleProtocolVersion = "2026-04-28";
inline constexpr std::string_view kStability = "dev-preview";
inline constexpr std::string_view kBreakingChangePolicy = "version-and-changelog";

// Takes every remaining argument; each must be "--json". Returns the switch.
Expected<bool> parseArgIterator(ArgIterator& args);

Status runVersion(ArgIterator& args);
Status runSchemas(ArgIterator& args);

}  // namespace vyx::cli_info
