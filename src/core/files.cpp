#include "core/files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

#include "core/atomic_file.hpp"
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
  VYX_TRY_ASSIGN(auto file, openForReading(path));
  return readOpenFile(file, limit);
}

Expected<std::string> readOpenFile(const OpenFile& file, size_t limit) {
  std::string out;
  VYX_TRY(readOpenFileInto(file, limit, out));
  return out;
}

Status readOpenFileInto(const OpenFile& file, size_t limit, std::string& text) {
  if (file.size >= limit) return fail(Error::StreamTooLong);
  auto readSome = [&](char* into, size_t room) -> Expected<size_t> {
    for (;;) {
      ssize_t n = ::read(file.fd.get(), into, room);
      if (n >= 0) return static_cast<size_t>(n);
      if (errno != EINTR) return fail(errorFromErrno(errno, Error::ReadFailed));
    }
  };
  // The size the file had when its status was taken, read in place.
  text.resize(static_cast<size_t>(file.size));
  size_t have = 0;
  while (have < text.size()) {
    VYX_TRY_ASSIGN(size_t n, readSome(text.data() + have, text.size() - have));
    if (n == 0) break;
    have += n;
  }
  if (have < text.size()) {
    text.resize(have);
    return {};
  }
  // The file may have grown since: the rest in chunks, so that a file that
  // did not grow costs no larger buffer.
  char chunk[65536];
  for (;;) {
    VYX_TRY_ASSIGN(size_t n, readSome(chunk, sizeof(chunk)));
    if (n == 0) return {};
    text.append(chunk, n);
    if (text.size() >= limit) return fail(Error::StreamTooLong);
  }
}

Status writeFile(const std::string& path, std::string_view bytes) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (fd.get() < 0) return fail(errorFromErrno(errno, Error::WriteFailed));
  Status written = writeAllFd(fd.get(), bytes);
  if (written) written = closeChecked(fd);
  // A file cut short (a full disk, a size limit) would pass for a whole one.
  if (!written) ::unlink(path.c_str());
  return written;
}

Status writeFileAtomicBelowLimit(const std::string& path, std::string_view bytes, uint64_t limit) {
  if (bytes.size() >= limit) return fail(Error::StreamTooLong);
  return atomic_file::writeWhole(path, bytes);
}

namespace {

Status makeEach(const std::string& path, std::vector<std::string>* made) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    if (path[i - 1] == '/') continue;  // "a//b": the empty part is no directory
    std::string partial = path.substr(0, i);
    if (::mkdir(partial.c_str(), 0777) == 0) {
      if (made != nullptr) made->push_back(std::move(partial));
    } else if (errno != EEXIST) {
      return fail(errorFromErrno(errno, Error::Unexpected));
    }
  }
  return {};
}

}  // namespace

Status makePath(const std::string& path) {
  if (path.empty()) return {};
  VYX_TRY(makeEach(path, nullptr));
  if (!isDirectory(path)) return fail(Error::NotDir);
  return {};
}

Status makeDirectories(const std::string& path, std::vector<std::string>& made) { return makeEach(path, &made); }

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

namespace {

// Appends unless the file holds `limit` bytes or more before the append
// (`counting` false) or would hold them after it (`counting` true).
// `counting` also keeps to what the readers of such a file take: no link as
// its last component and nothing but a regular file (opened without
// blocking, so a FIFO put in its place cannot hang the writer).
Status appendUnderLimit(const std::string& path, std::string_view bytes, uint64_t limit, bool counting) {
  const int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (counting ? O_NOFOLLOW | O_NONBLOCK : 0);
  Fd fd(::open(path.c_str(), flags, 0666));
  // ENXIO: a FIFO that nobody reads.
  if (fd.get() < 0) return fail(counting && errno == ENXIO ? Error::NotRegularFile : errorFromErrno(errno, Error::WriteFailed));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return fail(errorFromErrno(errno, Error::ReadFailed));
  if (S_ISDIR(st.st_mode)) return fail(Error::IsDir);
  if (counting && !S_ISREG(st.st_mode)) return fail(Error::NotRegularFile);
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  if (size >= limit || (counting && bytes.size() >= limit - size)) return fail(Error::StreamTooLong);
  if (auto s = writeAllFd(fd.get(), bytes); !s) {
    if (S_ISREG(st.st_mode)) (void)::ftruncate(fd.get(), st.st_size);
    return s;
  }
  return closeChecked(fd);
}

}  // namespace

Status appendWithinLimit(const std::string& path, std::string_view bytes, uint64_t limit) {
  return appendUnderLimit(path, bytes, limit, false);
}

Status appendBelowLimit(const std::string& path, std::string_view bytes, uint64_t limit) {
  return appendUnderLimit(path, bytes, limit, true);
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
