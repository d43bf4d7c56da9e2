#include "server/json_rpc_params.hpp"

#include <limits>

#include "core/selector.hpp"

namespace vyx::json_rpc_params {

const json::Value* member(const json::Value* params, std::string_view name) {
  if (params == nullptr || !params->isObject()) return nullptr;
  return params->get(name);
}

Expected<std::string_view> requiredString(const json::Value* params, std::string_view name) {
  const json::Value* v = member(params, name);
  if (v == nullptr) return fail(Error::MissingParam);
  if (!v->isString()) return fail(Error::ParamMustBeString);
  return std::string_view(v->string);
}

Expected<std::optional<std::string_view>> optionalString(const json::Value* params, std::string_view name) {
  const json::Value* v = member(params, name);
  if (v == nullptr) return std::optional<std::string_view>();
  if (!v->isString()) return fail(Error::ParamMustBeString);
  return std::optional<std::string_view>(v->string);
}

Expected<bool> optionalBool(const json::Value* params, std::string_view name) {
  const json::Value* v = member(params, name);
  if (v == nullptr) return false;
  if (!v->isBool()) return fail(Error::ParamMustBeBool);
  return v->boolean;
}

Expected<uint64_t> optionalU64(const json::Value* params, std::string_view name, uint64_t fallback) {
  const json::Value* v = member(params, name);
  if (v == nullptr) return fallback;
  if (!v->isInteger() || v->integer < 0) return fail(Error::ParamMustBeInteger);
  return static_cast<uint64_t>(v->integer);
}

Expected<uint32_t> optionalU32(const json::Value* params, std::string_view name, uint32_t fallback) {
  VYX_TRY_ASSIGN(uint64_t value, optionalU64(params, name, fallback));
  if (value > std::numeric_limits<uint32_t>::max()) return fail(Error::ParamMustBeInteger);
  return static_cast<uint32_t>(value);
}

Expected<int32_t> requiredI32(const json::Value* params, std::string_view name) {
  const json::Value* v = member(params, name);
  if (v == nullptr) return fail(Error::MissingParam);
  if (!v->isInteger() || v->integer < std::numeric_limits<int32_t>::min() ||
      v->integer > std::numeric_limits<int32_t>::max()) {
    return fail(Error::ParamMustBeInteger);
  }
  return static_cast<int32_t>(v->integer);
}

Expected<uint64_t> timeoutMs(const json::Value* params, uint64_t fallback, int64_t nowMs) {
  VYX_TRY_ASSIGN(uint64_t value, optionalU64(params, "timeoutMs", fallback));
  int64_t now = nowMs < 0 ? 0 : nowMs;
  if (value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max() - now)) {
    return fail(Error::ParamMustBeInteger);
  }
  return value;
}

Expected<Selector> selectorParam(const json::Value* params) {
  const json::Value* v = member(params, "selector");
  if (v == nullptr) return fail(Error::MissingSelector);
  return selector::parseFromJson(*v);
}

Expected<std::optional<Selector>> optionalSelector(const json::Value* params) {
  const json::Value* v = member(params, "selector");
  if (v == nullptr) return std::optional<Selector>();
  VYX_TRY_ASSIGN(Selector parsed, selector::parseFromJson(*v));
  return std::optional<Selector>(std::move(parsed));
}

Expected<std::vector<Selector>> selectors(const json::Value* params) {
  const json::Value* v = member(params, "selectors");
  if (v == nullptr) return fail(Error::MissingSelectors);
  if (!v->isArray()) return fail(Error::SelectorsMustBeArray);
  if (v->array.empty()) return fail(Error::SelectorsMustNotBeEmpty);
  std::vector<Selector> list;
  list.reserve(v->array.size());
  for (const json::Value& item : v->array) {
    VYX_TRY_ASSIGN(Selector parsed, selector::parseFromJson(item));
    list.push_back(std::move(parsed));
  }
  return list;
}

Expected<ScrollDirection> optionalDirection(const json::Value* params) {
  if (params == nullptr || !params->isObject()) return ScrollDirection::down;
  auto direction = scenario::optionalDirection(*params, "direction");
  if (!direction && direction.error() == Error::OptionalFieldMustBeString) return fail(Error::ParamMustBeString);
  return direction;
}

}  // namespace vyx::json_rpc_params
