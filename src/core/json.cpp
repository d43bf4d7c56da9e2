#include "core/json.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_set>

namespace vyx::json {

const Value* Value::get(std::string_view key) const {
  if (kind != Kind::Object) return nullptr;
  for (const Member& m : object) {
    if (m.key == key) return &m.value;
  }
  return nullptr;
}

namespace {

// Byte classes used by the string scanner: 1 for bytes that end a plain run
// (double quote, backslash, control characters).
constexpr auto kStringStop = [] {
  std::array<uint8_t, 256> t{};
  for (int c = 0; c < 0x20; ++c) t[static_cast<size_t>(c)] = 1;
  t['"'] = 1;
  t['\\'] = 1;
  return t;
}();

constexpr auto kWhitespace = [] {
  std::array<uint8_t, 256> t{};
  t[' '] = 1;
  t['\t'] = 1;
  t['\n'] = 1;
  t['\r'] = 1;
  return t;
}();

inline int hexValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void appendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    char b[2] = {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
    out.append(b, 2);
  } else if (cp < 0x10000) {
    char b[3] = {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                 static_cast<char>(0x80 | (cp & 0x3F))};
    out.append(b, 3);
  } else {
    char b[4] = {static_cast<char>(0xF0 | (cp >> 18)), static_cast<char>(0x80 | ((cp >> 12) & 0x3F)),
                 static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), static_cast<char>(0x80 | (cp & 0x3F))};
    out.append(b, 4);
  }
}

constexpr uint32_t kReplacementCharacter = 0xFFFD;

// Objects up to this many members are checked for repeated keys by a linear
// scan; larger ones get a hash set of member indices.
constexpr size_t kLinearKeyCheck = 16;

struct KeyHash {
  const std::vector<Member>* members;
  size_t operator()(size_t i) const { return std::hash<std::string_view>{}((*members)[i].key); }
};
struct KeyEq {
  const std::vector<Member>* members;
  bool operator()(size_t a, size_t b) const { return (*members)[a].key == (*members)[b].key; }
};
using KeySet = std::unordered_set<size_t, KeyHash, KeyEq>;

// Where a value being read lives: the root, an element waiting on the value
// scratch stack, or a member waiting on the member scratch stack.
struct Slot {
  enum Where : uint8_t { Root, Element, MemberValue } where = Root;
  size_t index = 0;
};

// An open array or object. Its elements or members collect on the scratch
// stacks from `start` on and move into the container, in one allocation of
// the exact size, when it closes.
struct Frame {
  Slot slot;
  bool isObject;
  size_t start;
  std::unique_ptr<KeySet> keys;  // only for large objects
};

class Parser {
 public:
  explicit Parser(std::string_view text) : p_(text.data()), size_(text.size()) {}

  std::expected<Value, ParseError> run();

 private:
  struct Failure {
    Error error;
    size_t offset;
  };

  bool atEnd() const { return pos_ >= size_; }
  unsigned char peek() const { return static_cast<unsigned char>(p_[pos_]); }
  void skipWhitespace() {
    while (pos_ < size_ && kWhitespace[static_cast<unsigned char>(p_[pos_])]) ++pos_;
  }

  void setFailure(Error e, size_t offset) {
    failure_.error = e;
    failure_.offset = offset;
  }
  // Reports the end of input when the text ran out, a syntax error otherwise.
  bool failHere() {
    if (atEnd()) {
      setFailure(Error::UnexpectedEndOfInput, size_);
    } else {
      setFailure(Error::SyntaxError, pos_);
    }
    return false;
  }

  bool parseString(std::string& out);
  bool parseEscape(std::string& out);
  bool readHex4(size_t offset, uint32_t& value) const;
  bool parseNumber(Value& v);
  bool parseLiteral(std::string_view word);
  bool checkNewKey(Frame& frame, size_t keyOffset);
  Value& at(Slot slot) {
    switch (slot.where) {
      case Slot::Element: return values_[slot.index];
      case Slot::MemberValue: return members_[slot.index].value;
      default: return root_;
    }
  }
  void close(Frame& frame);

  Value root_;
  std::vector<Value> values_;
  std::vector<Member> members_;
  const char* p_;
  size_t size_;
  size_t pos_ = 0;
  Failure failure_{Error::SyntaxError, 0};
};

bool Parser::readHex4(size_t offset, uint32_t& value) const {
  if (offset + 4 > size_) return false;
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) {
    int h = hexValue(static_cast<unsigned char>(p_[offset + i]));
    if (h < 0) return false;
    v = (v << 4) | static_cast<uint32_t>(h);
  }
  value = v;
  return true;
}

// At the byte after a backslash.
bool Parser::parseEscape(std::string& out) {
  if (atEnd()) return failHere();
  char c = p_[pos_];
  switch (c) {
    case '"': out.push_back('"'); break;
    case '\\': out.push_back('\\'); break;
    case '/': out.push_back('/'); break;
    case 'b': out.push_back('\b'); break;
    case 'f': out.push_back('\f'); break;
    case 'n': out.push_back('\n'); break;
    case 'r': out.push_back('\r'); break;
    case 't': out.push_back('\t'); break;
    case 'u': {
      ++pos_;
      uint32_t unit = 0;
      for (size_t i = 0; i < 4; ++i) {
        if (atEnd()) return failHere();
        int h = hexValue(peek());
        if (h < 0) return failHere();
        unit = (unit << 4) | static_cast<uint32_t>(h);
        ++pos_;
      }
      if (unit >= 0xD800 && unit <= 0xDBFF) {
        uint32_t low = 0;
        if (pos_ + 1 < size_ && p_[pos_] == '\\' && p_[pos_ + 1] == 'u' && readHex4(pos_ + 2, low) && low >= 0xDC00 &&
            low <= 0xDFFF) {
          pos_ += 6;
          appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        } else {
          // A high surrogate without its low half; whatever follows is read
          // on its own.
          appendUtf8(out, kReplacementCharacter);
        }
      } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
        appendUtf8(out, kReplacementCharacter);
      } else {
        appendUtf8(out, unit);
      }
      return true;
    }
    default:
      return failHere();
  }
  ++pos_;
  return true;
}

// At the opening double quote.
bool Parser::parseString(std::string& out) {
  ++pos_;
  size_t runStart = pos_;
  for (;;) {
    while (pos_ < size_ && !kStringStop[static_cast<unsigned char>(p_[pos_])]) ++pos_;
    if (atEnd()) return failHere();
    char c = p_[pos_];
    if (c == '"') {
      out.append(p_ + runStart, pos_ - runStart);
      ++pos_;
      return true;
    }
    if (c != '\\') return failHere();  // a raw control character
    out.append(p_ + runStart, pos_ - runStart);
    ++pos_;
    if (!parseEscape(out)) return false;
    runStart = pos_;
  }
}

bool Parser::parseLiteral(std::string_view word) {
  for (char expected : word) {
    if (atEnd() || p_[pos_] != expected) return failHere();
    ++pos_;
  }
  return true;
}

bool Parser::parseNumber(Value& v) {
  size_t start = pos_;
  bool negative = false;
  if (p_[pos_] == '-') {
    negative = true;
    ++pos_;
  }
  if (atEnd()) return failHere();
  unsigned char c = peek();
  uint64_t magnitude = 0;
  bool overflow = false;
  if (c == '0') {
    ++pos_;
  } else if (c >= '1' && c <= '9') {
    size_t digits = 0;
    while (pos_ < size_ && static_cast<unsigned>(peek() - '0') <= 9) {
      if (digits < 19) {
        magnitude = magnitude * 10 + static_cast<uint64_t>(peek() - '0');
      } else {
        overflow = true;
      }
      ++digits;
      ++pos_;
    }
  } else {
    return failHere();
  }

  bool isFloat = false;
  if (pos_ < size_ && p_[pos_] == '.') {
    isFloat = true;
    ++pos_;
    if (atEnd() || static_cast<unsigned>(peek() - '0') > 9) return failHere();
    while (pos_ < size_ && static_cast<unsigned>(peek() - '0') <= 9) ++pos_;
  }
  if (pos_ < size_ && (p_[pos_] == 'e' || p_[pos_] == 'E')) {
    isFloat = true;
    ++pos_;
    if (pos_ < size_ && (p_[pos_] == '+' || p_[pos_] == '-')) ++pos_;
    if (atEnd() || static_cast<unsigned>(peek() - '0') > 9) return failHere();
    while (pos_ < size_ && static_cast<unsigned>(peek() - '0') <= 9) ++pos_;
  }

  std::string_view source(p_ + start, pos_ - start);
  if (!isFloat) {
    constexpr uint64_t kMaxPositive = static_cast<uint64_t>(INT64_MAX);
    if (!overflow && (magnitude <= kMaxPositive || (negative && magnitude == kMaxPositive + 1))) {
      v.kind = Kind::Integer;
      v.integer = negative ? static_cast<int64_t>(~magnitude + 1) : static_cast<int64_t>(magnitude);
    } else {
      v.kind = Kind::NumberString;
      v.string.assign(source);
    }
    return true;
  }

  double d = 0.0;
  auto [end, ec] = std::from_chars(source.data(), source.data() + source.size(), d);
  if (ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: let strtod say which (infinity or
    // a value rounded toward zero).
    std::string copy(source);
    d = std::strtod(copy.c_str(), nullptr);
  } else if (ec != std::errc() || end != source.data() + source.size()) {
    setFailure(Error::SyntaxError, start);
    return false;
  }
  if (std::isfinite(d)) {
    v.kind = Kind::Float;
    v.number = d;
  } else {
    v.kind = Kind::NumberString;
    v.string.assign(source);
  }
  return true;
}

// The key just added as the last pending member must not repeat an earlier
// member of the same object.
bool Parser::checkNewKey(Frame& frame, size_t keyOffset) {
  size_t last = members_.size() - 1;
  if (!frame.keys) {
    const std::string& key = members_[last].key;
    for (size_t i = frame.start; i < last; ++i) {
      if (members_[i].key.size() == key.size() && members_[i].key == key) {
        setFailure(Error::DuplicateField, keyOffset);
        return false;
      }
    }
    if (last + 1 - frame.start == kLinearKeyCheck) {
      frame.keys = std::make_unique<KeySet>(kLinearKeyCheck * 4, KeyHash{&members_}, KeyEq{&members_});
      for (size_t i = frame.start; i <= last; ++i) frame.keys->insert(i);
    }
    return true;
  }
  if (!frame.keys->insert(last).second) {
    setFailure(Error::DuplicateField, keyOffset);
    return false;
  }
  return true;
}

void Parser::close(Frame& frame) {
  Value& container = at(frame.slot);
  if (frame.isObject) {
    size_t n = members_.size() - frame.start;
    if (n > 0) {
      container.object.reserve(n);
      container.object.insert(container.object.end(), std::make_move_iterator(members_.begin() + frame.start),
                              std::make_move_iterator(members_.end()));
      members_.erase(members_.begin() + frame.start, members_.end());
    }
  } else {
    size_t n = values_.size() - frame.start;
    if (n > 0) {
      container.array.reserve(n);
      container.array.insert(container.array.end(), std::make_move_iterator(values_.begin() + frame.start),
                             std::make_move_iterator(values_.end()));
      values_.erase(values_.begin() + frame.start, values_.end());
    }
  }
}

std::expected<Value, ParseError> Parser::run() {
  std::vector<Frame> stack;
  Slot target;

  auto makeError = [&]() {
    ParseError e;
    e.error = failure_.error;
    e.offset = failure_.offset;
    size_t line = 1;
    size_t lineStart = 0;
    for (size_t i = 0; i < failure_.offset; ++i) {
      if (p_[i] == '\n') {
        ++line;
        lineStart = i + 1;
      }
    }
    e.line = line;
    e.column = failure_.offset - lineStart + 1;
    return std::unexpected<ParseError>(e);
  };

  for (;;) {
    // Read one value into the target slot.
    skipWhitespace();
    if (atEnd()) {
      failHere();
      return makeError();
    }
    bool opened = false;
    bool ok = true;
    char c = p_[pos_];
    if (c == '{' || c == '[') {
      if (stack.size() >= kMaxDepth) {
        setFailure(Error::SyntaxError, pos_);
        return makeError();
      }
      bool isObject = c == '{';
      at(target).kind = isObject ? Kind::Object : Kind::Array;
      ++pos_;
      stack.push_back(Frame{target, isObject, isObject ? members_.size() : values_.size(), nullptr});
      opened = true;
    } else {
      Value& v = at(target);
      switch (c) {
        case '"':
          v.kind = Kind::String;
          ok = parseString(v.string);
          break;
        case 't':
          v.kind = Kind::Bool;
          v.boolean = true;
          ok = parseLiteral("true");
          break;
        case 'f':
          v.kind = Kind::Bool;
          ok = parseLiteral("false");
          break;
        case 'n':
          ok = parseLiteral("null");
          break;
        default:
          if (c == '-' || (c >= '0' && c <= '9')) {
            ok = parseNumber(v);
          } else {
            ok = failHere();
          }
          break;
      }
    }
    if (!ok) return makeError();

    // Close finished containers and find where the next value goes, or
    // finish with the root.
    bool needKey = false;
    bool needValue = false;
    bool first = opened;
    while (!needKey && !needValue) {
      if (stack.empty()) {
        skipWhitespace();
        if (!atEnd()) {
          setFailure(Error::SyntaxError, pos_);
          return makeError();
        }
        return std::move(root_);
      }
      Frame& top = stack.back();
      skipWhitespace();
      if (atEnd()) {
        failHere();
        return makeError();
      }
      char d = p_[pos_];
      if (d == (top.isObject ? '}' : ']')) {
        ++pos_;
        close(top);
        stack.pop_back();
      } else if (first || d == ',') {
        if (!first) ++pos_;
        if (top.isObject) {
          needKey = true;
        } else {
          values_.emplace_back();
          target = Slot{Slot::Element, values_.size() - 1};
          needValue = true;
        }
      } else {
        failHere();
        return makeError();
      }
      first = false;
    }
    if (needKey) {
      Frame& top = stack.back();
      skipWhitespace();
      if (atEnd() || p_[pos_] != '"') {
        failHere();
        return makeError();
      }
      size_t keyOffset = pos_;
      members_.emplace_back();
      if (!parseString(members_.back().key)) return makeError();
      if (!checkNewKey(top, keyOffset)) return makeError();
      skipWhitespace();
      if (atEnd() || p_[pos_] != ':') {
        failHere();
        return makeError();
      }
      ++pos_;
      target = Slot{Slot::MemberValue, members_.size() - 1};
    }
  }
}

}  // namespace

std::expected<Value, ParseError> parse(std::string_view text) {
  Parser parser(text);
  return parser.run();
}

Expected<Value> parseValue(std::string_view text) {
  auto parsed = parse(text);
  if (!parsed) return fail(parsed.error().error);
  return std::move(*parsed);
}

}  // namespace vyx::json
