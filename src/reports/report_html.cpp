#include "reports/report_html.hpp"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/trace_json.hpp"
#include "core/trace_layout.hpp"

namespace vyx::report_html {
namespace {

constexpr size_t kOutputBuffer = 256 * 1024;
// The longest canonical path a link is made from.
constexpr size_t kMaxLinkPath = 1024;

}  // namespace

Status escape(Writer& w, std::string_view text) {
  // A trace or results file from elsewhere may hold bytes that are not
  // UTF-8, or control characters that XML allows in no form: each becomes
  // U+FFFD, so the page and the JUnit file still parse.
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::string_view entity;
    switch (c) {
      case '&': entity = "&amp;"; break;
      case '<': entity = "&lt;"; break;
      case '>': entity = "&gt;"; break;
      case '"': entity = "&quot;"; break;
      case '\'': entity = "&#39;"; break;
      case '\t':
      case '\n':
      case '\r': continue;
      default:
        if (c >= 0x20) continue;
        entity = "\xEF\xBF\xBD";
        break;
    }
    if (i > run) VYX_TRY(trace_json::writeValidUtf8(w, text.substr(run, i - run)));
    VYX_TRY(w.writeAll(entity));
    run = i + 1;
  }
  if (run < text.size()) VYX_TRY(trace_json::writeValidUtf8(w, text.substr(run)));
  return {};
}

Status writeArtifactLink(Writer& w, std::string_view path) {
  std::string given(path);
  std::string target = given;
  if (given.find('\0') == std::string::npos) {
    if (char* resolved = ::realpath(given.c_str(), nullptr)) {
      if (std::strlen(resolved) <= kMaxLinkPath) target = resolved;
      ::free(resolved);
    }
  }
  VYX_TRY(w.writeAll("<a href=\"file://"));
  VYX_TRY(escape(w, target));
  VYX_TRY(w.writeAll("\">"));
  VYX_TRY(escape(w, trace_layout::kEventsFile));
  return w.writeAll("</a>");
}

Expected<OutputFile> OutputFile::create(std::string_view path) {
  static unsigned counter = 0;
  size_t slash = path.rfind('/');
  std::string dir(slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1));
  std::string base(slash == std::string_view::npos ? path : path.substr(slash + 1));
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp = dir + "." + base + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return OutputFile(fd, std::move(temp), std::string(path));
    if (errno != EEXIST) return fail(errorFromErrno(errno, Error::WriteFailed));
  }
  return fail(Error::PathAlreadyExists);
}

OutputFile::OutputFile(int fd, std::string temp, std::string path)
    : fd_(fd), temp_(std::move(temp)), path_(std::move(path)), out_(std::make_unique<FdWriter>(fd, kOutputBuffer)) {}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(other.fd_), temp_(std::move(other.temp_)), path_(std::move(other.path_)), out_(std::move(other.out_)),
      done_(other.done_) {
  other.fd_ = -1;
  other.done_ = true;
}

OutputFile::~OutputFile() {
  if (done_) return;
  out_.reset();
  ::close(fd_);
  ::unlink(temp_.c_str());
}

Status OutputFile::writeAll(std::string_view bytes) { return out_->writeAll(bytes); }

Status OutputFile::commit() {
  Status flushed = out_->flush();
  out_.reset();
  int fd = fd_;
  fd_ = -1;
  bool closed = ::close(fd) == 0 || errno == EINTR;
  Error closeError = closed ? Error::WriteFailed : errorFromErrno(errno, Error::WriteFailed);
  if (flushed && closed && ::rename(temp_.c_str(), path_.c_str()) == 0) {
    done_ = true;
    return {};
  }
  Error e = !flushed ? flushed.error() : !closed ? closeError : errorFromErrno(errno, Error::WriteFailed);
  ::unlink(temp_.c_str());
  done_ = true;
  return fail(e);
}

Status writeFile(std::string_view path, std::string_view bytes) {
  auto file = OutputFile::create(path);
  if (!file) return fail(file.error());
  VYX_TRY(file->writeAll(bytes));
  return file->commit();
}

}  // namespace vyx::report_html
