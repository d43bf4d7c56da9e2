#pragma once
// The one way to write a compact JSON object or array: members and items are
// written straight to a Writer, keys and strings escaped, commas placed for
// the caller. The first failure of the writer is kept; every later call does
// nothing and finish() returns that failure.
//
//   JsonObjectWriter o(out);
//   o.str("status", "ok").num("x", 3).object("selector", [&](JsonObjectWriter& s) {
//     trace::writeSelectorMembers(s, selector);
//   });
//   VYX_TRY(o.finish());
//
// Given a JsonRedaction, a writer redacts as it writes (the trace's event
// payloads): the bytes are those of writing the document plainly, reading it
// back and writing it again with trace_json::writeJsonValueRedacted. Nested
// objects and arrays made with object() and array() redact the same way.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/errors.hpp"
#include "core/trace_json.hpp"
#include "core/writer.hpp"

namespace vyx {

// How a redacting writer treats what it writes: every string value goes
// through the text rules, and one under a key holding a sensitive word (or
// inside an array under such a key) is hidden ("[REDACTED:secret]").
struct JsonRedaction {
  trace_json::TextRules rules;
  // Shown each string member of the outermost object (key and value as
  // given, before redaction); may be empty.
  std::function<void(std::string_view key, std::string_view value)> onTopLevelString;
};

class JsonObjectWriter;
class JsonArrayWriter;

// What the object and the array writer share: the sink, the redaction, the
// first failure, and filling a nested container or a buffered value.
class JsonContainerWriter {
 public:
  JsonContainerWriter(const JsonContainerWriter&) = delete;
  JsonContainerWriter& operator=(const JsonContainerWriter&) = delete;

  Writer& writer() { return w_; }
  // Keeps the first failure of what the caller wrote itself.
  void track(const Status& s) {
    if (status_ && !s) status_ = s;
  }
  const Status& status() const { return status_; }

 protected:
  JsonContainerWriter(Writer& w, const JsonRedaction* redaction) : w_(w), redaction_(redaction) {}
  ~JsonContainerWriter() = default;

  // Lets the callback fill a container just opened in place, then closes it.
  template <class Inner, class F>
  void fill(Inner& inner, F&& fn) {
    std::forward<F>(fn)(inner);
    status_ = inner.finish();
  }

  // What the callback fn(Writer&) -> Status writes, kept in memory; nullopt
  // (and the failure kept) when it fails.
  template <class F>
  std::optional<std::string> render(F&& fn) {
    StringWriter buffer;
    Status s = std::forward<F>(fn)(static_cast<Writer&>(buffer));
    if (!s) {
      track(s);
      return std::nullopt;
    }
    return buffer.take();
  }

  Writer& w_;
  const JsonRedaction* redaction_ = nullptr;
  Status status_;
  bool first_ = true;
};

class JsonObjectWriter : public JsonContainerWriter {
 public:
  // Writes the opening brace.
  explicit JsonObjectWriter(Writer& w);
  // The same, redacting what is written (`redaction` may be null: no
  // redaction); the redaction must outlive the writer.
  JsonObjectWriter(Writer& w, const JsonRedaction* redaction);

  JsonObjectWriter& str(std::string_view key, std::string_view value);
  // The string, or null when absent.
  JsonObjectWriter& strOrNull(std::string_view key, std::optional<std::string_view> value);
  // The member only when the value is present.
  JsonObjectWriter& optStr(std::string_view key, std::optional<std::string_view> value);
  JsonObjectWriter& num(std::string_view key, int64_t value);
  JsonObjectWriter& unum(std::string_view key, uint64_t value);
  // The number, or null when absent.
  JsonObjectWriter& numOrNull(std::string_view key, std::optional<int64_t> value);
  JsonObjectWriter& unumOrNull(std::string_view key, std::optional<uint64_t> value);
  // The member only when the value is present.
  JsonObjectWriter& optNum(std::string_view key, std::optional<int64_t> value);
  JsonObjectWriter& optUnum(std::string_view key, std::optional<uint64_t> value);
  JsonObjectWriter& flag(std::string_view key, bool value);
  JsonObjectWriter& null(std::string_view key);
  // The error's name as a string.
  JsonObjectWriter& error(std::string_view key, Error value);
  // Bytes that already are one JSON value, copied as they are (save that a
  // byte which is not UTF-8 becomes U+FFFD, as in strings). When redacting
  // they are read and written again redacted (text that is not JSON becomes
  // one redacted string).
  JsonObjectWriter& raw(std::string_view key, std::string_view json);

  // A member whose value the callback writes: fn(Writer&) -> Status. When
  // redacting, what it writes is taken as raw() takes it.
  template <class F>
  JsonObjectWriter& value(std::string_view key, F&& fn) {
    if (redaction_ != nullptr) {
      if (auto text = render(std::forward<F>(fn))) raw(key, *text);
    } else if (this->key(key).status_) {
      status_ = std::forward<F>(fn)(w_);
    }
    return *this;
  }

  // A member holding an object that the callback fills: fn(JsonObjectWriter&).
  template <class F>
  JsonObjectWriter& object(std::string_view key, F&& fn);
  // A member holding an array that the callback fills: fn(JsonArrayWriter&).
  template <class F>
  JsonObjectWriter& array(std::string_view key, F&& fn);

  // Writes the escaped key and the colon; the caller then writes one value
  // into writer() (and passes its status to track()). What is written this
  // way is never redacted: with a redaction use the members above.
  JsonObjectWriter& key(std::string_view key);

  // Writes the closing brace; returns the first failure.
  Status finish();

 private:
  friend class JsonArrayWriter;
  JsonObjectWriter(Writer& w, const JsonRedaction* redaction, bool outermost);
  // The key and a value's bytes (a number, true, false, null).
  JsonObjectWriter& member(std::string_view key, std::string_view valueBytes);

  bool outermost_ = true;
};

class JsonArrayWriter : public JsonContainerWriter {
 public:
  // Writes the opening bracket.
  explicit JsonArrayWriter(Writer& w);
  // The same, redacting what is written (`redaction` may be null).
  JsonArrayWriter(Writer& w, const JsonRedaction* redaction);

  JsonArrayWriter& str(std::string_view value);
  JsonArrayWriter& num(int64_t value);
  JsonArrayWriter& unum(uint64_t value);
  JsonArrayWriter& flag(bool value);
  JsonArrayWriter& null();
  // As JsonObjectWriter::raw.
  JsonArrayWriter& raw(std::string_view json);

  // An item that the callback writes: fn(Writer&) -> Status. When
  // redacting, what it writes is taken as raw() takes it.
  template <class F>
  JsonArrayWriter& value(F&& fn) {
    if (redaction_ != nullptr) {
      if (auto text = render(std::forward<F>(fn))) raw(*text);
    } else if (next().status_) {
      status_ = std::forward<F>(fn)(w_);
    }
    return *this;
  }

  // An item holding an object that the callback fills: fn(JsonObjectWriter&).
  template <class F>
  JsonArrayWriter& object(F&& fn) {
    if (next().status_) {
      JsonObjectWriter inner(w_, redaction_, false);
      fill(inner, std::forward<F>(fn));
    }
    return *this;
  }

  // An item holding an array that the callback fills: fn(JsonArrayWriter&).
  template <class F>
  JsonArrayWriter& array(F&& fn) {
    if (next().status_) {
      JsonArrayWriter inner(w_, redaction_, key_);
      fill(inner, std::forward<F>(fn));
    }
    return *this;
  }

  // Writes the separator before the next item; the caller writes the item
  // (never redacted).
  JsonArrayWriter& next();

  // Writes the closing bracket; returns the first failure.
  Status finish();

 private:
  friend class JsonObjectWriter;
  // `key` is the member the array belongs to: its strings are hidden when
  // that key is sensitive (it must outlive the writer).
  JsonArrayWriter(Writer& w, const JsonRedaction* redaction, std::string_view key);

  std::string_view key_;
};

template <class F>
JsonObjectWriter& JsonObjectWriter::object(std::string_view key, F&& fn) {
  if (this->key(key).status_) {
    JsonObjectWriter inner(w_, redaction_, false);
    fill(inner, std::forward<F>(fn));
  }
  return *this;
}

template <class F>
JsonObjectWriter& JsonObjectWriter::array(std::string_view key, F&& fn) {
  if (this->key(key).status_) {
    JsonArrayWriter inner(w_, redaction_, key);
    fill(inner, std::forward<F>(fn));
  }
  return *this;
}

}  // namespace vyx
