#include "core/scenario_fields.hpp"

#include <limits>

#include "core/selector.hpp"

namespace vyx::scenario_fields {

namespace {

// An integer written without fraction or exponent that fits int64.
bool integerIn(const json::Value& v, int64_t lo, int64_t hi, int64_t& out) {
  if (!v.isInteger()) return false;
  if (v.integer < lo || v.integer > hi) return false;
  out = v.integer;
  return true;
}

// An optional non-negative integer up to `hi`, as T; `fallback` when absent.
template <class T>
Expected<T> optionalUnsigned(const json::Value& object, std::string_view key, T fallback, int64_t hi) {
  const json::Value* v = object.get(key);
  if (v == nullptr) return fallback;
  int64_t n = 0;
  if (!integerIn(*v, 0, hi, n)) return fail(Error::OptionalFieldMustBeInteger);
  return static_cast<T>(n);
}

}  // namespace

Expected<std::string> requiredStringOrError(const json::Value& object, std::string_view key,
                                            Error missing) {
  const json::Value* v = object.get(key);
  if (v == nullptr) return fail(missing);
  if (!v->isString()) return fail(Error::RequiredFieldMustBeString);
  return v->string;
}

Expected<int32_t> requiredI32OrError(const json::Value& object, std::string_view key,
                                     Error missing) {
  const json::Value* v = object.get(key);
  if (v == nullptr) return fail(missing);
  int64_t n = 0;
  if (!integerIn(*v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), n)) {
    return fail(Error::RequiredFieldMustBeInteger);
  }
  return static_cast<int32_t>(n);
}

Expected<uint64_t> optionalU64(const json::Value& object, std::string_view key,
                               uint64_t fallback) {
  return optionalUnsigned<uint64_t>(object, key, fallback, std::numeric_limits<int64_t>::max());
}

Expected<uint32_t> optionalU32(const json::Value& object, std::string_view key,
                               uint32_t fallback) {
  return optionalUnsigned<uint32_t>(object, key, fallback, std::numeric_limits<uint32_t>::max());
}

Expected<Selector> parseSelectorField(const json::Value& object, std::string_view key) {
  const json::Value* v = object.get(key);
  if (v == nullptr) return fail(Error::StepMissingSelector);
  return selector::parseFromJson(*v);
}

Expected<std::optional<Selector>> parseOptionalSelectorField(const json::Value& object,
                                                             std::string_view key) {
  const json::Value* v = object.get(key);
  if (v == nullptr) return std::optional<Selector>{};
  VYX_TRY_ASSIGN(auto s, selector::parseFromJson(*v));
  return std::optional<Selector>{std::move(s)};
}

Expected<std::vector<Selector>> parseSelectorArrayField(const json::Value& object,
                                                        std::string_view key) {
  const json::Value* v = object.get(key);
  if (v == nullptr) return fail(Error::StepMissingSelectors);
  if (!v->isArray()) return fail(Error::SelectorsMustBeArray);
  std::vector<Selector> out;
  out.reserve(v->array.size());
  for (const json::Value& element : v->array) {
    VYX_TRY_ASSIGN(auto s, selector::parseFromJson(element));
    out.push_back(std::move(s));
  }
  if (out.empty()) return fail(Error::SelectorsMustNotBeEmpty);
  return out;
}

}  // namespace vyx::scenario_fields
