#include "devices/uiautomator.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vyx::uiautomator {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// One attribute as it stands in the element: the name, and the raw value
// between `="` and the next double quote (when there is one).
struct RawAttr {
  std::string_view name;
  std::string_view value;
  bool terminated = false;
};

bool isNameStop(char c) { return c == '=' || c == '"' || isBlank(c); }

// The first double quote at or after `from`, or `n` when there is none.
size_t findQuote(const char* p, size_t from, size_t n) {
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"');
  for (; from + 16 <= n; from += 16) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + from));
    auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, quote)));
    if (mask != 0) return from + static_cast<size_t>(__builtin_ctz(mask));
  }
#endif
  const void* q = std::memchr(p + from, '"', n - from);
  return q == nullptr ? n : static_cast<size_t>(static_cast<const char*>(q) - p);
}

// The offsets of the element's double quotes, in order.
std::vector<size_t> quotesOf(std::string_view element) {
  std::vector<size_t> quotes;
  for (size_t q = findQuote(element.data(), 0, element.size()); q < element.size();
       q = findQuote(element.data(), q + 1, element.size())) {
    quotes.push_back(q);
  }
  return quotes;
}

// Shows `visit` each quoted value of an element of `n` bytes in text order,
// from the offsets of its double quotes: the positions of its opening and
// closing double quotes (`n` when the value is not closed), until `visit`
// returns false. The double quotes pair up; an unclosed value is the last
// one shown.
template <class Visit>
void forEachQuoted(std::span<const size_t> quotes, size_t n, Visit&& visit) {
  for (size_t k = 0; k < quotes.size(); k += 2) {
    const size_t close = k + 1 < quotes.size() ? quotes[k + 1] : n;
    if (!visit(quotes[k], close) || close == n) return;
  }
}

// Shows `visit` each attribute of the element in text order, until it
// returns false. Only a whole attribute name counts: one that starts after a
// blank and lies outside every quoted value, followed by `="`; so neither the
// tail of a longer name ("hint-text") nor a value ending in a name ("see
// bounds=") is taken for one. An unterminated value is the last attribute
// shown: everything after it lies inside it.
template <class Visit>
void forEachAttr(std::string_view element, Visit&& visit) {
  const char* p = element.data();
  const size_t n = element.size();
  forEachQuoted(quotesOf(element), n, [&](size_t open, size_t close) {
    if (open == 0 || p[open - 1] != '=') return true;
    size_t nameStart = open - 1;
    while (nameStart > 0 && !isNameStop(p[nameStart - 1])) --nameStart;
    if (nameStart == 0 || !isBlank(p[nameStart - 1])) return true;
    RawAttr attr{element.substr(nameStart, open - 1 - nameStart), {}, close < n};
    if (close < n) attr.value = element.substr(open + 1, close - open - 1);
    return visit(attr);
  });
}

// The offsets of an element's double quotes: the first `count` entries of
// `slots`, which only grows, so filling it is a plain store per quote.
struct Quotes {
  std::vector<size_t> slots = std::vector<size_t>(64);
  size_t count = 0;

  std::span<const size_t> offsets() const { return {slots.data(), count}; }
  // Room for `more` offsets beyond `count`.
  size_t* room(size_t more) {
    if (count + more > slots.size()) slots.resize(2 * (count + more));
    return slots.data() + count;
  }
};

// The element that starts at xml[open]: it ends at the first ">" after
// that. Sets `quotes` to the offsets (from `open`) of the double quotes
// before that ">", in order, and `hasEntity` to whether an "&" stands before
// it; returns the offset of the ">", npos when there is none. One pass finds
// all three.
size_t scanElement(std::string_view xml, size_t open, Quotes& quotes, bool& hasEntity) {
  const char* p = xml.data() + open;
  const size_t n = xml.size() - open;
  quotes.count = 0;
  hasEntity = false;
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i greater = _mm_set1_epi8('>');
  const __m128i amp = _mm_set1_epi8('&');
  unsigned amps = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    auto q = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, quote)));
    const auto g = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, greater)));
    auto a = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, amp)));
    if (g != 0) {
      const unsigned before = (g & (0u - g)) - 1;  // the bytes before the first ">"
      q &= before;
      a &= before;
    }
    amps |= a;
    if (q != 0) {
      size_t* out = quotes.room(16);
      size_t stored = 0;
      for (; q != 0; q &= q - 1) out[stored++] = i + static_cast<size_t>(__builtin_ctz(q));
      quotes.count += stored;
    }
    if (g != 0) {
      hasEntity = amps != 0;
      return i + static_cast<size_t>(__builtin_ctz(g));
    }
  }
  hasEntity = amps != 0;
#endif
  for (; i < n; ++i) {
    if (p[i] == '>') return i;
    if (p[i] == '"') {
      *quotes.room(1) = i;
      ++quotes.count;
    }
    if (p[i] == '&') hasEntity = true;
  }
  return std::string_view::npos;
}

// Whether the value whose opening quote stands at `open` is that of a whole
// attribute called `name` (the test of forEachAttr for one known name:
// `name="` with a blank before it; a name holds no blank, "=" or quote).
bool isValueOf(const char* p, size_t open, std::string_view name) {
  const size_t length = name.size();
  return open >= length + 2 && p[open - 1] == '=' && isBlank(p[open - 2 - length]) &&
         std::memcmp(p + open - 1 - length, name.data(), length) == 0;
}

// The first whole attribute called `name`; `found` tells whether there is one.
struct FoundAttr {
  bool found = false;
  RawAttr attr;
};

FoundAttr findRawAttr(std::string_view element, std::string_view name) {
  FoundAttr out;
  if (name.empty()) return out;
  forEachAttr(element, [&](const RawAttr& attr) {
    if (attr.name != name) return true;
    out = FoundAttr{true, attr};
    return false;
  });
  return out;
}

// The one entity among &amp; &lt; &gt; &quot; &apos; at the start of `s`
// (which starts with '&'): its character and length, or length 0.
struct Entity {
  char ch = 0;
  size_t length = 0;
};

Entity entityAt(std::string_view s) {
  static constexpr struct {
    std::string_view seq;
    char ch;
  } kEntities[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  for (const auto& e : kEntities) {
    if (s.starts_with(e.seq)) return Entity{e.ch, e.seq.size()};
  }
  return Entity{};
}

// Writes the decoded value to `out`, which has room for value.size()
// bytes, and returns its length: the runs between entities are copied
// whole.
size_t decodeTo(char* out, std::string_view value) {
  size_t used = 0;
  size_t from = 0;
  for (size_t at = value.find('&'); at != std::string_view::npos; at = value.find('&', at + 1)) {
    const Entity e = entityAt(value.substr(at));
    if (e.length == 0) continue;
    std::memcpy(out + used, value.data() + from, at - from);
    used += at - from;
    out[used++] = e.ch;
    from = at + e.length;
    at = from - 1;
  }
  std::memcpy(out + used, value.data() + from, value.size() - from);
  return used + value.size() - from;
}

// Reads a decimal signed 32-bit number, an optional sign and then digits,
// from s[i] up to the first byte that is not a digit, and moves `i` past it.
// False when there is no digit or the number is out of range.
bool readI32(std::string_view s, size_t& i, int32_t& out) {
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  const size_t digits = i;
  int64_t value = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    value = value * 10 + (s[i] - '0');
    if (value > int64_t{1} << 31) return false;
  }
  if (i == digits) return false;
  if (negative) value = -value;
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) return false;
  out = static_cast<int32_t>(value);
  return true;
}

// A decimal signed 32-bit number: an optional sign, then digits only.
std::optional<int32_t> parseI32(std::string_view s) {
  size_t i = 0;
  int32_t value = 0;
  if (!readI32(s, i, value) || i != s.size()) return std::nullopt;
  return value;
}

// The four numbers of bounds written exactly "[x1,y1][x2,y2]" (what follows
// is not looked at), read in one pass; false for any other form. Where it
// succeeds, the searches of parseBounds find the same delimiters.
bool readPlainBounds(std::string_view v, int32_t (&n)[4]) {
  static constexpr char kAfter[4] = {',', ']', ',', ']'};
  size_t i = 0;
  for (int k = 0; k < 4; ++k) {
    if (k % 2 == 0) {
      if (i >= v.size() || v[i] != '[') return false;
      ++i;
    }
    if (!readI32(v, i, n[k]) || i >= v.size() || v[i] != kAfter[k]) return false;
    ++i;
  }
  return true;
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
  std::string out(value.size(), '\0');
  out.resize(decodeTo(out.data(), value));
  return out;
}

Expected<std::optional<std::string>> attrOwned(std::string_view element, std::string_view name) {
  const FoundAttr raw = findRawAttr(element, name);
  if (!raw.found) return std::optional<std::string>();
  if (!raw.attr.terminated) return fail(Error::MalformedAttribute);
  return std::optional<std::string>(decodeEntities(raw.attr.value));
}

bool parseBoolAttr(std::string_view element, std::string_view name, bool fallback) {
  const FoundAttr raw = findRawAttr(element, name);
  if (!raw.found || !raw.attr.terminated) return fallback;
  return raw.attr.value == "true";
}

Bounds parseBounds(std::optional<std::string_view> value) {
  const Bounds none{};
  if (!value || value->size() < 10 || value->front() != '[') return none;
  const std::string_view v = *value;
  if (int32_t n[4]; readPlainBounds(v, n)) return Bounds{n[0], n[1], extent(n[0], n[2]), extent(n[1], n[3])};
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

namespace {

// The most bytes stableId can take for `node`: a prefix of at most five
// bytes, the label, and six numbers of at most 20 bytes with their colons.
size_t stableIdBound(const UiNode& node) {
  size_t label = node.className.size();
  if (node.resourceId) label = std::max(label, node.resourceId->size());
  if (node.contentDesc) label = std::max(label, node.contentDesc->size());
  if (node.text) label = std::max(label, node.text->size());
  return 5 + label + 6 * 21;
}

// Writes the node's identifier to `out`, which has room for
// stableIdBound(node) bytes; returns its length.
size_t writeStableId(char* out, const UiNode& node, size_t index) {
  char* p = out;
  auto put = [&p](std::string_view s) { p = std::copy(s.begin(), s.end(), p); };
  auto number = [&p](auto v) { p = std::to_chars(p, p + 20, v).ptr; };
  if (node.resourceId && !node.resourceId->empty()) {
    put("rid:");
    put(*node.resourceId);
  } else if (node.contentDesc) {
    put("desc:");
    put(*node.contentDesc);
  } else if (node.text) {
    put("text:");
    put(*node.text);
  } else {
    put("node:");
    put(node.className);
    for (int32_t v : {node.bounds.x, node.bounds.y, node.bounds.width, node.bounds.height}) {
      *p++ = ':';
      number(v);
    }
  }
  *p++ = ':';
  number(index);
  return static_cast<size_t>(p - out);
}

}  // namespace

std::string stableId(const UiNode& node, size_t index) {
  std::string id(stableIdBound(node), '\0');
  id.resize(writeStableId(id.data(), node, index));
  return id;
}

namespace {

// The attributes a node is read from, each at its first occurrence.
struct NodeAttrs {
  std::optional<std::string_view> className, resourceId, text, contentDesc, bounds, enabled, selected;
  bool malformed = false;  // one of the string attributes has no closing quote
};

// What forEachAttr would show for the seven names read, from the element's
// double quotes (found by scanElement), without taking every name apart:
// the byte before `="` picks the candidates.
NodeAttrs readNodeAttrs(std::string_view element, std::span<const size_t> quotes) {
  NodeAttrs a;
  const char* p = element.data();
  const size_t n = element.size();
  forEachQuoted(quotes, n, [&](size_t open, size_t close) {
    if (open < 2 || p[open - 1] != '=') return true;
    std::optional<std::string_view>* slot = nullptr;
    bool isString = true;
    switch (p[open - 2]) {
      case 's':
        if (isValueOf(p, open, "class")) {
          slot = &a.className;
        } else if (isValueOf(p, open, "bounds")) {
          slot = &a.bounds;
        }
        break;
      case 'd':
        if (isValueOf(p, open, "resource-id")) {
          slot = &a.resourceId;
        } else if (isValueOf(p, open, "enabled")) {
          slot = &a.enabled;
          isString = false;
        } else if (isValueOf(p, open, "selected")) {
          slot = &a.selected;
          isString = false;
        }
        break;
      case 't':
        if (isValueOf(p, open, "text")) slot = &a.text;
        break;
      case 'c':
        if (isValueOf(p, open, "content-desc")) slot = &a.contentDesc;
        break;
      default:
        break;
    }
    if (slot == nullptr || slot->has_value()) return true;
    if (close == n) {
      a.malformed = isString;  // a flag without its closing quote keeps its default
      return false;
    }
    *slot = element.substr(open + 1, close - open - 1);
    return true;
  });
  return a;
}

// The decoded value: a view of the dump itself when there is nothing to
// decode, else of the decoded copy kept in `text`.
std::string_view decodedIn(NodeText& text, std::string_view raw) {
  if (raw.find('&') == std::string_view::npos) return raw;
  return text.commit(decodeTo(text.reserve(raw.size()), raw));
}

}  // namespace

Expected<std::vector<UiNode>> scanNodes(std::string_view xml, NodeText& text) {
  std::vector<UiNode> nodes;
  // A node takes some 300 bytes of a dump as uiautomator writes it.
  nodes.reserve(xml.size() / 320 + 1);
  Quotes quotes;
  size_t pos = 0;
  while (true) {
    // The next element mostly starts right where the last one ended.
    const size_t open = xml.substr(pos, 5) == "<node" ? pos : xml.find("<node", pos);
    if (open == std::string_view::npos) break;
    bool hasEntity = false;
    const size_t length = scanElement(xml, open, quotes, hasEntity);
    if (length == std::string_view::npos) break;
    const size_t close = open + length;
    const NodeAttrs a = readNodeAttrs(xml.substr(open, length), quotes.offsets());
    if (a.malformed) return fail(Error::MalformedAttribute);

    // Without an "&" in the element every value stands as it is decoded.
    auto decoded = [&](std::string_view raw) { return hasEntity ? decodedIn(text, raw) : raw; };
    UiNode& node = nodes.emplace_back();
    if (a.className) node.className = decoded(*a.className);
    if (a.resourceId) node.resourceId = decoded(*a.resourceId);
    if (a.text && !a.text->empty()) node.text = decoded(*a.text);
    if (a.contentDesc && !a.contentDesc->empty()) node.contentDesc = decoded(*a.contentDesc);
    if (hasEntity && a.bounds && a.bounds->find('&') != std::string_view::npos) {
      node.bounds = parseBounds(decodeEntities(*a.bounds));
    } else {
      node.bounds = parseBounds(a.bounds);
    }
    node.enabled = a.enabled ? *a.enabled == "true" : true;
    node.visible = node.bounds.width > 0 && node.bounds.height > 0;
    node.selected = a.selected ? *a.selected == "true" : false;
    char* id = text.reserve(stableIdBound(node));
    node.stableId = text.commit(writeStableId(id, node, nodes.size() - 1));
    pos = close + 1;
  }
  return nodes;
}

}  // namespace vyx::uiautomator
