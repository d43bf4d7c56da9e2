#include "reports/bundle_redaction.hpp"

#include <array>
#include <cstring>
#include <unordered_set>

#include "core/text.hpp"
#include "core/trace_json.hpp"

namespace vyx::bundle_redaction {

namespace {

constexpr unsigned char kPng[] = {
    // signature and IHDR: 1x1, 8-bit RGBA
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
    0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1f, 0x15, 0xc4, 0x89,
    // IDAT: zlib of the one filtered row 00 00 00 00 00
    0x00, 0x00, 0x00, 0x0a, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0x00, 0x01, 0x00, 0x00, 0x05, 0x00, 0x01,
    0x0d, 0x0a, 0x2d, 0xb4,
    // IEND
    0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
static_assert(sizeof(kPng) == 67);

// Bytes that end a word of free text: white space, quotes, ")", ",", ";",
// "<", "=", ">".
constexpr auto kDelimiter = [] {
  std::array<bool, 256> t{};
  for (unsigned char c : std::string_view("\t\n\r \"'),;<=>")) t[c] = true;
  return t;
}();

// Where a bearer token ends: a quote or an angle bracket, or a backslash, so
// that an escaped quote inside a JSON string is never swallowed.
constexpr auto kTokenStop = [] {
  std::array<bool, 256> t{};
  for (unsigned char c : std::string_view("\"'<>\\")) t[c] = true;
  return t;
}();

constexpr auto kEmailForbidden = [] {
  std::array<bool, 256> t{};
  for (unsigned char c : std::string_view("\t\n\r \"'<>")) t[c] = true;
  return t;
}();

inline bool isDelimiter(char c) { return kDelimiter[static_cast<unsigned char>(c)]; }

inline bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// The length of the JSON escape at the start of `text` ("\n", "\u00e9",
// ...), 0 when there is none. A "\u" takes the hex digits that follow, at
// most four.
size_t jsonEscapeLength(std::string_view text) {
  if (text.size() < 2 || text[0] != '\\') return 0;
  if (std::string_view("\"\\/bfnrt").find(text[1]) != std::string_view::npos) return 2;
  if (text[1] != 'u') return 0;
  size_t n = 2;
  while (n < text.size() && n < 6 && isHexDigit(text[n])) ++n;
  return n;
}

// "bearer " in any letter case at the start of `text`.
bool startsWithBearer(std::string_view text) {
  static constexpr std::string_view kBearer = "bearer ";
  if (text.size() < kBearer.size()) return false;
  for (size_t i = 0; i < kBearer.size(); ++i) {
    if (text::asciiLower(text[i]) != kBearer[i]) return false;
  }
  return true;
}

// One of the trace writer's sensitive words anywhere in the text, in any
// letter case.
bool holdsSensitiveWord(std::string_view text) { return trace_json::isSensitiveKeyName(text); }

// Appends to a string the caller owns (and reuses).
class AppendWriter final : public Writer {
 public:
  explicit AppendWriter(std::string& out) : out_(out) {}
  Status writeAll(std::string_view bytes) override {
    out_.append(bytes);
    return {};
  }

 private:
  std::string& out_;
};

// The string rule of a JSON string value.
std::string_view redactedMarker(std::string_view value, std::optional<std::string_view> key) {
  if (key && trace_json::isSensitiveKeyName(*key)) return kSecretMarker;
  if (value.size() >= 7 && text::containsAsciiFolded(value, "bearer ")) return kTokenMarker;
  if (trace_json::looksLikeDottedToken(value)) return kTokenMarker;
  if (looksLikeEmail(value)) return kEmailMarker;
  return {};
}

constexpr size_t kTagWindow = 240;

// Text as it will stand in a JSON file: stray bytes as U+FFFD.
std::string asValidUtf8(std::string text) {
  if (trace_json::isValidUtf8(text)) return text;
  std::string valid;
  AppendWriter w(valid);
  (void)trace_json::writeValidUtf8(w, text);
  return valid;
}

inline bool isBlankLine(std::string_view line) { return text::trim(line, " \t\r").empty(); }

// Whether the free-text scrubber can change the text at all: it replaces
// only around an "@", a "bearer " or inside a tag.
bool mayScrub(std::string_view text) {
  return text.find_first_of("@<") != std::string_view::npos || text::containsAsciiFolded(text, "bearer ");
}

// How a value is written: as it stands (the string rule only), or scrubbed
// alike in every file: strings after the string rule, and keys, through the
// free-text scrubber too, keys as they will stand (U+FFFD for stray bytes),
// a key equal to an earlier one of its object told apart by "#2", "#3", ...,
// nothing dropped.
enum class Keys { AsTheyStand, ApartScrubbed };

Status writeRedacted(Writer& w, const json::Value& value, std::optional<std::string_view> key, Keys keys);

// The name under which a member is written, told apart from the names
// already written in its object.
std::string memberName(const std::string& key, const std::unordered_set<std::string>& written) {
  std::string name = asValidUtf8(mayScrub(key) ? redactFreeText(key) : key);
  if (!written.contains(name)) return name;
  for (int n = 2;; ++n) {
    std::string numbered = name + "#" + std::to_string(n);
    if (!written.contains(numbered)) return numbered;
  }
}

// Whether some key of the object changes once written; only then can two of
// them come out alike.
bool someKeyChanges(const json::Value& object) {
  for (const json::Member& member : object.object) {
    if (mayScrub(member.key) || !trace_json::isValidUtf8(member.key)) return true;
  }
  return false;
}

// Whether writing the value scrubbed would still change it: a string that
// the string rule replaces (and is not already its marker), or a string or
// key that the free-text scrubber changes.
bool leftToScrub(const json::Value& value, std::optional<std::string_view> key) {
  auto scrubs = [](const std::string& text) { return mayScrub(text) && redactFreeText(text) != text; };
  switch (value.kind) {
    case json::Kind::String: {
      std::string_view marker = redactedMarker(value.string, key);
      if (!marker.empty()) return marker != value.string;
      return scrubs(value.string);
    }
    case json::Kind::Array:
      for (const json::Value& element : value.array) {
        if (leftToScrub(element, key)) return true;
      }
      return false;
    case json::Kind::Object:
      for (const json::Member& member : value.object) {
        if (scrubs(member.key) || leftToScrub(member.value, std::string_view(member.key))) return true;
      }
      return false;
    default:
      return false;
  }
}

// An event log scrubbed line by line. A line keeps its own bytes, scrubbed
// as free text, when that still reads back as JSON with nothing left to
// scrub in it; otherwise it is written again from its value, as a document
// of its own would be. False when a line other than the last (which a run
// may have cut short) is not JSON: the text is no event log.
bool redactJsonLinesInto(std::string_view text, std::string& out) {
  out.clear();
  out.reserve(text.size());
  AppendWriter w(out);
  std::string scrubbed;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    bool last = end == std::string_view::npos || end + 1 == text.size();
    if (isBlankLine(line)) {
      out.append(line);
    } else {
      auto before = json::parseValue(line);
      if (!before && !last) return false;
      redactFreeTextInto(line, scrubbed);
      if (!trace_json::isValidUtf8(scrubbed)) scrubbed = asValidUtf8(std::move(scrubbed));
      bool keep = true;
      if (before) {
        if (scrubbed == line) {
          keep = !leftToScrub(*before, std::nullopt);
        } else {
          auto after = json::parseValue(scrubbed);
          keep = after && !leftToScrub(*after, std::nullopt);
        }
      }
      if (keep) {
        out.append(scrubbed);
      } else {
        (void)writeRedacted(w, *before, std::nullopt, Keys::ApartScrubbed);
      }
    }
    if (end == std::string_view::npos) break;
    out.push_back('\n');
    text.remove_prefix(end + 1);
  }
  return true;
}

}  // namespace

const std::string_view kRedactedScreenshotPng(reinterpret_cast<const char*>(kPng), sizeof(kPng));

bool looksLikeEmail(std::string_view bytes) {
  if (bytes.size() < 5 || bytes.size() > 254) return false;
  for (char c : bytes) {
    if (kEmailForbidden[static_cast<unsigned char>(c)]) return false;
  }
  size_t at = bytes.find('@');
  if (at == std::string_view::npos || at == 0 || bytes.size() - at - 1 < 3) return false;
  return bytes.find('.', at + 1) != std::string_view::npos;
}

namespace {

class RedactionHooks final : public trace_json::ValueHooks {
 public:
  explicit RedactionHooks(Keys keys) : keys_(keys) {}

  Status string(Writer& w, std::string_view value, std::optional<std::string_view> key) override {
    std::string_view marker = redactedMarker(value, key);
    if (!marker.empty()) return trace_json::writeJsonString(w, marker);
    if (keys_ == Keys::ApartScrubbed && mayScrub(value)) return trace_json::writeJsonString(w, redactFreeText(value));
    return trace_json::writeJsonString(w, value);
  }

  void memberNames(const json::Value& object, std::vector<std::string>& names) override {
    if (keys_ == Keys::AsTheyStand || !someKeyChanges(object)) return;
    std::unordered_set<std::string> written;
    for (const json::Member& member : object.object) {
      std::string name = memberName(member.key, written);
      written.insert(name);
      names.push_back(std::move(name));
    }
  }

 private:
  Keys keys_;
};

Status writeRedacted(Writer& w, const json::Value& value, std::optional<std::string_view> key, Keys keys) {
  RedactionHooks hooks(keys);
  return trace_json::writeJsonValue(w, value, hooks, key);
}

}  // namespace

Status writeJsonValueRedacted(Writer& w, const json::Value& value, std::optional<std::string_view> key) {
  return writeRedacted(w, value, key, Keys::AsTheyStand);
}

void redactFreeTextInto(std::string_view text, std::string& out) {
  static constexpr std::string_view kTextAttribute = "text=\"";
  static constexpr std::string_view kContentDescAttribute = "content-desc=\"";
  out.clear();
  out.reserve(text.size());
  const size_t n = text.size();
  bool sensitiveTag = false;
  // Bytes from `run` up to `i` are copied unchanged when something is
  // replaced or the text ends.
  size_t run = 0;
  size_t i = 0;
  // The next "@" at or after i; no e-mail word can start past the last one.
  size_t nextAt = text.find('@');
  auto replace = [&](std::string_view marker) {
    out.append(text.substr(run, i - run));
    out.append(marker);
  };
  while (i < n) {
    char c = text[i];
    // An escape inside a JSON string is kept whole: a token that seems to
    // start within one ("\bearer ", "\uBeBearer ") would cut it in two.
    if (size_t escape = c == '\\' ? jsonEscapeLength(text.substr(i)) : 0; escape > 0) {
      i += escape;
      continue;
    }
    if (c == '>') {
      sensitiveTag = false;
    } else if (c == '<') {
      std::string_view window = text.substr(i, kTagWindow + 1);
      size_t close = window.find('>');
      if (close != std::string_view::npos) window = window.substr(0, close);
      sensitiveTag = holdsSensitiveWord(window);
    } else if (sensitiveTag && (c == 't' || c == 'c')) {
      std::string_view rest = text.substr(i);
      std::string_view opening;
      if (rest.starts_with(kTextAttribute)) {
        opening = kTextAttribute;
      } else if (rest.starts_with(kContentDescAttribute)) {
        opening = kContentDescAttribute;
      }
      if (!opening.empty()) {
        // The attribute's name, "=" and opening quote stay; its value goes.
        i += opening.size();
        replace(kSecretMarker);
        size_t quote = text.find('"', i);
        if (quote == std::string_view::npos) return;
        out.push_back('"');
        i = quote + 1;
        run = i;
        continue;
      }
    }

    // Plain text: an e-mail word at a word start, a bearer token anywhere.
    if (nextAt != std::string_view::npos && (i == 0 || isDelimiter(text[i - 1]))) {
      if (nextAt < i) nextAt = text.find('@', i);
      if (nextAt != std::string_view::npos) {
        size_t end = i;
        while (end < nextAt && !isDelimiter(text[end]) && text[end] != '\\') ++end;
        if (end == nextAt) {
          while (end < n && !isDelimiter(text[end]) && text[end] != '\\') ++end;
          if (looksLikeEmail(text.substr(i, end - i))) {
            replace(kEmailMarker);
            i = end;
            run = i;
            continue;
          }
        }
      }
    }
    if ((c == 'b' || c == 'B') && startsWithBearer(text.substr(i))) {
      size_t stop = i;
      while (stop < n && !kTokenStop[static_cast<unsigned char>(text[stop])]) ++stop;
      replace(kTokenMarker);
      i = stop;
      run = i;
      continue;
    }
    ++i;
  }
  out.append(text.substr(run));
}

std::string redactFreeText(std::string_view text) {
  std::string out;
  redactFreeTextInto(text, out);
  return out;
}

Status writeJsonValueScrubbed(Writer& w, const json::Value& value) {
  return writeRedacted(w, value, std::nullopt, Keys::ApartScrubbed);
}

void redactJsonishTextInto(std::string_view text, std::string& out) {
  if (auto parsed = json::parseValue(text)) {
    out.clear();
    AppendWriter w(out);
    (void)writeJsonValueScrubbed(w, *parsed);
    out.push_back('\n');
    return;
  }
  if (redactJsonLinesInto(text, out)) return;
  redactFreeTextInto(text, out);
  // What stands in a JSON file leaves as UTF-8 even when the trace's copy
  // carries stray bytes.
  if (!trace_json::isValidUtf8(out)) {
    std::string scrubbed = std::move(out);
    out.clear();
    AppendWriter w(out);
    (void)trace_json::writeValidUtf8(w, scrubbed);
  }
}

std::string redactJsonishText(std::string_view text) {
  std::string out;
  redactJsonishTextInto(text, out);
  return out;
}

}  // namespace vyx::bundle_redaction
