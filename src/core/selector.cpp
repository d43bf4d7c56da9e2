#include "core/selector.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace vyx::selector {

namespace {

// Copies a present string member; a present member of another type (null
// included) is a fault.
Status readField(const json::Value& object, std::string_view key, std::optional<std::string>& out) {
  const json::Value* v = object.get(key);
  if (v == nullptr) return {};
  if (!v->isString()) return fail(Error::SelectorFieldMustBeString);
  out = v->string;
  return {};
}

bool equalsPresent(const std::optional<std::string>& want, std::optional<std::string_view> have) {
  return have && *have == *want;
}

bool containsPresent(const std::optional<std::string>& want, std::optional<std::string_view> have) {
  return have && have->find(*want) != std::string_view::npos;
}

}  // namespace

Expected<Selector> parseFromJson(const json::Value& value) {
  if (!value.isObject()) return fail(Error::SelectorMustBeObject);
  Selector s;
  // "id" wins; "resourceId" is not looked at when "id" is present.
  std::string_view idKey = value.get("id") != nullptr ? "id" : "resourceId";
  VYX_TRY(readField(value, idKey, s.resourceId));
  VYX_TRY(readField(value, "text", s.text));
  VYX_TRY(readField(value, "textContains", s.textContains));
  VYX_TRY(readField(value, "contentDesc", s.contentDesc));
  VYX_TRY(readField(value, "contentDescContains", s.contentDescContains));
  VYX_TRY(readField(value, "className", s.className));
  return s;
}

bool matches(const Selector& s, const UiNode& node) {
  if (s.resourceId && !equalsPresent(s.resourceId, node.resourceId)) return false;
  if (s.text && !equalsPresent(s.text, node.text)) return false;
  if (s.textContains && !containsPresent(s.textContains, node.text)) return false;
  if (s.contentDesc && !equalsPresent(s.contentDesc, node.contentDesc)) return false;
  if (s.contentDescContains && !containsPresent(s.contentDescContains, node.contentDesc)) {
    return false;
  }
  if (s.className && *s.className != node.className) return false;
  return node.visible;
}

}  // namespace vyx::selector
