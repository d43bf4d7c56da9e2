#include "authoring/output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "core/writer.hpp"

namespace vyx::output_file {

namespace {

// The directories this call made, removed again (deepest first) unless the
// write succeeds.
class CreatedDirs {
 public:
  CreatedDirs() = default;
  CreatedDirs(const CreatedDirs&) = delete;
  CreatedDirs& operator=(const CreatedDirs&) = delete;
  ~CreatedDirs() {
    for (auto it = dirs_.rbegin(); it != dirs_.rend(); ++it) ::rmdir(it->c_str());
  }
  void add(std::string dir) { dirs_.push_back(std::move(dir)); }
  void keep() { dirs_.clear(); }

 private:
  std::vector<std::string> dirs_;
};

// The directory part of the path: everything before its last "/", or ""
// when it has none.
std::string parentOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

Status makeParents(const std::string& dir, CreatedDirs& created) {
  if (dir.empty()) return {};
  for (size_t i = 1; i <= dir.size(); ++i) {
    if (i < dir.size() && dir[i] != '/') continue;
    if (dir[i - 1] == '/') continue;  // "a//b": the empty part is no directory
    std::string partial = dir.substr(0, i);
    if (::mkdir(partial.c_str(), 0777) == 0) {
      created.add(std::move(partial));
    } else if (errno != EEXIST) {
      return fail(errorFromErrno(errno, Error::Unexpected));
    }
  }
  return {};
}

// The writer's error names the cause (NoSpaceLeft, FileTooBig, ...).
Status writeFd(int fd, std::string_view bytes) {
  FdWriter w(fd);
  VYX_TRY(w.writeAll(bytes));
  return w.flush();
}

// Writes and closes the file this call just created; removes it on failure.
Status fillCreated(int fd, const std::string& path, std::string_view bytes) {
  Status written = writeFd(fd, bytes);
  if (::close(fd) != 0 && errno != EINTR && written) written = fail(errorFromErrno(errno, Error::WriteFailed));
  if (!written) ::unlink(path.c_str());
  return written;
}

Status writeExclusive(const std::string& path, std::string_view bytes) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return fail(errorFromErrno(errno, Error::WriteFailed));
  return fillCreated(fd, path, bytes);
}

// The temporary file goes into the output's directory (so that the rename
// stays on one file system) under a short name of its own, whatever the
// length of the output's name.
Status writeReplacing(const std::string& path, const std::string& dir, std::string_view bytes) {
  std::string tmp;
  int fd = -1;
  for (unsigned attempt = 0; fd < 0; ++attempt) {
    tmp = dir.empty() ? std::string() : (dir.back() == '/' ? dir : dir + "/");
    tmp += ".vyx-" + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".tmp";
    fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && (errno != EEXIST || attempt >= 100)) return fail(errorFromErrno(errno, Error::WriteFailed));
  }
  VYX_TRY(fillCreated(fd, tmp, bytes));
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    Error e = errorFromErrno(errno, Error::WriteFailed);
    ::unlink(tmp.c_str());
    return fail(e);
  }
  return {};
}

}  // namespace

Status writeWhole(const std::string& path, std::string_view bytes, bool replace) {
  CreatedDirs created;
  const std::string dir = parentOf(path);
  VYX_TRY(makeParents(dir, created));
  VYX_TRY(replace ? writeReplacing(path, dir, bytes) : writeExclusive(path, bytes));
  created.keep();
  return {};
}

}  // namespace vyx::output_file
