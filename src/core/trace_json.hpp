#pragma once
// JSON output pieces: the string writer, float formatting and the redacting
// writers used for everything a trace stores.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/json.hpp"
#include "core/writer.hpp"

namespace vyx::trace_json {

// A quoted, escaped JSON string, always valid UTF-8: the double quote, the
// backslash, tab, line feed and carriage return as \", \\, \t, \n, \r;
// other bytes below 0x20 as \u00XX (lower-case hexadecimal); well-formed
// UTF-8 sequences copied unchanged; in place of each maximal ill-formed
// subpart (an overlong form, a surrogate, a code point above U+10FFFF, a
// cut-short sequence, a stray byte) one U+FFFD, written as its bytes
// EF BF BD. Valid UTF-8 input comes out as before, byte for byte.
Status writeJsonString(Writer& w, std::string_view bytes);

// The same escaping without the surrounding quotes. Pieces of one string
// written one after another give the same bytes as the whole string, as
// long as no piece ends inside a UTF-8 sequence.
Status writeJsonStringContent(Writer& w, std::string_view bytes);

// Bytes that already are JSON text (or text to stand in a JSON file),
// copied with the string writer's U+FFFD replacement but no escaping.
Status writeValidUtf8(Writer& w, std::string_view bytes);
// Whether the bytes are well-formed UTF-8 throughout.
bool isValidUtf8(std::string_view bytes);

// A double in its shortest fixed-notation form that reads back to the same
// value; "null" for infinities and NaN, which JSON cannot spell.
Status writeFloat(Writer& w, double value);

// The configuration's text rules, referred to (not copied).
struct TextRules {
  std::span<const std::string> denylistText;
  std::span<const std::string> allowlistText;
};

// Writes the value, or a redaction marker, as a JSON string.
Status writeRedactedJsonStringForKeyWithRules(Writer& w, std::string_view key, std::string_view value, bool force,
                                              const TextRules& rules);

// Writes a parsed value compact, every string through the rules above.
Status writeJsonValueRedacted(Writer& w, const json::Value& value, std::string_view key, const TextRules& rules);

// The redaction rules shared with the bundle redaction: a member name that
// holds one of the nine sensitive words ("password", "token", "secret",
// "authorization", "auth", "cookie", "apikey", "api_key", "bearer"), and
// the shape of a dotted token (40 bytes or more, two full stops, at least
// one byte after the second).
bool isSensitiveKeyName(std::string_view key);
bool looksLikeDottedToken(std::string_view value);

// Writes a parsed value compact, unchanged.
Status writeJsonValue(Writer& w, const json::Value& value);

// How writeJsonValue writes the strings and the member names of a value;
// by default each as it stands.
class ValueHooks {
 public:
  virtual ~ValueHooks() = default;
  // Writes a string value (quotes included). `key` is the key of the
  // innermost member the string stands in, through any arrays; none outside
  // every object.
  virtual Status string(Writer& w, std::string_view value, std::optional<std::string_view> key);
  // The names the members of `object` are written under, one per member in
  // their order; left empty, each member is written under its own key.
  virtual void memberNames(const json::Value& object, std::vector<std::string>& names);
};

// Writes a parsed value compact through the hooks; `key` is the key the
// value itself stands under, if any.
Status writeJsonValue(Writer& w, const json::Value& value, ValueHooks& hooks,
                      std::optional<std::string_view> key = std::nullopt);

}  // namespace vyx::trace_json
