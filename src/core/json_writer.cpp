#include "core/json_writer.hpp"

#include "core/trace_json.hpp"

namespace vyx {

JsonObjectWriter::JsonObjectWriter(Writer& w) : w_(w) { status_ = w_.writeByte('{'); }

JsonObjectWriter& JsonObjectWriter::key(std::string_view k) {
  if (!status_) return *this;
  if (!first_) {
    status_ = w_.writeByte(',');
    if (!status_) return *this;
  }
  first_ = false;
  status_ = trace_json::writeJsonString(w_, k);
  if (status_) status_ = w_.writeByte(':');
  return *this;
}

JsonObjectWriter& JsonObjectWriter::str(std::string_view k, std::string_view v) {
  if (key(k).status_) status_ = trace_json::writeJsonString(w_, v);
  return *this;
}

JsonObjectWriter& JsonObjectWriter::strOrNull(std::string_view k, std::optional<std::string_view> v) {
  return v ? str(k, *v) : null(k);
}

JsonObjectWriter& JsonObjectWriter::optStr(std::string_view k, std::optional<std::string_view> v) {
  return v ? str(k, *v) : *this;
}

JsonObjectWriter& JsonObjectWriter::num(std::string_view k, int64_t v) {
  if (key(k).status_) status_ = w_.writeInt(v);
  return *this;
}

JsonObjectWriter& JsonObjectWriter::unum(std::string_view k, uint64_t v) {
  if (key(k).status_) status_ = w_.writeUint(v);
  return *this;
}

JsonObjectWriter& JsonObjectWriter::flag(std::string_view k, bool v) { return raw(k, v ? "true" : "false"); }

JsonObjectWriter& JsonObjectWriter::null(std::string_view k) { return raw(k, "null"); }

JsonObjectWriter& JsonObjectWriter::error(std::string_view k, Error v) { return str(k, errorName(v)); }

JsonObjectWriter& JsonObjectWriter::raw(std::string_view k, std::string_view json) {
  if (key(k).status_) status_ = w_.writeAll(json);
  return *this;
}

Status JsonObjectWriter::finish() {
  if (status_) status_ = w_.writeByte('}');
  return status_;
}

JsonArrayWriter::JsonArrayWriter(Writer& w) : w_(w) { status_ = w_.writeByte('['); }

JsonArrayWriter& JsonArrayWriter::next() {
  if (!status_) return *this;
  if (!first_) status_ = w_.writeByte(',');
  first_ = false;
  return *this;
}

JsonArrayWriter& JsonArrayWriter::str(std::string_view v) {
  if (next().status_) status_ = trace_json::writeJsonString(w_, v);
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

JsonArrayWriter& JsonArrayWriter::flag(bool v) { return raw(v ? "true" : "false"); }

JsonArrayWriter& JsonArrayWriter::null() { return raw("null"); }

JsonArrayWriter& JsonArrayWriter::raw(std::string_view json) {
  if (next().status_) status_ = w_.writeAll(json);
  return *this;
}

Status JsonArrayWriter::finish() {
  if (status_) status_ = w_.writeByte(']');
  return status_;
}

}  // namespace vyx
