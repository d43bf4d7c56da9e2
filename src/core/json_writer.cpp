#include "core/json_writer.hpp"

#include <charconv>
#include <cstring>

#include "core/json.hpp"

namespace vyx {

namespace {

// A string under `key`, redacted when a redaction is given.
Status writeString(Writer& w, const JsonRedaction* redaction, std::string_view key, std::string_view value) {
  if (redaction == nullptr) return trace_json::writeJsonString(w, value);
  return trace_json::writeRedactedJsonStringForKeyWithRules(w, key, value, false, redaction->rules);
}

// JSON text under `key`: copied (any byte that is not UTF-8 replaced), or
// read back and written redacted (text that does not read as JSON becomes
// one redacted string).
Status writeRaw(Writer& w, const JsonRedaction* redaction, std::string_view key, std::string_view json,
                bool outermost) {
  if (redaction == nullptr) return trace_json::writeValidUtf8(w, json);
  Expected<json::Value> parsed = json::parseValue(json);
  if (!parsed) return trace_json::writeRedactedJsonStringForKeyWithRules(w, key, json, false, redaction->rules);
  if (outermost && parsed->isString() && redaction->onTopLevelString) {
    redaction->onTopLevelString(key, parsed->string);
  }
  return trace_json::writeJsonValueRedacted(w, *parsed, key, redaction->rules);
}

}  // namespace

JsonObjectWriter::JsonObjectWriter(Writer& w) : JsonObjectWriter(w, nullptr, true) {}

JsonObjectWriter::JsonObjectWriter(Writer& w, const JsonRedaction* redaction)
    : JsonObjectWriter(w, redaction, true) {}

JsonObjectWriter::JsonObjectWriter(Writer& w, const JsonRedaction* redaction, bool outermost)
    : JsonContainerWriter(w, redaction), outermost_(outermost) {
  status_ = w_.writeByte('{');
}

namespace {

constexpr size_t kShortKey = 48;
constexpr size_t kShortValue = 24;  // the longest 64-bit number, with its sign

// A number's decimal digits in `buf`.
template <class T>
std::string_view decimal(T value, char (&buf)[kShortValue]) {
  auto [end, ec] = std::to_chars(buf, buf + kShortValue, value);
  (void)ec;  // 24 bytes hold every 64-bit number
  return std::string_view(buf, static_cast<size_t>(end - buf));
}

// A key the string writer would copy as it is: printable ASCII without a
// double quote or backslash.
bool isPlainKey(std::string_view k) {
  for (char c : k) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u >= 0x7f || c == '"' || c == '\\') return false;
  }
  return true;
}

}  // namespace

JsonObjectWriter& JsonObjectWriter::key(std::string_view k) { return member(k, {}); }

JsonObjectWriter& JsonObjectWriter::member(std::string_view k, std::string_view valueBytes) {
  if (!status_) return *this;
  // The common case, a short member name of plain ASCII and a short value,
  // reaches the writer in one piece with its comma, quotes and colon.
  if (k.size() <= kShortKey && valueBytes.size() <= kShortValue && isPlainKey(k)) {
    char piece[kShortKey + kShortValue + 4];
    size_t n = 0;
    if (!first_) piece[n++] = ',';
    piece[n++] = '"';
    if (!k.empty()) std::memcpy(piece + n, k.data(), k.size());
    n += k.size();
    piece[n++] = '"';
    piece[n++] = ':';
    if (!valueBytes.empty()) std::memcpy(piece + n, valueBytes.data(), valueBytes.size());
    n += valueBytes.size();
    first_ = false;
    status_ = w_.writeAll(std::string_view(piece, n));
    return *this;
  }
  if (!first_) {
    status_ = w_.writeByte(',');
    if (!status_) return *this;
  }
  first_ = false;
  status_ = trace_json::writeJsonString(w_, k);
  if (status_) status_ = w_.writeByte(':');
  if (status_ && !valueBytes.empty()) status_ = w_.writeAll(valueBytes);
  return *this;
}

JsonObjectWriter& JsonObjectWriter::str(std::string_view k, std::string_view v) {
  if (!key(k).status_) return *this;
  if (outermost_ && redaction_ != nullptr && redaction_->onTopLevelString) redaction_->onTopLevelString(k, v);
  status_ = writeString(w_, redaction_, k, v);
  return *this;
}

JsonObjectWriter& JsonObjectWriter::strOrNull(std::string_view k, std::optional<std::string_view> v) {
  return v ? str(k, *v) : null(k);
}

JsonObjectWriter& JsonObjectWriter::optStr(std::string_view k, std::optional<std::string_view> v) {
  return v ? str(k, *v) : *this;
}

JsonObjectWriter& JsonObjectWriter::num(std::string_view k, int64_t v) {
  char buf[kShortValue];
  return member(k, decimal(v, buf));
}

JsonObjectWriter& JsonObjectWriter::unum(std::string_view k, uint64_t v) {
  char buf[kShortValue];
  return member(k, decimal(v, buf));
}

JsonObjectWriter& JsonObjectWriter::numOrNull(std::string_view k, std::optional<int64_t> v) {
  return v ? num(k, *v) : null(k);
}

JsonObjectWriter& JsonObjectWriter::unumOrNull(std::string_view k, std::optional<uint64_t> v) {
  return v ? unum(k, *v) : null(k);
}

JsonObjectWriter& JsonObjectWriter::optNum(std::string_view k, std::optional<int64_t> v) {
  return v ? num(k, *v) : *this;
}

JsonObjectWriter& JsonObjectWriter::optUnum(std::string_view k, std::optional<uint64_t> v) {
  return v ? unum(k, *v) : *this;
}

JsonObjectWriter& JsonObjectWriter::flag(std::string_view k, bool v) { return member(k, v ? "true" : "false"); }

JsonObjectWriter& JsonObjectWriter::null(std::string_view k) { return member(k, "null"); }

JsonObjectWriter& JsonObjectWriter::error(std::string_view k, Error v) { return str(k, errorName(v)); }

JsonObjectWriter& JsonObjectWriter::raw(std::string_view k, std::string_view json) {
  if (key(k).status_) status_ = writeRaw(w_, redaction_, k, json, outermost_);
  return *this;
}

Status JsonObjectWriter::finish() {
  if (status_) status_ = w_.writeByte('}');
  return status_;
}

JsonArrayWriter::JsonArrayWriter(Writer& w) : JsonArrayWriter(w, nullptr, std::string_view()) {}

JsonArrayWriter::JsonArrayWriter(Writer& w, const JsonRedaction* redaction)
    : JsonArrayWriter(w, redaction, std::string_view()) {}

JsonArrayWriter::JsonArrayWriter(Writer& w, const JsonRedaction* redaction, std::string_view key)
    : JsonContainerWriter(w, redaction), key_(key) {
  status_ = w_.writeByte('[');
}

JsonArrayWriter& JsonArrayWriter::next() {
  if (!status_) return *this;
  if (!first_) status_ = w_.writeByte(',');
  first_ = false;
  return *this;
}

JsonArrayWriter& JsonArrayWriter::str(std::string_view v) {
  if (next().status_) status_ = writeString(w_, redaction_, key_, v);
  return *this;
}

JsonArrayWriter& JsonArrayWriter::num(int64_t v) {
  if (next().status_) status_ = w_.writeInt(v);
  return *this;
}

JsonArrayWriter& JsonArrayWriter::unum(uint64_t v) {
  if (next().status_) status_ = w_.writeUint(v);
  return *this;
}

JsonArrayWriter& JsonArrayWriter::flag(bool v) {
  if (next().status_) status_ = w_.writeAll(v ? "true" : "false");
  return *this;
}

JsonArrayWriter& JsonArrayWriter::null() {
  if (next().status_) status_ = w_.writeAll("null");
  return *this;
}

JsonArrayWriter& JsonArrayWriter::raw(std::string_view json) {
  if (next().status_) status_ = writeRaw(w_, redaction_, key_, json, false);
  return *this;
}

Status JsonArrayWriter::finish() {
  if (status_) status_ = w_.writeByte(']');
  return status_;
}

}  // namespace vyx
