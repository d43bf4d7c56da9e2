#pragma once
// The versions this build reports: in `vyx version`, in every trace manifest
// (trace.json) and to the servers' clients.

#include <string_view>

namespace vyx::version {

inline constexpr std::string_view kRunner = "0.2.9";
inline constexpr std::string_view kProtocol = "2026-04-28";
inline constexpr std::string_view kMinimumCompatibleProtocol = "2026-04-28";

}  // namespace vyx::version
