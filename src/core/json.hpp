#pragma once
// The program's JSON reader: a value tree that keeps member order, exact
// 64-bit integers, and the line and column where reading stopped.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/errors.hpp"

namespace vyx::json {

enum class Kind : uint8_t { Null, Bool, Integer, Float, NumberString, String, Array, Object };

struct Value;
struct Member;

struct Value {
  Kind kind = Kind::Null;
  bool boolean = false;
  int64_t integer = 0;
  double number = 0.0;
  std::string string;  // String, and the source text of a NumberString
  std::vector<Value> array;
  std::vector<Member> object;

  bool isNull() const { return kind == Kind::Null; }
  bool isBool() const { return kind == Kind::Bool; }
  bool isInteger() const { return kind == Kind::Integer; }
  bool isString() const { return kind == Kind::String; }
  bool isArray() const { return kind == Kind::Array; }
  bool isObject() const { return kind == Kind::Object; }

  // The member's value, or nullptr when absent or when this is not an object.
  const Value* get(std::string_view key) const;
  // Of an object: replaces the member's value in place, or appends the
  // member when it is absent, so the other members keep their order.
  void set(std::string_view key, Value value);
};

struct Member {
  std::string key;
  Value value;
};

struct ParseError {
  Error error = Error::SyntaxError;  // SyntaxError, UnexpectedEndOfInput, DuplicateField
  size_t offset = 0;                 // byte offset where reading stopped
  size_t line = 1;                   // 1-based
  size_t column = 1;                 // 1-based, in bytes
};

inline constexpr size_t kMaxDepth = 512;

// Parses one JSON document (surrounding white space allowed). Numbers without
// fraction or exponent that fit int64 become Integer; other integers become
// NumberString; the rest Float (or NumberString when not finite). Strings may
// hold any bytes of 0x80 and above unvalidated. A key repeated within one
// object fails with DuplicateField; nesting deeper than kMaxDepth fails with
// SyntaxError at the offending bracket.
std::expected<Value, ParseError> parse(std::string_view text);

// Where parse() hands out the elements of one array instead of keeping
// them: the array that the root object's member `rootKey` holds.
struct ElementSink {
  std::string_view rootKey;
  std::function<void(Value&&)> onElement;
};

// Same as parse(), except that each element of the sink's array goes to
// `onElement` as soon as it is read, in order, and is not kept (in the result
// that array is empty). A long document is read without holding all of it
// as values at once. Elements are handed out before the rest of the text is
// read: a failed parse may already have handed out some.
std::expected<Value, ParseError> parse(std::string_view text, const ElementSink& sink);

// Same, keeping only the error name.
Expected<Value> parseValue(std::string_view text);

}  // namespace vyx::json
