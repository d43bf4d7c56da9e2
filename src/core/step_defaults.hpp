#pragma once
// The values a step takes for the fields it leaves out, wherever the step
// comes from: a scenario file, a server request or an imported flow.

#include <cstdint>

namespace vyx::step_defaults {

// swipe "durationMs".
inline constexpr uint32_t kSwipeDurationMs = 300;
// eraseText "maxChars".
inline constexpr uint32_t kEraseMaxChars = 80;
// "timeoutMs" of the waits, the assertions and scrollUntilVisible.
inline constexpr uint64_t kTimeoutMs = 5000;

}  // namespace vyx::step_defaults
