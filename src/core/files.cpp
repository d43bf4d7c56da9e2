#include "core/files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "core/fd.hpp"

namespace vyx::files {

namespace {

Status writeAllFd(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errorFromErrno(errno, Error::WriteFailed));
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return {};
}

Status closeChecked(Fd& fd) {
  int raw = fd.release();
  if (::close(raw) != 0 && errno != EINTR) return fail(errorFromErrno(errno, Error::WriteFailed));
  return {};
}

// Directories fail with IsDir; FIFOs, sockets and devices, which could block
// a reader forever or never end, with NotRegularFile.
Status checkRegular(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return fail(Error::IsDir);
  if (!S_ISREG(st.st_mode)) return fail(Error::NotRegularFile);
  return {};
}

}  // namespace

Expected<OpenFile> openForReading(const std::string& path) {
  // The type is checked before opening (opening a device can have effects of
  // its own) and again on the open file, which O_NONBLOCK keeps from waiting
  // for a FIFO's writer in between.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) VYX_TRY(checkRegular(st));
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd.valid()) {
    if (errno == ENXIO) return fail(Error::NotRegularFile);  // a socket
    return fail(errorFromErrno(errno, Error::ReadFailed));
  }
  if (::fstat(fd.get(), &st) != 0) return fail(errorFromErrno(errno, Error::ReadFailed));
  VYX_TRY(checkRegular(st));
  return OpenFile{std::move(fd), static_cast<uint64_t>(st.st_size)};
}

Expected<std::string> readFileLimited(const std::string& path, size_t limit) {
  auto file = openForReading(path);
  if (!file) return fail(file.error());
  const Fd& fd = file->fd;
  std::string out;
  if (file->size > 0 && file->size < limit) out.reserve(static_cast<size_t>(file->size));
  char chunk[65536];
  for (;;) {
    ssize_t n = ::read(fd.get(), chunk, sizeof(chunk));
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errorFromErrno(errno, Error::ReadFailed));
    }
    if (n == 0) break;
    out.append(chunk, static_cast<size_t>(n));
    if (out.size() >= limit) return fail(Error::StreamTooLong);
  }
  return out;
}

Status writeFile(const std::string& path, std::string_view bytes) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (fd.get() < 0) return fail(errorFromErrno(errno, Error::WriteFailed));
  if (auto s = writeAllFd(fd.get(), bytes); !s) return s;
  return closeChecked(fd);
}

Status writeFileAtomic(const std::string& path, std::string_view bytes) {
  std::string tmp = path + ".tmp-" + std::to_string(::getpid());
  if (auto s = writeFile(tmp, bytes); !s) {
    ::unlink(tmp.c_str());
    return s;
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    Error e = errorFromErrno(errno, Error::WriteFailed);
    ::unlink(tmp.c_str());
    return fail(e);
  }
  return {};
}

Status makePath(const std::string& path) {
  if (path.empty()) return {};
  std::string partial;
  partial.reserve(path.size());
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || (path[i] == '/' && i > 0)) {
      partial.assign(path, 0, i);
      if (::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) return fail(errorFromErrno(errno, Error::Unexpected));
    }
  }
  if (!isDirectory(path)) return fail(Error::NotDir);
  return {};
}

Status removeFileIfExists(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return fail(errorFromErrno(errno, Error::Unexpected));
  return {};
}

Status removeTree(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
  if (ec) return fail(errorFromErrno(ec.value()));
  return {};
}

Status appendWithinLimit(const std::string& path, std::string_view bytes, uint64_t limit) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666));
  if (fd.get() < 0) return fail(errorFromErrno(errno, Error::WriteFailed));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return fail(errorFromErrno(errno, Error::ReadFailed));
  if (S_ISDIR(st.st_mode)) return fail(Error::IsDir);
  if (static_cast<uint64_t>(st.st_size) >= limit) return fail(Error::StreamTooLong);
  if (auto s = writeAllFd(fd.get(), bytes); !s) {
    if (S_ISREG(st.st_mode)) (void)::ftruncate(fd.get(), st.st_size);
    return s;
  }
  return closeChecked(fd);
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace vyx::files
