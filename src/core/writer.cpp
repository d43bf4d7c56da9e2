#include "core/writer.hpp"

#include <unistd.h>

#include <cerrno>

namespace vyx {

Status Writer::writeInt(int64_t value) {
  char buf[24];
  char* end = buf + sizeof(buf);
  char* p = end;
  uint64_t magnitude = value < 0 ? (~static_cast<uint64_t>(value) + 1) : static_cast<uint64_t>(value);
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--p = '-';
  return writeAll(std::string_view(p, static_cast<size_t>(end - p)));
}

Status Writer::writeUint(uint64_t value) {
  char buf[24];
  char* end = buf + sizeof(buf);
  char* p = end;
  do {
    *--p = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  return writeAll(std::string_view(p, static_cast<size_t>(end - p)));
}

FdWriter::FdWriter(int fd, size_t capacity) : fd_(fd), capacity_(capacity) { buffer_.reserve(capacity); }

FdWriter::~FdWriter() = default;

Status FdWriter::writeRaw(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      failed_ = true;
      cause_ = errorFromErrno(errno);
      if (cause_ == Error::Unexpected) cause_ = Error::WriteFailed;
      return fail(cause_);
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return {};
}

Status FdWriter::writeAll(std::string_view bytes) {
  if (failed_) return fail(cause_);
  if (buffer_.size() + bytes.size() > capacity_) {
    if (!buffer_.empty()) {
      auto status = writeRaw(buffer_);
      buffer_.clear();
      if (!status) return status;
    }
    if (bytes.size() >= capacity_) return writeRaw(bytes);
  }
  buffer_.append(bytes);
  return {};
}

Status FdWriter::flush() {
  if (failed_) return fail(cause_);
  if (buffer_.empty()) return {};
  auto status = writeRaw(buffer_);
  buffer_.clear();
  return status;
}

}  // namespace vyx
