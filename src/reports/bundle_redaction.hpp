#pragma once
// Rewrites the content of trace files for a redacted bundle, without any
// configuration: JSON is re-serialised with sensitive string values replaced
// by markers and its strings and keys scrubbed as text is; text (UI XML,
// HTML, logs, JSON that does not parse) goes through a single-pass scrubber.
// Also holds the image that stands in for screenshots.

#include <optional>
#include <string>
#include <string_view>

#include "core/errors.hpp"
#include "core/json.hpp"
#include "core/writer.hpp"

namespace vyx::bundle_redaction {

inline constexpr std::string_view kSecretMarker = "[REDACTED:secret]";
inline constexpr std::string_view kTokenMarker = "[REDACTED:token]";
inline constexpr std::string_view kEmailMarker = "[REDACTED:email]";

// A 1x1 fully transparent RGBA PNG (67 bytes).
extern const std::string_view kRedactedScreenshotPng;

// Writes the value as compact JSON with every string through the string
// rule: under a sensitive key "[REDACTED:secret]"; else a bearer value or a
// dotted token of 40 bytes or more "[REDACTED:token]"; else an e-mail address
// "[REDACTED:email]". Array elements take the array's key, object members
// their own name; keys themselves are never replaced. `key` is absent for a
// top-level value.
Status writeJsonValueRedacted(Writer& w, const json::Value& value, std::optional<std::string_view> key);

// 5 to 254 bytes, none of them white space, a quote or an angle bracket, a
// first "@" after the first byte with three or more bytes after it, and a
// "." somewhere after it.
bool looksLikeEmail(std::string_view bytes);

// The free-text scrubber: e-mail words, bearer tokens, and the text and
// content-desc attribute values of tags that mention a sensitive word.
std::string redactFreeText(std::string_view text);
// The same into `out` (cleared first), so a caller can reuse its buffer.
void redactFreeTextInto(std::string_view text, std::string& out);

// The same value scrubbed as every text file of a bundle is: the string
// rule first, then strings and keys through the free-text scrubber (e-mail
// words in keys and sentences, bearer tokens, tag attributes), keys as they
// will stand in UTF-8 and told apart by "#2", "#3", ... where they came out
// alike.
Status writeJsonValueScrubbed(Writer& w, const json::Value& value);

// One JSON document comes back compact and scrubbed by
// writeJsonValueScrubbed, with a line feed. Lines of JSON (an event log,
// whose last line may be cut short) stay lines of JSON, each scrubbed as
// that line would be as a document of its own: a line whose free-text scrub
// reads back with nothing left for the string rule keeps its bytes, any
// other is written again from its value. Anything else is scrubbed as free
// text, then every byte that is not UTF-8 becomes U+FFFD.
std::string redactJsonishText(std::string_view text);
void redactJsonishTextInto(std::string_view text, std::string& out);

}  // namespace vyx::bundle_redaction
