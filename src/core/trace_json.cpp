#include "core/trace_json.hpp"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#include "core/text.hpp"

namespace vyx::trace_json {

namespace {

// Collects small pieces in front of a Writer so that a document made of many
// short strings and punctuation reaches the writer in few large writes.
// Hooks write through it as a Writer.
class Sink final : public Writer {
 public:
  explicit Sink(Writer& w) : w_(w) {}
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;

  Status writeAll(std::string_view bytes) override { return put(bytes); }

  Status put(std::string_view s) {
    if (s.size() > kCapacity - len_) {
      VYX_TRY(flush());
      if (s.size() >= kCapacity) return w_.writeAll(s);
    }
    std::memcpy(buf_ + len_, s.data(), s.size());
    len_ += s.size();
    return {};
  }

  Status putByte(char c) {
    if (len_ == kCapacity) {
      VYX_TRY(flush());
    }
    buf_[len_++] = c;
    return {};
  }

  Status flush() {
    if (len_ == 0) return {};
    size_t n = len_;
    len_ = 0;
    return w_.writeAll(std::string_view(buf_, n));
  }

 private:
  static constexpr size_t kCapacity = 4096;
  Writer& w_;
  size_t len_ = 0;
  char buf_[kCapacity];
};

// The bytes the string writer does not copy as they are: those it escapes
// (below 0x20, the double quote, the backslash) and those of 0x80 and above,
// which start a UTF-8 sequence to check.
constexpr auto kNeedsWork = [] {
  std::array<bool, 256> t{};
  for (int c = 0; c < 0x20; ++c) t[static_cast<size_t>(c)] = true;
  t['"'] = true;
  t['\\'] = true;
  for (int c = 0x80; c < 0x100; ++c) t[static_cast<size_t>(c)] = true;
  return t;
}();

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

constexpr uint64_t kEachByte = 0x0101010101010101u;
constexpr uint64_t kHighBits = 0x8080808080808080u;

// Whether one of eight bytes is 0x80 or above, or (with `escapes`) one the
// string writer escapes. Borrows only run upward from a byte that matches,
// so a word without one is never flagged.
template <bool escapes>
inline bool anyNeedsWork(uint64_t x) {
  uint64_t flagged = x;
  if constexpr (escapes) {
    uint64_t quote = x ^ (kEachByte * '"');
    uint64_t backslash = x ^ (kEachByte * '\\');
    flagged |= ((x - kEachByte * 0x20) & ~x) | ((quote - kEachByte) & ~quote) | ((backslash - kEachByte) & ~backslash);
  }
  return (flagged & kHighBits) != 0;
}

// The first byte at or after p that is not copied as it is, or end: eight
// bytes at a time, then byte by byte.
template <bool escapes>
inline const unsigned char* skipPlain(const unsigned char* p, const unsigned char* end) {
  while (end - p >= 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    if (anyNeedsWork<escapes>(word)) break;
    p += 8;
  }
  if constexpr (escapes) {
    while (p < end && !kNeedsWork[*p]) ++p;
  } else {
    while (p < end && *p < 0x80) ++p;
  }
  return p;
}

// How many bytes from p (a byte of 0x80 or above) form one well-formed UTF-8
// sequence, as Unicode defines it: no overlong forms, no surrogates (ED A0
// to ED BF), nothing above U+10FFFF (F4 90 and up, F5 to FF), nothing cut
// short. Otherwise `valid` is false and the length is that of the maximal
// subpart at p, the longest start of a well-formed sequence found there and
// at least the one byte; the writer puts one U+FFFD in its place and goes on
// after it. So E1 80 41 becomes U+FFFD "A", and C0 AF becomes two U+FFFD.
struct Utf8Sequence {
  size_t length;
  bool valid;
};

inline Utf8Sequence checkUtf8(const unsigned char* p, const unsigned char* end) {
  const unsigned char lead = p[0];
  size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead < 0xC2) return {1, false};  // a continuation byte, or C0/C1 (always overlong)
  if (lead < 0xE0) {
    length = 2;
  } else if (lead < 0xF0) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong below U+0800
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead < 0xF5) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong below U+10000
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return {1, false};
  }
  const auto available = static_cast<size_t>(end - p);
  if (available < 2 || p[1] < low || p[1] > high) return {1, false};
  for (size_t i = 2; i < length; ++i) {
    if (i >= available || (p[i] & 0xC0) != 0x80) return {i, false};
  }
  return {length, true};
}

Status putEscape(Sink& s, unsigned char c) {
  switch (c) {
    case '\t': return s.put("\\t");
    case '\n': return s.put("\\n");
    case '\r': return s.put("\\r");
    case '"': return s.put("\\\"");
    case '\\': return s.put("\\\\");
    default: {
      static constexpr char kHex[] = "0123456789abcdef";
      char esc[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
      return s.put(std::string_view(esc, 6));
    }
  }
}

// Writes the bytes with every ill-formed UTF-8 subpart replaced; with
// `escapes`, the bytes JSON needs escaped are escaped. Runs that need
// nothing reach the sink in one piece.
template <bool escapes>
Status putText(Sink& s, std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const unsigned char* end = p + bytes.size();
  const unsigned char* run = p;
  auto flushRun = [&]() -> Status {
    if (p == run) return {};
    return s.put(std::string_view(reinterpret_cast<const char*>(run), static_cast<size_t>(p - run)));
  };
  for (;;) {
    p = skipPlain<escapes>(p, end);
    if (p == end) break;
    if (*p < 0x80) {
      VYX_TRY(flushRun());
      VYX_TRY(putEscape(s, *p));
      run = ++p;
      continue;
    }
    // Non-ASCII text tends to come in stretches: check them in one go.
    do {
      Utf8Sequence sequence = checkUtf8(p, end);
      if (!sequence.valid) {
        VYX_TRY(flushRun());
        VYX_TRY(s.put(kReplacementCharacter));
        run = p + sequence.length;
      }
      p += sequence.length;
    } while (p < end && *p >= 0x80);
  }
  return flushRun();
}

Status putStringContent(Sink& s, std::string_view bytes) { return putText<true>(s, bytes); }

Status putString(Sink& s, std::string_view bytes) {
  VYX_TRY(s.putByte('"'));
  VYX_TRY(putStringContent(s, bytes));
  return s.putByte('"');
}

// Longest fixed-notation double: 309 integer digits, or "0." and 324
// fraction digits, plus a sign.
constexpr size_t kFloatBuffer = 400;

std::string_view formatFloat(double value, char (&buf)[kFloatBuffer]) {
  // JSON has no spelling for these; null is the one value a reader accepts.
  if (!std::isfinite(value)) return "null";
  auto [end, ec] = std::to_chars(buf, buf + kFloatBuffer, value, std::chars_format::fixed);
  if (ec != std::errc()) return "null";
  return std::string_view(buf, static_cast<size_t>(end - buf));
}

// Kept out of line so the recursive writer's frames stay small.
[[gnu::noinline]] Status putFloat(Sink& s, double value) {
  char buf[kFloatBuffer];
  return s.put(formatFloat(value, buf));
}

Status putInteger(Sink& s, int64_t value) {
  char buf[24];
  auto [end, ec] = std::to_chars(buf, buf + sizeof(buf), value);
  (void)ec;
  return s.put(std::string_view(buf, static_cast<size_t>(end - buf)));
}

constexpr std::string_view kSensitiveKeyWords[] = {"password", "token",  "secret", "authorization", "auth",
                                                   "cookie",   "apikey", "api_key", "bearer"};

// For each byte, the words (as bits of kSensitiveKeyWords) that begin with
// it in either letter case.
constexpr auto kWordsStartingWith = [] {
  std::array<uint16_t, 256> t{};
  for (size_t w = 0; w < std::size(kSensitiveKeyWords); ++w) {
    auto c = static_cast<unsigned char>(kSensitiveKeyWords[w][0]);
    t[c] = static_cast<uint16_t>(t[c] | (1u << w));
    t[c - 32] = static_cast<uint16_t>(t[c - 32] | (1u << w));
  }
  return t;
}();

// Whether any of the words occurs in the key: one pass over the key, trying
// only the words that begin with each byte.
bool isSensitiveKey(std::string_view key) {
  for (size_t i = 0; i < key.size(); ++i) {
    unsigned words = kWordsStartingWith[static_cast<unsigned char>(key[i])];
    while (words != 0) {
      std::string_view word = kSensitiveKeyWords[std::countr_zero(words)];
      words &= words - 1;
      if (key.size() - i < word.size()) continue;
      size_t j = 1;
      while (j < word.size() && text::asciiLower(key[i + j]) == word[j]) ++j;
      if (j == word.size()) return true;
    }
  }
  return false;
}

bool matchesDenylist(std::string_view value, const TextRules& rules) {
  for (const std::string& deny : rules.denylistText) {
    if (deny.empty() || deny.size() > value.size()) continue;
    if (!text::containsAsciiFolded(value, deny)) continue;
    for (const std::string& allow : rules.allowlistText) {
      if (!allow.empty() && text::containsAsciiFolded(value, allow)) return false;
    }
    return true;
  }
  return false;
}

// Two full stops with at least one byte after the second, in 40 bytes or more.
bool looksLikeSignedToken(std::string_view value) {
  if (value.size() < 40) return false;
  size_t first = value.find('.');
  if (first == std::string_view::npos) return false;
  size_t second = value.find('.', first + 1);
  return second != std::string_view::npos && second + 1 < value.size();
}

bool looksLikeEmail(std::string_view value) {
  if (value.size() < 5 || value.size() > 254) return false;
  if (value.find_first_of(" \t\n\r<>") != std::string_view::npos) return false;
  size_t at = value.find('@');
  if (at == std::string_view::npos || at == 0 || at + 3 >= value.size()) return false;
  return value.find('.', at + 1) != std::string_view::npos;
}

Status putRedactedString(Sink& s, bool secret, std::string_view value, const TextRules& rules) {
  if (secret) return s.put("\"[REDACTED:secret]\"");
  if (matchesDenylist(value, rules)) return s.put("\"[REDACTED:custom]\"");
  if (value.size() >= 7 && text::containsAsciiFolded(value, "bearer ")) return s.put("\"[REDACTED:token]\"");
  if (looksLikeSignedToken(value)) return s.put("\"[REDACTED:token]\"");
  if (looksLikeEmail(value)) return s.put("\"[REDACTED:email]\"");
  return putString(s, value);
}

// Writes a value compact, its strings and member names through the hooks
// when there are any, as they stand otherwise.
Status putValue(Sink& s, const json::Value& value, std::optional<std::string_view> key, ValueHooks* hooks) {
  switch (value.kind) {
    case json::Kind::Null:
      return s.put("null");
    case json::Kind::Bool:
      return s.put(value.boolean ? "true" : "false");
    case json::Kind::Integer:
      return putInteger(s, value.integer);
    case json::Kind::Float:
      return putFloat(s, value.number);
    case json::Kind::NumberString:
      return s.put(value.string);
    case json::Kind::String:
      if (hooks == nullptr) return putString(s, value.string);
      return hooks->string(s, value.string, key);
    case json::Kind::Array: {
      VYX_TRY(s.putByte('['));
      bool firstElement = true;
      for (const json::Value& element : value.array) {
        if (!firstElement) VYX_TRY(s.putByte(','));
        firstElement = false;
        VYX_TRY(putValue(s, element, key, hooks));
      }
      return s.putByte(']');
    }
    case json::Kind::Object: {
      VYX_TRY(s.putByte('{'));
      std::vector<std::string> names;
      if (hooks != nullptr) hooks->memberNames(value, names);
      for (size_t i = 0; i < value.object.size(); ++i) {
        const json::Member& member = value.object[i];
        if (i > 0) VYX_TRY(s.putByte(','));
        VYX_TRY(putString(s, names.empty() ? std::string_view(member.key) : std::string_view(names[i])));
        VYX_TRY(s.putByte(':'));
        VYX_TRY(putValue(s, member.value, std::string_view(member.key), hooks));
      }
      return s.putByte('}');
    }
  }
  return {};
}

// Every string through the configuration's text rules, a string under a
// sensitive key as the secret marker.
class RuleHooks final : public ValueHooks {
 public:
  explicit RuleHooks(const TextRules& rules) : rules_(rules) {}
  // Strings are only ever written into the Sink that putValue holds.
  Status string(Writer& w, std::string_view value, std::optional<std::string_view> key) override {
    return putRedactedString(static_cast<Sink&>(w), key && isSensitiveKey(*key), value, rules_);
  }

 private:
  const TextRules& rules_;
};

}  // namespace

Status writeJsonString(Writer& w, std::string_view bytes) {
  Sink s(w);
  VYX_TRY(putString(s, bytes));
  return s.flush();
}

Status writeJsonStringContent(Writer& w, std::string_view bytes) {
  Sink s(w);
  VYX_TRY(putStringContent(s, bytes));
  return s.flush();
}

Status writeValidUtf8(Writer& w, std::string_view bytes) {
  if (isValidUtf8(bytes)) return w.writeAll(bytes);
  Sink s(w);
  VYX_TRY(putText<false>(s, bytes));
  return s.flush();
}

bool isValidUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const unsigned char* end = p + bytes.size();
  for (;;) {
    p = skipPlain<false>(p, end);
    if (p == end) return true;
    Utf8Sequence sequence = checkUtf8(p, end);
    if (!sequence.valid) return false;
    p += sequence.length;
  }
}

Status writeFloat(Writer& w, double value) {
  char buf[kFloatBuffer];
  return w.writeAll(formatFloat(value, buf));
}

Status writeRedactedJsonStringForKeyWithRules(Writer& w, std::string_view key, std::string_view value, bool force,
                                              const TextRules& rules) {
  Sink s(w);
  VYX_TRY(putRedactedString(s, force || isSensitiveKey(key), value, rules));
  return s.flush();
}

Status writeJsonValueRedacted(Writer& w, const json::Value& value, std::string_view key, const TextRules& rules) {
  RuleHooks hooks(rules);
  return writeJsonValue(w, value, hooks, key);
}

Status writeJsonValue(Writer& w, const json::Value& value) {
  Sink s(w);
  VYX_TRY(putValue(s, value, std::nullopt, nullptr));
  return s.flush();
}

Status ValueHooks::string(Writer& w, std::string_view value, std::optional<std::string_view>) {
  return writeJsonString(w, value);
}

void ValueHooks::memberNames(const json::Value&, std::vector<std::string>&) {}

Status writeJsonValue(Writer& w, const json::Value& value, ValueHooks& hooks, std::optional<std::string_view> key) {
  Sink s(w);
  VYX_TRY(putValue(s, value, key, &hooks));
  return s.flush();
}

}  // namespace vyx::trace_json

namespace vyx::trace_json {

bool isSensitiveKeyName(std::string_view key) { return isSensitiveKey(key); }


bool looksLikeDottedToken(std::string_view value) { return looksLikeSignedToken(value); }

}  // namespace vyx::trace_json
