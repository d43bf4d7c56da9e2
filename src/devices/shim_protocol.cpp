#include "devices/shim_protocol.hpp"

#include <limits>
#include <utility>

#include "core/json.hpp"
#include "core/json_writer.hpp"

namespace vyx::shim_protocol {

std::string_view cmdName(ShimCmd cmd) {
  switch (cmd) {
    case ShimCmd::snapshot:
      return "snapshot";
    case ShimCmd::screenshot:
      return "screenshot";
    case ShimCmd::tap:
      return "tap";
    case ShimCmd::type:
      return "type";
    case ShimCmd::eraseText:
      return "eraseText";
    case ShimCmd::hideKeyboard:
      return "hideKeyboard";
    case ShimCmd::swipe:
      return "swipe";
    case ShimCmd::pressBack:
      return "pressBack";
    case ShimCmd::appState:
      return "appState";
    case ShimCmd::settle:
      return "settle";
    case ShimCmd::acceptSystemAlert:
      return "acceptSystemAlert";
    case ShimCmd::query:
      return "query";
  }
  return "snapshot";
}

namespace {

// Steps shared by both reply checks: a JSON object whose "status" is "ok".
Expected<json::Value> parseOkObject(std::string_view reply) {
  VYX_TRY_ASSIGN(auto doc, json::parseValue(reply));
  if (!doc.isObject()) return fail(Error::IosShimResponseMustBeObject);
  const json::Value* status = doc.get("status");
  if (status == nullptr || !status->isString()) return fail(Error::IosShimMissingStatus);
  if (status->string != "ok") return fail(Error::IosShimResponseNotOk);
  return doc;
}

bool fitsU32(const json::Value* v) {
  return v != nullptr && v->isInteger() && v->integer >= 0 &&
         v->integer <= static_cast<int64_t>(std::numeric_limits<uint32_t>::max());
}

bool nonEmptyString(const json::Value* v) { return v != nullptr && v->isString() && !v->string.empty(); }

Expected<UiNode> readNode(const json::Value& item, NodeText& text) {
  if (!item.isObject()) return fail(Error::IosShimNodeMustBeObject);
  UiNode node;
  const json::Value* id = item.get("id");
  if (id == nullptr || !id->isString()) return fail(Error::IosShimNodeMissingId);
  node.stableId = text.keep(id->string);
  const json::Value* type = item.get("type");
  node.className = (type != nullptr && type->isString()) ? text.keep(type->string) : "XCUIElementTypeOther";

  const json::Value* bounds = item.get("bounds");
  if (bounds == nullptr) return fail(Error::IosShimNodeMissingBounds);
  if (!bounds->isObject()) return fail(Error::IosShimBoundsMustBeObject);
  int32_t* fields[] = {&node.bounds.x, &node.bounds.y, &node.bounds.width, &node.bounds.height};
  static constexpr std::string_view kKeys[] = {"x", "y", "width", "height"};
  for (size_t i = 0; i < 4; ++i) {
    const json::Value* v = bounds->get(kKeys[i]);
    if (v == nullptr) return fail(Error::IosShimBoundsMissingField);
    if (!v->isInteger() || v->integer < std::numeric_limits<int32_t>::min() ||
        v->integer > std::numeric_limits<int32_t>::max()) {
      return fail(Error::IosShimBoundsFieldMustBeInteger);
    }
    *fields[i] = static_cast<int32_t>(v->integer);
  }

  const json::Value* label = item.get("label");
  const json::Value* value = item.get("value");
  if (nonEmptyString(label)) {
    node.text = text.keep(label->string);
  } else if (nonEmptyString(value)) {
    node.text = text.keep(value->string);
  }
  const json::Value* identifier = item.get("identifier");
  if (identifier != nullptr && identifier->isString()) {
    node.resourceId = text.keep(identifier->string);
    node.contentDesc = node.resourceId;
  }
  const json::Value* enabled = item.get("enabled");
  const json::Value* visible = item.get("visible");
  const json::Value* selected = item.get("selected");
  node.enabled = !(enabled != nullptr && enabled->isBool() && !enabled->boolean);
  node.visible = !(visible != nullptr && visible->isBool() && !visible->boolean);
  node.selected = selected != nullptr && selected->isBool() && selected->boolean;
  return node;
}

}  // namespace

Status writeCommandJson(Writer& w, const ShimCommand& command) {
  JsonObjectWriter o(w);
  o.str("cmd", cmdName(command.cmd)).optStr("selector", command.selector).optStr("text", command.text);
  const std::pair<std::string_view, const std::optional<int32_t>*> coordinates[] = {
      {"x", &command.x}, {"y", &command.y}, {"x1", &command.x1}, {"y1", &command.y1}, {"x2", &command.x2},
      {"y2", &command.y2}};
  for (const auto& [key, value] : coordinates) {
    if (*value) o.num(key, **value);
  }
  if (command.durationMs) o.unum("durationMs", *command.durationMs);
  if (command.maxChars) o.unum("maxChars", *command.maxChars);
  VYX_TRY(o.finish());
  return w.writeByte('\n');
}

Status parseOkResponse(std::string_view reply) {
  VYX_TRY_ASSIGN(auto doc, parseOkObject(reply));
  return {};
}

Expected<SnapshotReply> parseSnapshotResponse(std::string_view reply) {
  VYX_TRY_ASSIGN(auto doc, parseOkObject(reply));
  SnapshotReply out;
  const json::Value* viewport = doc.get("viewport");
  if (viewport != nullptr && viewport->isObject()) {
    const json::Value* width = viewport->get("width");
    const json::Value* height = viewport->get("height");
    if (fitsU32(width) && fitsU32(height)) {
      out.viewportWidth = static_cast<uint32_t>(width->integer);
      out.viewportHeight = static_cast<uint32_t>(height->integer);
    }
  }
  const json::Value* nodes = doc.get("nodes");
  if (nodes == nullptr) return fail(Error::IosShimMissingNodes);
  if (!nodes->isArray()) return fail(Error::IosShimNodesMustBeArray);
  out.nodes.reserve(nodes->array.size());
  auto text = std::make_shared<NodeText>();
  for (const json::Value& item : nodes->array) {
    VYX_TRY_ASSIGN(auto node, readNode(item, *text));
    out.nodes.push_back(node);
  }
  out.nodeText.store = std::move(text);
  return out;
}

Expected<bool> parseQueryResponse(std::string_view reply) {
  VYX_TRY_ASSIGN(auto doc, parseOkObject(reply));
  const json::Value* exists = doc.get("exists");
  if (exists == nullptr) return fail(Error::IosShimMissingExists);
  if (!exists->isBool()) return fail(Error::IosShimExistsMustBeBool);
  return exists->boolean;
}

Expected<bool> parseSelectorActionResponse(std::string_view reply) {
  VYX_TRY_ASSIGN(auto doc, json::parseValue(reply));
  if (!doc.isObject()) return fail(Error::IosShimResponseMustBeObject);
  const json::Value* status = doc.get("status");
  if (status == nullptr || !status->isString()) return fail(Error::IosShimMissingStatus);
  if (status->string == "ok") return true;
  const json::Value* code = doc.get("code");
  if (code != nullptr && code->isString() &&
      (code->string == "selector.not_found" || code->string == "selector.not_hittable")) {
    return false;
  }
  return fail(Error::IosShimResponseNotOk);
}

std::optional<std::string> selectorString(const Selector& selector) {
  struct Field {
    const std::optional<std::string>* value;
    std::string_view key;
  };
  const Field fields[] = {
      {&selector.resourceId, "resourceId="},      {&selector.text, "text="},
      {&selector.textContains, "textContains="},  {&selector.contentDesc, "identifier="},
      {&selector.contentDescContains, "identifierContains="}, {&selector.className, "type="},
  };
  const Field* only = nullptr;
  size_t count = 0;
  for (const Field& f : fields) {
    if (f.value->has_value()) {
      ++count;
      only = &f;
    }
  }
  if (count != 1) return std::nullopt;
  std::string out(only->key);
  out += **only->value;
  return out;
}

}  // namespace vyx::shim_protocol
