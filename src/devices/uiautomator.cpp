#include "devices/uiautomator.hpp"

#include <cstdint>
#include <limits>

namespace vyx::uiautomator {

namespace {

// The raw value of the attribute: the bytes between `name="` and the next
// double quote. `found` tells whether the attribute is there; `terminated`
// whether a closing quote was found.
struct RawAttr {
  bool found = false;
  bool terminated = false;
  std::string_view value;
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Only a whole attribute name counts: one that starts after a blank and lies
// outside every quoted value, so neither the tail of a longer name
// ("hint-text") nor a value ending in the name ("see bounds=") is taken for it.
RawAttr findRawAttr(std::string_view element, std::string_view name) {
  RawAttr out;
  if (name.empty()) return out;
  bool quoted = false;
  for (size_t at = 0; at < element.size(); ++at) {
    if (element[at] == '"') {
      quoted = !quoted;
      continue;
    }
    if (quoted || at == 0 || !isBlank(element[at - 1])) continue;
    if (element.compare(at, name.size(), name) != 0) continue;
    const size_t after = at + name.size();
    if (element.size() - after < 2 || element[after] != '=' || element[after + 1] != '"') continue;
    out.found = true;
    const size_t start = after + 2;
    const size_t close = element.find('"', start);
    if (close == std::string_view::npos) return out;
    out.terminated = true;
    out.value = element.substr(start, close - start);
    return out;
  }
  return out;
}

// A decimal signed 32-bit number: an optional sign, then digits only.
std::optional<int32_t> parseI32(std::string_view s) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  if (i == s.size()) return std::nullopt;
  int64_t value = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > int64_t{1} << 31) return std::nullopt;
  }
  if (negative) value = -value;
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) return std::nullopt;
  return static_cast<int32_t>(value);
}

// The extent x2 - x1 with no overflow: 0 when not positive, clamped to the
// largest 32-bit value when too large.
int32_t extent(int32_t from, int32_t to) {
  const int64_t d = static_cast<int64_t>(to) - static_cast<int64_t>(from);
  if (d <= 0) return 0;
  if (d > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(d);
}

}  // namespace

std::string decodeEntities(std::string_view value) {
  struct Entity {
    std::string_view seq;
    char ch;
  };
  static constexpr Entity kEntities[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''},
  };
  std::string out;
  out.reserve(value.size());
  size_t i = 0;
  while (i < value.size()) {
    if (value[i] == '&') {
      bool replaced = false;
      for (const Entity& e : kEntities) {
        if (value.substr(i, e.seq.size()) == e.seq) {
          out += e.ch;
          i += e.seq.size();
          replaced = true;
          break;
        }
      }
      if (replaced) continue;
    }
    out += value[i];
    ++i;
  }
  return out;
}

Expected<std::optional<std::string>> attrOwned(std::string_view element, std::string_view name) {
  const RawAttr raw = findRawAttr(element, name);
  if (!raw.found) return std::optional<std::string>();
  if (!raw.terminated) return fail(Error::MalformedAttribute);
  return std::optional<std::string>(decodeEntities(raw.value));
}

bool parseBoolAttr(std::string_view element, std::string_view name, bool fallback) {
  const RawAttr raw = findRawAttr(element, name);
  if (!raw.found || !raw.terminated) return fallback;
  return raw.value == "true";
}

Bounds parseBounds(std::optional<std::string_view> value) {
  const Bounds none{};
  if (!value || value->size() < 10 || value->front() != '[') return none;
  const std::string_view v = *value;
  const size_t c1 = v.find(',');
  if (c1 == std::string_view::npos) return none;
  const size_t r1 = v.find(']', c1);
  if (r1 == std::string_view::npos) return none;
  const size_t l2 = v.find('[', r1);
  if (l2 == std::string_view::npos) return none;
  const size_t c2 = v.find(',', l2);
  if (c2 == std::string_view::npos) return none;
  const size_t r2 = v.find(']', c2);
  if (r2 == std::string_view::npos) return none;
  const auto x1 = parseI32(v.substr(1, c1 - 1));
  const auto y1 = parseI32(v.substr(c1 + 1, r1 - c1 - 1));
  const auto x2 = parseI32(v.substr(l2 + 1, c2 - l2 - 1));
  const auto y2 = parseI32(v.substr(c2 + 1, r2 - c2 - 1));
  if (!x1 || !y1 || !x2 || !y2) return none;
  return Bounds{*x1, *y1, extent(*x1, *x2), extent(*y1, *y2)};
}

std::string stableId(const UiNode& node, size_t index) {
  const std::string n = std::to_string(index);
  if (node.resourceId && !node.resourceId->empty()) return "rid:" + *node.resourceId + ":" + n;
  if (node.contentDesc) return "desc:" + *node.contentDesc + ":" + n;
  if (node.text) return "text:" + *node.text + ":" + n;
  std::string id = "node:";
  id += node.className;
  for (int32_t v : {node.bounds.x, node.bounds.y, node.bounds.width, node.bounds.height}) {
    id += ':';
    id += std::to_string(v);
  }
  id += ':';
  id += n;
  return id;
}

Expected<std::vector<UiNode>> scanNodes(std::string_view xml) {
  std::vector<UiNode> nodes;
  size_t pos = 0;
  while (true) {
    const size_t open = xml.find("<node", pos);
    if (open == std::string_view::npos) break;
    const size_t close = xml.find('>', open);
    if (close == std::string_view::npos) break;
    const std::string_view element = xml.substr(open, close - open);

    auto cls = attrOwned(element, "class");
    if (!cls) return fail(cls.error());
    auto rid = attrOwned(element, "resource-id");
    if (!rid) return fail(rid.error());
    auto text = attrOwned(element, "text");
    if (!text) return fail(text.error());
    auto desc = attrOwned(element, "content-desc");
    if (!desc) return fail(desc.error());
    auto bounds = attrOwned(element, "bounds");
    if (!bounds) return fail(bounds.error());

    UiNode node;
    node.className = cls->value_or(std::string());
    node.resourceId = std::move(*rid);
    if (*text && !(*text)->empty()) node.text = std::move(*text);
    if (*desc && !(*desc)->empty()) node.contentDesc = std::move(*desc);
    node.bounds = parseBounds(*bounds ? std::optional<std::string_view>(**bounds) : std::nullopt);
    node.enabled = parseBoolAttr(element, "enabled", true);
    node.visible = node.bounds.width > 0 && node.bounds.height > 0;
    node.selected = parseBoolAttr(element, "selected", false);
    node.stableId = stableId(node, nodes.size());
    nodes.push_back(std::move(node));
    pos = close + 1;
  }
  return nodes;
}

}  // namespace vyx::uiautomator
