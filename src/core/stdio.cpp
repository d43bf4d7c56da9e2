#include "core/stdio.hpp"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vyx::stdio {

int64_t wallClockMs() {
  timespec ts{};
  if (::clock_gettime(CLOCK_REALTIME, &ts) != 0) return 0;
  // seconds * 1e9 + nanoseconds, divided by 1e6 with truncation toward zero.
  // (The real-time clock is past the epoch, so both parts are non-negative.)
  return static_cast<int64_t>(ts.tv_sec) * 1000 + static_cast<int64_t>(ts.tv_nsec) / 1000000;
}

Status LineReader::fill() {
  if (start_ > 0 && start_ >= buffer_.size() / 2) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  char chunk[65536];
  for (;;) {
    ssize_t n = ::read(fd_, chunk, sizeof(chunk));
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errorFromErrno(errno, Error::ReadFailed));
    }
    if (n == 0) {
      eof_ = true;
      return {};
    }
    buffer_.append(chunk, static_cast<size_t>(n));
    if (quickAck_) {
      // The system leaves quick acknowledgement mode by itself, so it is set
      // again after every read.
      int on = 1;
      (void)::setsockopt(fd_, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof(on));
    }
    return {};
  }
}

Expected<std::optional<std::string>> LineReader::readLine(size_t limit) {
  if (skipping_) {
    // Drop the rest of the over-long line refused by the previous call.
    for (;;) {
      const void* found =
          start_ < buffer_.size() ? std::memchr(buffer_.data() + start_, '\n', buffer_.size() - start_) : nullptr;
      if (found != nullptr) {
        start_ = static_cast<size_t>(static_cast<const char*>(found) - buffer_.data()) + 1;
        skipping_ = false;
        break;
      }
      buffer_.clear();
      start_ = 0;
      if (eof_) {
        skipping_ = false;
        return std::optional<std::string>();
      }
      VYX_TRY(fill());
    }
  }
  size_t scanned = start_;
  for (;;) {
    const char* base = buffer_.data();
    const void* nl = scanned < buffer_.size() ? std::memchr(base + scanned, '\n', buffer_.size() - scanned) : nullptr;
    if (nl != nullptr) {
      size_t pos = static_cast<size_t>(static_cast<const char*>(nl) - base);
      if (pos - start_ >= limit) {
        // Drop the over-long line so a caller that carries on starts afresh.
        start_ = pos + 1;
        return fail(Error::StreamTooLong);
      }
      std::string line(base + start_, pos - start_);
      start_ = pos + 1;
      return std::optional<std::string>(std::move(line));
    }
    scanned = buffer_.size();
    if (scanned - start_ >= limit) {
      // Fail now, without waiting for the line's end (which may never come);
      // the next call skips what is left of this line.
      buffer_.clear();
      start_ = 0;
      skipping_ = true;
      return fail(Error::StreamTooLong);
    }
    if (eof_) {
      if (scanned == start_) return std::optional<std::string>();
      std::string line(buffer_.data() + start_, scanned - start_);
      start_ = buffer_.size();
      return std::optional<std::string>(std::move(line));
    }
    size_t offset = scanned - start_;
    VYX_TRY(fill());
    scanned = start_ + offset;
  }
}

Expected<std::string_view> LineReader::peekLineHead(size_t limit) {
  size_t scanned = start_;
  for (;;) {
    std::string_view pending(buffer_.data() + start_, buffer_.size() - start_);
    size_t end = pending.find_first_of("\r\n", scanned - start_);
    if (end != std::string_view::npos) return pending.substr(0, std::min(end, limit));
    if (pending.size() >= limit || eof_) return pending.substr(0, std::min(pending.size(), limit));
    scanned = buffer_.size();
    size_t offset = scanned - start_;
    VYX_TRY(fill());
    scanned = start_ + offset;
  }
}

namespace {
void doNothing(int) {}
}  // namespace

struct ProcessState::Saved {
  struct sigaction io {};
  struct sigaction pipe {};
  struct sigaction child {};
  bool installed = false;
  bool childReset = false;
};

ProcessState::ProcessState() : saved_(std::make_unique<Saved>()) {
  struct sigaction action {};
  action.sa_handler = doNothing;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  bool ok = ::sigaction(SIGIO, &action, &saved_->io) == 0;
  ok = ::sigaction(SIGPIPE, &action, &saved_->pipe) == 0 && ok;
  saved_->installed = ok;
  // Children are waited for by pid; an inherited SIGCHLD of SIG_IGN would
  // have the kernel reap them first and make every wait fail.
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  saved_->childReset = ::sigaction(SIGCHLD, &dfl, &saved_->child) == 0;
}

ProcessState::~ProcessState() {
  if (saved_->installed) {
    ::sigaction(SIGIO, &saved_->io, nullptr);
    ::sigaction(SIGPIPE, &saved_->pipe, nullptr);
  }
  if (saved_->childReset) ::sigaction(SIGCHLD, &saved_->child, nullptr);
}

}  // namespace vyx::stdio
