#pragma once
// Readers of request parameters, shared by both agent servers: the JSON-RPC
// server reads the members of "params", the MCP server those of a tool
// call's "arguments". When that value is absent or not an object, every
// parameter counts as absent. Each reader yields a value or one error value.
//
// "Integer" means the parser's integer kind: 2.0 and 1e3 are not integers.
// An integer outside the range a reader takes (negative where it reads an
// unsigned value, too large for 32 bits, a time-out whose deadline would
// overflow the millisecond clock) fails with ParamMustBeInteger as well.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/errors.hpp"
#include "core/json.hpp"
#include "core/scenario.hpp"
#include "core/types.hpp"

namespace vyx::json_rpc_params {

// The member's value, or nullptr when absent or when params is not an object.
const json::Value* member(const json::Value* params, std::string_view name);

// Absent: MissingParam; not a string: ParamMustBeString.
Expected<std::string_view> requiredString(const json::Value* params, std::string_view name);
// Absent: none; not a string: ParamMustBeString.
Expected<std::optional<std::string_view>> optionalString(const json::Value* params, std::string_view name);
// Absent: false; not a bool: ParamMustBeBool.
Expected<bool> optionalBool(const json::Value* params, std::string_view name);
// Absent: the default; not an integer of 0 or more: ParamMustBeInteger.
Expected<uint64_t> optionalU64(const json::Value* params, std::string_view name, uint64_t fallback);
// The same, also failing for 2^32 and more.
Expected<uint32_t> optionalU32(const json::Value* params, std::string_view name, uint32_t fallback);
// Absent: MissingParam; not an integer in the signed 32-bit range:
// ParamMustBeInteger.
Expected<int32_t> requiredI32(const json::Value* params, std::string_view name);
// "timeoutMs" as optionalU64, also failing when nowMs plus the value would
// overflow a signed 64-bit millisecond clock.
Expected<uint64_t> timeoutMs(const json::Value* params, uint64_t fallback, int64_t nowMs);

// "selector": absent MissingSelector; else selector::parseFromJson.
Expected<Selector> selectorParam(const json::Value* params);
// "selector" when the member exists at all (null too), parsed; none when absent.
Expected<std::optional<Selector>> optionalSelector(const json::Value* params);
// "selectors": absent MissingSelectors, not an array SelectorsMustBeArray,
// empty SelectorsMustNotBeEmpty, else each element's selector.
Expected<std::vector<Selector>> selectors(const json::Value* params);
// "direction": absent down; not a string ParamMustBeString; "down" or "up",
// else unknownScrollDirection.
Expected<ScrollDirection> optionalDirection(const json::Value* params);

}  // namespace vyx::json_rpc_params
