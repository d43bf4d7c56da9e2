#pragma once
// Byte sinks. Every document the program writes goes through a Writer.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/errors.hpp"

namespace vyx {

class Writer {
 public:
  virtual ~Writer() = default;
  // Writes every byte or fails with the sink's error.
  virtual Status writeAll(std::string_view bytes) = 0;

  Status writeByte(char c) { return writeAll(std::string_view(&c, 1)); }
  Status writeInt(int64_t value);
  Status writeUint(uint64_t value);
};

// Grows an in-memory string; never fails.
class StringWriter final : public Writer {
 public:
  Status writeAll(std::string_view bytes) override {
    buffer_.append(bytes);
    return {};
  }
  const std::string& str() const { return buffer_; }
  std::string take() { return std::move(buffer_); }
  void clear() { buffer_.clear(); }

 private:
  std::string buffer_;
};

// A buffered writer over a file descriptor (not owned). A failed write records
// its cause, which later writes and flush return again.
class FdWriter : public Writer {
 public:
  explicit FdWriter(int fd, size_t capacity = 8192);
  ~FdWriter() override;
  FdWriter(const FdWriter&) = delete;
  FdWriter& operator=(const FdWriter&) = delete;

  Status writeAll(std::string_view bytes) override;
  Status flush();

 private:
  Status writeRaw(std::string_view bytes);
  int fd_;
  std::string buffer_;
  size_t capacity_;
  bool failed_ = false;
  Error cause_ = Error::WriteFailed;
};

// Buffered standard output (8192 bytes). Flushes when released; a failed
// flush at release is ignored, so call flush() to learn of it.
class Output final : public Writer {
 public:
  Output() : out_(1, 8192) {}
  ~Output() override { deinit(); }
  Status writeAll(std::string_view bytes) override { return out_.writeAll(bytes); }
  Status flush() { return out_.flush(); }
  void deinit() {
    if (active_) {
      (void)out_.flush();
      active_ = false;
    }
  }

 private:
  FdWriter out_;
  bool active_ = true;
};

}  // namespace vyx
