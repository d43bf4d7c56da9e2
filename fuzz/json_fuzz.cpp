// The JSON reader. Any bytes either parse or fail at a position inside the
// text whose line and column agree with the offset; whatever parses is
// written back, plain and redacted, as valid UTF-8 JSON that the reader takes
// again with the same shape (strings that are not UTF-8 aside: they come back
// with U+FFFD), and a second round trip changes no byte.
#include <string>
#include <vector>

#include "core/json.hpp"
#include "core/trace_json.hpp"
#include "core/validation.hpp"
#include "core/writer.hpp"
#include "fuzz_support.hpp"

using namespace vyx;

namespace {

bool isNumber(const json::Value& v) {
  return v.kind == json::Kind::Integer || v.kind == json::Kind::Float || v.kind == json::Kind::NumberString;
}

// Equal up to the spelling of numbers (1.0 is written "1" and reads back as an integer).
bool sameShape(const json::Value& a, const json::Value& b) {
  if (isNumber(a) && isNumber(b)) return true;
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case json::Kind::Bool:
      return a.boolean == b.boolean;
    case json::Kind::String:
      return a.string == b.string || !trace_json::isValidUtf8(a.string);
    case json::Kind::Array:
      if (a.array.size() != b.array.size()) return false;
      for (size_t i = 0; i < a.array.size(); ++i) {
        if (!sameShape(a.array[i], b.array[i])) return false;
      }
      return true;
    case json::Kind::Object:
      if (a.object.size() != b.object.size()) return false;
      for (size_t i = 0; i < a.object.size(); ++i) {
        bool sameKey = a.object[i].key == b.object[i].key || !trace_json::isValidUtf8(a.object[i].key);
        if (!sameKey || !sameShape(a.object[i].value, b.object[i].value)) return false;
      }
      return true;
    default:
      return true;
  }
}

std::string written(const json::Value& v) {
  StringWriter w;
  VYX_FUZZ_CHECK(trace_json::writeJsonValue(w, v).has_value());
  return w.take();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = fuzz::asText(data, size);
  auto parsed = json::parse(text);
  if (!parsed) {
    const json::ParseError& e = parsed.error();
    VYX_FUZZ_CHECK(e.error == Error::SyntaxError || e.error == Error::UnexpectedEndOfInput ||
                   e.error == Error::DuplicateField);
    VYX_FUZZ_CHECK(e.offset <= text.size());
    size_t line = 0;
    size_t column = 0;
    validation::lineColumnAt(text, e.offset, line, column);
    VYX_FUZZ_CHECK(line == e.line && column == e.column);
    return 0;
  }

  // Member names that differ only in bytes that are not UTF-8 are written
  // alike, and the reader refuses the repeated name.
  const bool utf8 = trace_json::isValidUtf8(text);
  const std::vector<std::string> deny{"secret", "x"};
  const std::vector<std::string> allow{"public"};
  StringWriter redacted;
  VYX_FUZZ_CHECK(trace_json::writeJsonValueRedacted(redacted, *parsed, "", {deny, allow}).has_value());
  VYX_FUZZ_CHECK(trace_json::isValidUtf8(redacted.str()));
  VYX_FUZZ_CHECK(!utf8 || fuzz::readsBack(redacted.str()));

  const std::string once = written(*parsed);
  VYX_FUZZ_CHECK(trace_json::isValidUtf8(once));
  auto again = json::parse(once);
  if (!again) {
    VYX_FUZZ_CHECK(!utf8 && again.error().error == Error::DuplicateField);
    return 0;
  }
  VYX_FUZZ_CHECK(sameShape(*parsed, *again));
  const std::string twice = written(*again);
  auto third = json::parse(twice);
  VYX_FUZZ_CHECK(third.has_value());
  VYX_FUZZ_CHECK(written(*third) == twice);
  return 0;
}
