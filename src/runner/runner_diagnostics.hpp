#pragma once
// The failure diagnostics event: when an action, wait or assertion gives up,
// one event explains the failure from the last snapshot it looked at.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/errors.hpp"
#include "core/json_writer.hpp"
#include "core/trace.hpp"
#include "core/types.hpp"
#include "core/writer.hpp"

namespace vyx::runner_diagnostics {

enum class CandidateClass : uint8_t { hidden, disabled, offscreen };

// The field test of selector matching without the visibility condition.
bool nodeMatchesSelectorFields(const UiNode& node, const Selector& selector);

// Offscreen as the candidate lists judge it: no positive size, or (with a
// viewport of both dimensions non-zero) no overlap with the viewport.
bool isOffscreen(const UiNode& node, const Viewport& viewport);

// How far a label is from a query (lower is nearer), bytes compared with
// ASCII case folding.
uint64_t nearestScore(std::string_view query, std::string_view label);

// Writes one candidate list member: "<name>":[...].
void writeCandidateList(JsonObjectWriter& o, std::string_view name, std::span<const Selector> selectors,
                        const ObservationSnapshot& snapshot, CandidateClass cls);

// The whole diagnostics payload.
Status writePayload(Writer& w, std::string_view status, std::optional<std::string_view> strategy,
                    std::span<const Selector> selectors, const ObservationSnapshot& snapshot,
                    std::optional<uint64_t> timeoutMs);

// Builds the payload and records it under `kind`.
Status recordWithOptions(TraceWriter& trace, std::string_view kind, std::string_view status,
                         std::optional<std::string_view> strategy, std::span<const Selector> selectors,
                         const ObservationSnapshot& snapshot, std::optional<uint64_t> timeoutMs);

}  // namespace vyx::runner_diagnostics
