#include "core/json.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_set>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vyx::json {

const Value* Value::get(std::string_view key) const {
  if (kind != Kind::Object) return nullptr;
  for (const Member& m : object) {
    if (m.key == key) return &m.value;
  }
  return nullptr;
}

void Value::set(std::string_view key, Value value) {
  for (Member& m : object) {
    if (m.key == key) {
      m.value = std::move(value);
      return;
    }
  }
  object.push_back(Member{std::string(key), std::move(value)});
}

namespace {

// Bytes that end a plain run inside a string: double quote, backslash and
// the control characters.
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

inline bool isDigit(char c) { return static_cast<unsigned char>(c - '0') <= 9; }

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

// Copies n bytes (sizeof(W) <= n <= 2 * sizeof(W)) as two word-sized loads
// and stores, the first and the last sizeof(W) bytes, which may overlap.
template <class W>
inline void copyEnds(char* to, const char* from, size_t n) {
  W head;
  W tail;
  std::memcpy(&head, from, sizeof(W));
  std::memcpy(&tail, from + n - sizeof(W), sizeof(W));
  std::memcpy(to, &head, sizeof(W));
  std::memcpy(to + n - sizeof(W), &tail, sizeof(W));
}

// Sets `out` to the n bytes at `from`, sparing short strings the library's
// general copy. Longer ones get a string of exactly their size. (The short
// path stays within the present capacity: when it has to reallocate,
// libstdc++ 12's resize_and_overwrite hands the operation the rounded-up
// capacity instead of n.)
inline void assignBytes(std::string& out, const char* from, size_t n) {
  if (n > 16 || n > out.capacity()) {
    out = std::string(from, n);
    return;
  }
  out.resize_and_overwrite(n, [from, n](char* to, size_t) {
    if (n >= 8) {
      copyEnds<uint64_t>(to, from, n);
    } else if (n >= 4) {
      copyEnds<uint32_t>(to, from, n);
    } else if (n > 0) {
      to[0] = from[0];
      to[n / 2] = from[n / 2];
      to[n - 1] = from[n - 1];
    }
    return n;
  });
}

// The first byte at or after `i` that ends a plain run of string bytes, or
// `size` when the text ends first.
inline size_t plainRunEnd(const char* p, size_t i, size_t size) {
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i lastControl = _mm_set1_epi8(0x1F);
  for (; i + 16 <= size; i += 16) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    // Unsigned x <= 0x1F exactly when min(x, 0x1F) == x.
    __m128i stops = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, quote), _mm_cmpeq_epi8(x, backslash)),
                                 _mm_cmpeq_epi8(_mm_min_epu8(x, lastControl), x));
    auto mask = static_cast<unsigned>(_mm_movemask_epi8(stops));
    if (mask != 0) return i + static_cast<size_t>(__builtin_ctz(mask));
  }
#endif
  while (i < size && !kStringStop[static_cast<unsigned char>(p[i])]) ++i;
  return i;
}

// Where, in a block of 64 bytes, the double quotes, the backslashes, and the
// commas and brackets are: bit i stands for byte i.
struct BlockMasks {
  uint64_t quotes = 0;
  uint64_t backslashes = 0;
  uint64_t structural = 0;
};

inline BlockMasks classifyBlock(const char* block) {
  BlockMasks m;
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i comma = _mm_set1_epi8(',');
  const __m128i bit5 = _mm_set1_epi8(0x20);
  // With bit 5 set, '[' and ']' read as '{' and '}'.
  const __m128i openBrace = _mm_set1_epi8('{');
  const __m128i closeBrace = _mm_set1_epi8('}');
  for (int k = 0; k < 4; ++k) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * k));
    __m128i folded = _mm_or_si128(x, bit5);
    __m128i structural = _mm_or_si128(_mm_cmpeq_epi8(x, comma), _mm_or_si128(_mm_cmpeq_epi8(folded, openBrace),
                                                                            _mm_cmpeq_epi8(folded, closeBrace)));
    int shift = 16 * k;
    m.quotes |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, quote)))) << shift;
    m.backslashes |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, backslash))))
                     << shift;
    m.structural |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(structural))) << shift;
  }
#else
  for (int i = 0; i < 64; ++i) {
    char c = block[i];
    uint64_t bit = uint64_t{1} << i;
    if (c == '"') m.quotes |= bit;
    if (c == '\\') m.backslashes |= bit;
    if (c == ',' || c == '[' || c == ']' || c == '{' || c == '}') m.structural |= bit;
  }
#endif
  return m;
}

// Bit i set when an odd number of the bits 0..i of x are set.
inline uint64_t prefixXor(uint64_t x) {
  x ^= x << 1;
  x ^= x << 2;
  x ^= x << 4;
  x ^= x << 8;
  x ^= x << 16;
  x ^= x << 32;
  return x;
}

// The first byte at or after `i` that is not white space, or `size`.
size_t whitespaceRunEnd(const char* p, size_t i, size_t size) {
#if defined(__SSE2__)
  const __m128i space = _mm_set1_epi8(' ');
  const __m128i newline = _mm_set1_epi8('\n');
  const __m128i tab = _mm_set1_epi8('\t');
  const __m128i carriageReturn = _mm_set1_epi8('\r');
  for (; i + 16 <= size; i += 16) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    __m128i white = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, space), _mm_cmpeq_epi8(x, newline)),
                                 _mm_or_si128(_mm_cmpeq_epi8(x, tab), _mm_cmpeq_epi8(x, carriageReturn)));
    auto mask = static_cast<unsigned>(_mm_movemask_epi8(white)) ^ 0xFFFFu;
    if (mask != 0) return i + static_cast<size_t>(__builtin_ctz(mask));
  }
#endif
  while (i < size && kWhitespace[static_cast<unsigned char>(p[i])]) ++i;
  return i;
}

// Whether n bytes (sizeof(W) <= n <= 2 * sizeof(W)) at a and at b are the
// same, compared as their first and last sizeof(W) bytes, which may overlap.
template <class W>
inline bool sameEnds(const char* a, const char* b, size_t n) {
  W a0, a1, b0, b1;
  std::memcpy(&a0, a, sizeof(W));
  std::memcpy(&b0, b, sizeof(W));
  std::memcpy(&a1, a + n - sizeof(W), sizeof(W));
  std::memcpy(&b1, b + n - sizeof(W), sizeof(W));
  return ((a0 ^ b0) | (a1 ^ b1)) == 0;
}

// Whether the n bytes at a and at b are the same; short runs are compared
// a word at a time.
inline bool sameBytes(const char* a, const char* b, size_t n) {
  if (n >= 8) {
    if (n > 16) return std::memcmp(a, b, n) == 0;
    return sameEnds<uint64_t>(a, b, n);
  }
  if (n >= 4) return sameEnds<uint32_t>(a, b, n);
  if (n == 0) return true;
  return a[0] == b[0] && a[n / 2] == b[n / 2] && a[n - 1] == b[n - 1];
}

// A quick first look over the text: for each array and object, in order of
// opening, how many elements or members it holds, so that the reader can give
// each container its storage once, at the exact size, and build it in place.
// It takes the text 64 bytes at a time and follows only quotes, escapes,
// commas and brackets. The reader checks the text itself; on text that is not
// valid JSON these figures may be wrong, which costs at most a reallocation or
// some unused room (never more than a valid text of that length could take).
// Counting stops, leaving later containers without a figure, where nesting
// passes the reader's limit.
class ElementCounter {
 public:
  ElementCounter(const char* p, size_t size, std::vector<uint32_t>& counts) : p_(p), size_(size), counts_(counts) {
    open_.reserve(64);
  }

  void run() {
    size_t i = 0;
    for (; i + 64 <= size_; i += 64) {
      if (!block(p_ + i, i)) return;
    }
    if (i < size_) {
      // The tail, padded with spaces.
      char last[64];
      std::memset(last, ' ', sizeof last);
      std::memcpy(last, p_ + i, size_ - i);
      block(last, i);
    }
    // Containers left open keep their comma count, a fair guess.
  }

 private:
  struct Open {
    uint32_t index;  // into counts_
    size_t offset;   // of the opening bracket
  };

  // The block at `data`, which holds the text from `offset` on; false to
  // stop counting.
  bool block(const char* data, size_t offset) {
    BlockMasks m = classifyBlock(data);
    uint64_t escaped = 0;
    if (m.backslashes != 0 || escapeCarry_) {
      // A backslash escapes the next byte unless it is escaped itself.
      // Outside strings backslashes are errors the reader reports, so
      // treating them alike here costs nothing.
      escaped = escapeCarry_ ? 1 : 0;
      escapeCarry_ = false;
      uint64_t b = m.backslashes;
      while (b != 0) {
        int at = __builtin_ctzll(b);
        b &= b - 1;
        uint64_t bit = uint64_t{1} << at;
        if ((escaped & bit) != 0) continue;
        if (at == 63) {
          escapeCarry_ = true;
        } else {
          escaped |= bit << 1;
        }
      }
    }
    uint64_t quotes = m.quotes & ~escaped;
    // Bytes from an opening quote up to (not including) its closing quote.
    uint64_t inString = prefixXor(quotes) ^ (inStringCarry_ ? ~uint64_t{0} : 0);
    inStringCarry_ = (inString >> 63) != 0;
    uint64_t structural = m.structural & ~inString;
    while (structural != 0) {
      int at = __builtin_ctzll(structural);
      structural &= structural - 1;
      switch (data[at]) {
        case ',':
          if (!open_.empty()) ++counts_[open_.back().index];
          break;
        case '[':
        case '{':
          if (open_.size() >= kMaxDepth) return false;
          open_.push_back(Open{static_cast<uint32_t>(counts_.size()), offset + static_cast<size_t>(at)});
          counts_.push_back(0);
          break;
        default:  // ']' or '}'
          if (!open_.empty()) {
            Open o = open_.back();
            open_.pop_back();
            uint32_t& n = counts_[o.index];
            // n commas separate n + 1 elements; without commas there is one
            // element unless only white space lies between the brackets.
            if (n > 0 || !onlyWhitespace(o.offset + 1, offset + static_cast<size_t>(at))) ++n;
          }
          break;
      }
    }
    return true;
  }

  bool onlyWhitespace(size_t from, size_t to) const {
    for (size_t i = from; i < to; ++i) {
      if (!kWhitespace[static_cast<unsigned char>(p_[i])]) return false;
    }
    return true;
  }

  const char* p_;
  size_t size_;
  std::vector<uint32_t>& counts_;
  std::vector<Open> open_;
  bool escapeCarry_ = false;
  bool inStringCarry_ = false;
};

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

// An open array or object. It is filled in place: it lives in its parent's
// storage, which does not change while it is open.
struct Frame {
  Value* container;
  bool isObject;
  bool handedOut;                // the sink's array: holds one element at a time
  std::unique_ptr<KeySet> keys;  // only for large objects
};

// Skips white space from `pos`.
[[gnu::always_inline]] inline void skipWhitespace(const char* p, size_t& pos, size_t size) {
  // Most often there is none, or one space.
  if (pos >= size || static_cast<unsigned char>(p[pos]) > ' ') return;
  if (pos + 1 < size && static_cast<unsigned char>(p[pos + 1]) > ' ') {
    if (kWhitespace[static_cast<unsigned char>(p[pos])]) ++pos;
    return;
  }
  pos = whitespaceRunEnd(p, pos, size);
}

// Reads the text in one go. The hot paths keep the position in a local
// variable (stores into strings may alias any member, locals they cannot);
// the rare ones (escapes, errors) work on `pos_`.
class Parser {
 public:
  Parser(std::string_view text, const ElementSink* sink) : sink_(sink), p_(text.data()), size_(text.size()) {}

  std::expected<Value, ParseError> run();

 private:
  struct Failure {
    Error error;
    size_t offset;
  };

  bool atEnd() const { return pos_ >= size_; }
  unsigned char peek() const { return static_cast<unsigned char>(p_[pos_]); }

  void setFailure(Error e, size_t offset) {
    failure_.error = e;
    failure_.offset = offset;
  }
  // Reports the end of input when the text ran out at `at`, a syntax error
  // otherwise.
  bool failAt(size_t at) {
    if (at >= size_) {
      setFailure(Error::UnexpectedEndOfInput, size_);
    } else {
      setFailure(Error::SyntaxError, at);
    }
    return false;
  }
  bool failHere() { return failAt(pos_); }

  bool parseString(std::string& out, size_t& pos);
  bool parseEscapedString(std::string& out, size_t runStart, size_t& pos);
  bool parseEscape(std::string& out);
  bool readHex4(size_t offset, uint32_t& value) const;
  bool parseNumber(Value& v, size_t& pos);
  bool parseLiteral(std::string_view word, size_t& pos);
  bool parseMemberKey(Frame& frame, size_t& pos);
  bool checkNewKey(Frame& frame, size_t keyOffset);
  void startKeySet(Frame& frame);
  // How many elements the container opened next holds, or 0 when unknown.
  size_t nextCount() { return nextCount_ < counts_.size() ? counts_[nextCount_++] : 0; }
  std::unexpected<ParseError> makeError() const;
  // Whether the array being opened at `v`, with `depth` containers open, is
  // the sink's.
  bool isSinkArray(const Value& v, size_t depth) const {
    return sink_ != nullptr && depth == 1 && root_.kind == Kind::Object && &root_.object.back().value == &v &&
           root_.object.back().key == sink_->rootKey;
  }

  const ElementSink* sink_;
  Value root_;
  std::vector<uint32_t> counts_;
  size_t nextCount_ = 0;
  const char* const p_;
  const size_t size_;
  size_t pos_ = 0;  // for the rare paths
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

// At the byte after a backslash, at pos_.
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

// At the opening double quote. Strings without escapes (nearly all) are
// copied in one piece.
[[gnu::always_inline]] inline bool Parser::parseString(std::string& out, size_t& pos) {
  size_t start = pos + 1;
  size_t end = plainRunEnd(p_, start, size_);
  if (end < size_ && p_[end] == '"') {
    assignBytes(out, p_ + start, end - start);
    pos = end + 1;
    return true;
  }
  pos = end;
  return parseEscapedString(out, start, pos);
}

// Inside a string at `pos`, the byte that ended the plain run from
// `runStart`.
bool Parser::parseEscapedString(std::string& out, size_t runStart, size_t& pos) {
  pos_ = pos;
  for (;;) {
    if (atEnd()) return failHere();
    char c = p_[pos_];
    if (c == '"') {
      out.append(p_ + runStart, pos_ - runStart);
      pos = ++pos_;
      return true;
    }
    if (c != '\\') return failHere();  // a raw control character
    out.append(p_ + runStart, pos_ - runStart);
    ++pos_;
    if (!parseEscape(out)) return false;
    runStart = pos_;
    pos_ = plainRunEnd(p_, pos_, size_);
  }
}

inline bool Parser::parseLiteral(std::string_view word, size_t& pos) {
  if (size_ - pos >= word.size() && std::memcmp(p_ + pos, word.data(), word.size()) == 0) {
    pos += word.size();
    return true;
  }
  for (char expected : word) {
    if (pos >= size_ || p_[pos] != expected) return failAt(pos);
    ++pos;
  }
  return true;
}

inline bool Parser::parseNumber(Value& v, size_t& position) {
  const char* p = p_;
  const size_t size = size_;
  const size_t start = position;
  size_t pos = start;
  bool negative = p[pos] == '-';
  if (negative) ++pos;
  if (pos >= size) return failAt(pos);
  uint64_t magnitude = 0;
  bool overflow = false;
  if (p[pos] == '0') {
    ++pos;
  } else if (isDigit(p[pos])) {
    size_t digitsStart = pos;
    while (pos < size && isDigit(p[pos])) {
      magnitude = magnitude * 10 + static_cast<uint64_t>(p[pos] - '0');
      ++pos;
    }
    // Nineteen digits always fit in 64 bits; more make a number string.
    overflow = pos - digitsStart > 19;
  } else {
    return failAt(pos);
  }

  bool isFloat = false;
  if (pos < size && p[pos] == '.') {
    isFloat = true;
    ++pos;
    if (pos >= size || !isDigit(p[pos])) return failAt(pos);
    while (pos < size && isDigit(p[pos])) ++pos;
  }
  if (pos < size && (p[pos] == 'e' || p[pos] == 'E')) {
    isFloat = true;
    ++pos;
    if (pos < size && (p[pos] == '+' || p[pos] == '-')) ++pos;
    if (pos >= size || !isDigit(p[pos])) return failAt(pos);
    while (pos < size && isDigit(p[pos])) ++pos;
  }
  position = pos;

  std::string_view source(p + start, pos - start);
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

// Where a key is due in the open object: reads it and the colon after it,
// adding a member whose value is to be read next.
[[gnu::always_inline]] inline bool Parser::parseMemberKey(Frame& frame, size_t& pos) {
  const char* p = p_;
  const size_t size = size_;
  skipWhitespace(p, pos, size);
  if (pos >= size || p[pos] != '"') return failAt(pos);
  size_t keyOffset = pos;
  std::vector<Member>& members = frame.container->object;
  size_t start = pos + 1;
  size_t end = plainRunEnd(p, start, size);
  if (end < size && p[end] == '"' && !frame.keys) [[likely]] {
    // A plain key in a small object: check it against the others as it
    // stands in the text.
    size_t n = end - start;
    for (const Member& other : members) {
      if (other.key.size() == n && sameBytes(other.key.data(), p + start, n)) {
        setFailure(Error::DuplicateField, keyOffset);
        return false;
      }
    }
    assignBytes(members.emplace_back().key, p + start, n);
    pos = end + 1;
    if (members.size() == kLinearKeyCheck) startKeySet(frame);
  } else {
    Member& member = members.emplace_back();
    if (!parseString(member.key, pos)) return false;
    if (!checkNewKey(frame, keyOffset)) return false;
  }
  skipWhitespace(p, pos, size);
  if (pos >= size || p[pos] != ':') return failAt(pos);
  ++pos;
  return true;
}

// Larger objects look keys up in a hash set of member indices.
void Parser::startKeySet(Frame& frame) {
  std::vector<Member>& members = frame.container->object;
  frame.keys = std::make_unique<KeySet>(kLinearKeyCheck * 4, KeyHash{&members}, KeyEq{&members});
  for (size_t i = 0; i < members.size(); ++i) frame.keys->insert(i);
}

// The key just added as the object's last member must not repeat an
// earlier one.
bool Parser::checkNewKey(Frame& frame, size_t keyOffset) {
  std::vector<Member>& members = frame.container->object;
  size_t last = members.size() - 1;
  if (!frame.keys) {
    std::string_view key = members[last].key;
    for (size_t i = 0; i < last; ++i) {
      const std::string& other = members[i].key;
      if (other.size() == key.size() && sameBytes(other.data(), key.data(), key.size())) {
        setFailure(Error::DuplicateField, keyOffset);
        return false;
      }
    }
    if (last + 1 == kLinearKeyCheck) startKeySet(frame);
    return true;
  }
  if (!frame.keys->insert(last).second) {
    setFailure(Error::DuplicateField, keyOffset);
    return false;
  }
  return true;
}

std::unexpected<ParseError> Parser::makeError() const {
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
}

std::expected<Value, ParseError> Parser::run() {
  if (size_ <= UINT32_MAX) {
    // Room for a container per 32 bytes, which is more than most texts hold.
    counts_.reserve(size_ / 32 + 8);
    ElementCounter(p_, size_, counts_).run();
  }

  const char* const p = p_;
  const size_t size = size_;
  size_t pos = 0;
  std::vector<Frame> stack;
  stack.reserve(16);
  Value* target = &root_;
  for (;;) {
    // Read one value into the target; an array or object is opened and its
    // first element or member becomes the target.
    skipWhitespace(p, pos, size);
    if (pos >= size) {
      failAt(pos);
      return makeError();
    }
    Value& v = *target;
    char c = p[pos];
    bool ok = true;
    switch (c) {
      case '"':
        v.kind = Kind::String;
        ok = parseString(v.string, pos);
        break;
      case '{':
      case '[': {
        if (stack.size() >= kMaxDepth) {
          setFailure(Error::SyntaxError, pos);
          return makeError();
        }
        bool isObject = c == '{';
        size_t count = nextCount();
        bool handedOut = !isObject && isSinkArray(v, stack.size());
        ++pos;
        if (isObject) {
          v.kind = Kind::Object;
          v.object.reserve(count);
        } else {
          v.kind = Kind::Array;
          v.array.reserve(handedOut ? 1 : count);
        }
        stack.push_back(Frame{&v, isObject, handedOut, nullptr});
        skipWhitespace(p, pos, size);
        if (pos >= size) {
          failAt(pos);
          return makeError();
        }
        if (p[pos] == (isObject ? '}' : ']')) {
          ++pos;
          stack.pop_back();
          break;
        }
        if (isObject) {
          if (!parseMemberKey(stack.back(), pos)) return makeError();
          target = &v.object.back().value;
        } else {
          target = &v.array.emplace_back();
        }
        continue;
      }
      case 't':
        v.kind = Kind::Bool;
        v.boolean = true;
        ok = parseLiteral("true", pos);
        break;
      case 'f':
        v.kind = Kind::Bool;
        ok = parseLiteral("false", pos);
        break;
      case 'n':
        ok = parseLiteral("null", pos);
        break;
      default:
        if (c == '-' || isDigit(c)) {
          ok = parseNumber(v, pos);
        } else {
          ok = failAt(pos);
        }
        break;
    }
    if (!ok) return makeError();

    // A value is complete: close finished containers until one goes on,
    // or finish with the root.
    for (;;) {
      if (stack.empty()) {
        skipWhitespace(p, pos, size);
        if (pos < size) {
          setFailure(Error::SyntaxError, pos);
          return makeError();
        }
        return std::move(root_);
      }
      Frame& top = stack.back();
      if (top.handedOut) {
        sink_->onElement(std::move(top.container->array.back()));
        top.container->array.clear();
      }
      skipWhitespace(p, pos, size);
      if (pos >= size) {
        failAt(pos);
        return makeError();
      }
      char d = p[pos];
      if (d == ',') {
        ++pos;
        if (top.isObject) {
          if (!parseMemberKey(top, pos)) return makeError();
          target = &top.container->object.back().value;
        } else {
          target = &top.container->array.emplace_back();
        }
        break;
      }
      if (d != (top.isObject ? '}' : ']')) {
        failAt(pos);
        return makeError();
      }
      ++pos;
      stack.pop_back();
    }
  }
}

}  // namespace

std::expected<Value, ParseError> parse(std::string_view text) {
  Parser parser(text, nullptr);
  return parser.run();
}

std::expected<Value, ParseError> parse(std::string_view text, const ElementSink& sink) {
  Parser parser(text, &sink);
  return parser.run();
}

Expected<Value> parseValue(std::string_view text) {
  auto parsed = parse(text);
  if (!parsed) return fail(parsed.error().error);
  return std::move(*parsed);
}

}  // namespace vyx::json
