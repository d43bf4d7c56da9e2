#include "core/atomic_file.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "core/paths.hpp"

namespace vyx::atomic_file {

namespace {

// How many names are tried before a temporary file is given up on.
constexpr unsigned kAttempts = 100;
// The longest suffix: the infix, a pid and "-99".
constexpr size_t kLongestSuffix = kTempInfix.size() + 10 + 3;

std::string tempName(std::string_view name, unsigned attempt) {
  std::string temp(name.size() + kLongestSuffix <= NAME_MAX ? name : kShortStem);
  temp += kTempInfix;
  temp += std::to_string(::getpid());
  if (attempt > 0) temp += "-" + std::to_string(attempt);
  return temp;
}

// A plain decimal number without sign or leading zero, as the writers make.
bool plainNumber(std::string_view digits, size_t longest) {
  return !digits.empty() && digits.size() <= longest && digits[0] != '0' &&
         std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

AtomicFile::AtomicFile(int dirFd, Fd fd, std::string temp, std::string target, size_t buffer)
    : dirFd_(dirFd),
      fd_(std::move(fd)),
      temp_(std::move(temp)),
      target_(std::move(target)),
      out_(std::make_unique<FdWriter>(fd_.get(), buffer)) {}

Expected<AtomicFile> AtomicFile::open(int dirFd, std::string_view dir, std::string_view name, size_t buffer) {
  for (unsigned attempt = 0; attempt < kAttempts; ++attempt) {
    std::string temp = std::string(dir) + tempName(name, attempt);
    int fd;
    do {
      fd = ::openat(dirFd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) return AtomicFile(dirFd, Fd(fd), std::move(temp), std::string(dir) + std::string(name), buffer);
    if (errno != EEXIST) return fail(errorFromErrno(errno, Error::WriteFailed));
  }
  return fail(Error::PathAlreadyExists);
}

Expected<AtomicFile> AtomicFile::create(std::string_view path, size_t buffer) {
  const std::string_view name = paths::baseName(path);
  return open(AT_FDCWD, path.substr(0, path.size() - name.size()), name, buffer);
}

Expected<AtomicFile> AtomicFile::createBeneath(int dirFd, std::string_view name, size_t buffer) {
  return open(dirFd, "", name, buffer);
}

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : dirFd_(other.dirFd_),
      fd_(std::move(other.fd_)),
      temp_(std::move(other.temp_)),
      target_(std::move(other.target_)),
      out_(std::move(other.out_)) {
  other.temp_.clear();
}

AtomicFile::~AtomicFile() { discard(); }

void AtomicFile::discard() {
  out_.reset();
  fd_.reset();
  if (!temp_.empty()) (void)::unlinkat(dirFd_, temp_.c_str(), 0);
  temp_.clear();
}

Status AtomicFile::failWith(Error e) {
  discard();
  return fail(e);
}

Status AtomicFile::writeAll(std::string_view bytes) {
  if (!out_) return fail(Error::WriteFailed);
  return out_->writeAll(bytes);
}

Status AtomicFile::commit() {
  if (!out_) return fail(Error::WriteFailed);
  if (auto flushed = out_->flush(); !flushed) return failWith(flushed.error());
  out_.reset();
  if (::close(fd_.release()) != 0 && errno != EINTR) return failWith(errorFromErrno(errno, Error::WriteFailed));
  // The rename replaces whatever the target is by then, a link included,
  // and never writes through it.
  if (::renameat(dirFd_, temp_.c_str(), dirFd_, target_.c_str()) != 0) {
    return failWith(errorFromErrno(errno, Error::WriteFailed));
  }
  temp_.clear();
  return {};
}

Status writeWhole(std::string_view path, std::string_view bytes) {
  VYX_TRY_ASSIGN(auto file, AtomicFile::create(path));
  VYX_TRY(file.writeAll(bytes));
  return file.commit();
}

void removeStaleTemporaries(const std::string& path) {
  const std::string dir(paths::directoryOf(path));
  const std::string prefix = std::string(paths::baseName(path)) + std::string(kTempInfix);
  DIR* raw = ::opendir(dir.c_str());
  if (raw == nullptr) return;
  std::vector<std::string> stale;
  while (const struct dirent* entry = ::readdir(raw)) {
    std::string_view name = entry->d_name;
    if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) continue;
    std::string_view digits = name.substr(prefix.size());
    // <pid> or <pid>-<n>, as tempName makes them: anything else (0, a
    // leading zero, a sign) is not a writer's.
    if (size_t dash = digits.find('-'); dash != std::string_view::npos) {
      if (!plainNumber(digits.substr(dash + 1), 9)) continue;
      digits = digits.substr(0, dash);
    }
    if (!plainNumber(digits, 9)) continue;
    pid_t pid = 0;
    for (char c : digits) pid = pid * 10 + (c - '0');
    if (::kill(pid, 0) != 0 && errno == ESRCH) stale.emplace_back(name);
  }
  ::closedir(raw);
  for (const std::string& name : stale) ::unlink((dir + "/" + name).c_str());
}

}  // namespace vyx::atomic_file
