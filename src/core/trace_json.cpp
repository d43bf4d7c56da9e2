#include "core/trace_json.hpp"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace vyx::trace_json {

namespace {

// Collects small pieces in front of a Writer so that a document made of many
// short strings and punctuation reaches the writer in few large writes.
class Sink {
 public:
  explicit Sink(Writer& w) : w_(w) {}
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;

  Status put(std::string_view s) {
    if (s.size() > kCapacity - len_) {
      if (auto st = flush(); !st) return st;
      if (s.size() >= kCapacity) return w_.writeAll(s);
    }
    std::memcpy(buf_ + len_, s.data(), s.size());
    len_ += s.size();
    return {};
  }

  Status putByte(char c) {
    if (len_ == kCapacity) {
      if (auto st = flush(); !st) return st;
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

constexpr auto kNeedsEscape = [] {
  std::array<uint8_t, 256> t{};
  for (int c = 0; c < 0x20; ++c) t[static_cast<size_t>(c)] = 1;
  t['"'] = 1;
  t['\\'] = 1;
  return t;
}();

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

Status putStringContent(Sink& s, std::string_view bytes) {
  const char* p = bytes.data();
  const char* end = p + bytes.size();
  const char* run = p;
  while (p < end) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (!kNeedsEscape[c]) {
      ++p;
      continue;
    }
    if (p > run) VYX_TRY(s.put(std::string_view(run, static_cast<size_t>(p - run))));
    VYX_TRY(putEscape(s, c));
    run = ++p;
  }
  if (p > run) VYX_TRY(s.put(std::string_view(run, static_cast<size_t>(p - run))));
  return {};
}

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

inline unsigned char fold(char c) {
  auto u = static_cast<unsigned char>(c);
  return static_cast<unsigned>(u - 'A') < 26u ? static_cast<unsigned char>(u + 32) : u;
}

// Substring test with ASCII-only case folding on both sides.
bool containsFolded(std::string_view hay, std::string_view needle) {
  if (needle.empty()) return true;
  if (needle.size() > hay.size()) return false;
  unsigned char first = fold(needle[0]);
  size_t last = hay.size() - needle.size();
  for (size_t i = 0; i <= last; ++i) {
    if (fold(hay[i]) != first) continue;
    size_t j = 1;
    while (j < needle.size() && fold(hay[i + j]) == fold(needle[j])) ++j;
    if (j == needle.size()) return true;
  }
  return false;
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
      while (j < word.size() && fold(key[i + j]) == static_cast<unsigned char>(word[j])) ++j;
      if (j == word.size()) return true;
    }
  }
  return false;
}

bool matchesDenylist(std::string_view value, const TextRules& rules) {
  for (const std::string& deny : rules.denylistText) {
    if (deny.empty() || deny.size() > value.size()) continue;
    if (!containsFolded(value, deny)) continue;
    for (const std::string& allow : rules.allowlistText) {
      if (!allow.empty() && containsFolded(value, allow)) return false;
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
  if (value.size() >= 7 && containsFolded(value, "bearer ")) return s.put("\"[REDACTED:token]\"");
  if (looksLikeSignedToken(value)) return s.put("\"[REDACTED:token]\"");
  if (looksLikeEmail(value)) return s.put("\"[REDACTED:email]\"");
  return putString(s, value);
}

// Writes a value compact. With rules, every string goes through the
// redaction rules under `secretKey` (whether the key it belongs to is
// sensitive); without, strings are written as they are.
Status putValue(Sink& s, const json::Value& value, bool secretKey, const TextRules* rules) {
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
      if (rules == nullptr) return putString(s, value.string);
      return putRedactedString(s, secretKey, value.string, *rules);
    case json::Kind::Array: {
      VYX_TRY(s.putByte('['));
      bool firstElement = true;
      for (const json::Value& element : value.array) {
        if (!firstElement) VYX_TRY(s.putByte(','));
        firstElement = false;
        VYX_TRY(putValue(s, element, secretKey, rules));
      }
      return s.putByte(']');
    }
    case json::Kind::Object: {
      VYX_TRY(s.putByte('{'));
      bool firstMember = true;
      for (const json::Member& member : value.object) {
        if (!firstMember) VYX_TRY(s.putByte(','));
        firstMember = false;
        VYX_TRY(putString(s, member.key));
        VYX_TRY(s.putByte(':'));
        bool secret = rules != nullptr && isSensitiveKey(member.key);
        VYX_TRY(putValue(s, member.value, secret, rules));
      }
      return s.putByte('}');
    }
  }
  return {};
}

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
  Sink s(w);
  VYX_TRY(putValue(s, value, isSensitiveKey(key), &rules));
  return s.flush();
}

Status writeJsonValue(Writer& w, const json::Value& value) {
  Sink s(w);
  VYX_TRY(putValue(s, value, false, nullptr));
  return s.flush();
}

}  // namespace vyx::trace_json

namespace vyx::trace_json {

bool isSensitiveKeyName(std::string_view key) { return isSensitiveKey(key); }

bool containsAsciiFolded(std::string_view haystack, std::string_view needle) {
  return containsFolded(haystack, needle);
}

bool looksLikeDottedToken(std::string_view value) { return looksLikeSignedToken(value); }

}  // namespace vyx::trace_json
