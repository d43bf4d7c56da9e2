#pragma once
// The one way to write a compact JSON object or array: members and items are
// written straight to a Writer, keys and strings escaped, commas placed for
// the caller. The first failure of the writer is kept; every later call does
// nothing and finish() returns that failure.
//
//   JsonObjectWriter o(out);
//   o.str("status", "ok").num("x", 3).value("selector", [&](Writer& w) {
//     return trace::writeSelectorJson(w, selector);
//   });
//   VYX_TRY(o.finish());

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

#include "core/errors.hpp"
#include "core/writer.hpp"

namespace vyx {

class JsonObjectWriter {
 public:
  // Writes the opening brace.
  explicit JsonObjectWriter(Writer& w);
  JsonObjectWriter(const JsonObjectWriter&) = delete;
  JsonObjectWriter& operator=(const JsonObjectWriter&) = delete;

  JsonObjectWriter& str(std::string_view key, std::string_view value);
  // The string, or null when absent.
  JsonObjectWriter& strOrNull(std::string_view key, std::optional<std::string_view> value);
  // The member only when the value is present.
  JsonObjectWriter& optStr(std::string_view key, std::optional<std::string_view> value);
  JsonObjectWriter& num(std::string_view key, int64_t value);
  JsonObjectWriter& unum(std::string_view key, uint64_t value);
  JsonObjectWriter& flag(std::string_view key, bool value);
  JsonObjectWriter& null(std::string_view key);
  // The error's name as a string.
  JsonObjectWriter& error(std::string_view key, Error value);
  // Bytes that already are one JSON value, copied as they are.
  JsonObjectWriter& raw(std::string_view key, std::string_view json);

  // A member whose value the callback writes: fn(Writer&) -> Status.
  template <class F>
  JsonObjectWriter& value(std::string_view key, F&& fn) {
    if (this->key(key).status_) status_ = std::forward<F>(fn)(w_);
    return *this;
  }

  // Writes the escaped key and the colon; the caller then writes one value
  // into writer() (and passes its status to track()).
  JsonObjectWriter& key(std::string_view key);
  Writer& writer() { return w_; }
  // Keeps the first failure of what the caller wrote itself.
  void track(const Status& s) {
    if (status_ && !s) status_ = s;
  }
  const Status& status() const { return status_; }

  // Writes the closing brace; returns the first failure.
  Status finish();

 private:
  Writer& w_;
  Status status_;
  bool first_ = true;
};

class JsonArrayWriter {
 public:
  // Writes the opening bracket.
  explicit JsonArrayWriter(Writer& w);
  JsonArrayWriter(const JsonArrayWriter&) = delete;
  JsonArrayWriter& operator=(const JsonArrayWriter&) = delete;

  JsonArrayWriter& str(std::string_view value);
  JsonArrayWriter& num(int64_t value);
  JsonArrayWriter& unum(uint64_t value);
  JsonArrayWriter& flag(bool value);
  JsonArrayWriter& null();
  JsonArrayWriter& raw(std::string_view json);

  // An item that the callback writes: fn(Writer&) -> Status.
  template <class F>
  JsonArrayWriter& value(F&& fn) {
    if (next().status_) status_ = std::forward<F>(fn)(w_);
    return *this;
  }

  // Writes the separator before the next item; the caller writes the item.
  JsonArrayWriter& next();
  Writer& writer() { return w_; }
  // Keeps the first failure of what the caller wrote itself.
  void track(const Status& s) {
    if (status_ && !s) status_ = s;
  }
  const Status& status() const { return status_; }

  // Writes the closing bracket; returns the first failure.
  Status finish();

 private:
  Writer& w_;
  Status status_;
  bool first_ = true;
};

}  // namespace vyx
