#pragma once
// Field readers of the scenario reader: each takes a step object and a key and
// returns the value or the field's named error. A key holding JSON null counts
// as present.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.hpp"
#include "core/json.hpp"
#include "core/types.hpp"

namespace vyx::scenario_fields {

// Absent: `missing`; a string (empty included): its copy; else RequiredFieldMustBeString.
Expected<std::string> requiredStringOrError(const json::Value& object, std::string_view key,
                                            Error missing);

// Absent: `missing`; an integer in the signed 32-bit range; else RequiredFieldMustBeInteger.
Expected<int32_t> requiredI32OrError(const json::Value& object, std::string_view key, Error missing);

// Absent: `fallback`; a non-negative integer; else OptionalFieldMustBeInteger.
Expected<uint64_t> optionalU64(const json::Value& object, std::string_view key, uint64_t fallback);

// Absent: `fallback`; an integer in 0..4294967295; else OptionalFieldMustBeInteger.
Expected<uint32_t> optionalU32(const json::Value& object, std::string_view key, uint32_t fallback);

// Absent: StepMissingSelector; else the selector reader's result.
Expected<Selector> parseSelectorField(const json::Value& object, std::string_view key);

// Absent: no selector; else the selector reader's result (null is present and
// fails with SelectorMustBeObject).
Expected<std::optional<Selector>> parseOptionalSelectorField(const json::Value& object,
                                                             std::string_view key);

// Absent: StepMissingSelectors; not an array: SelectorsMustBeArray; each
// element read in order; an empty array: SelectorsMustNotBeEmpty.
Expected<std::vector<Selector>> parseSelectorArrayField(const json::Value& object,
                                                        std::string_view key);

}  // namespace vyx::scenario_fields
