#include "authoring/output_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "core/atomic_file.hpp"
#include "core/files.hpp"
#include "core/paths.hpp"
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
    for (auto it = dirs.rbegin(); it != dirs.rend(); ++it) ::rmdir(it->c_str());
  }
  void keep() { dirs.clear(); }

  std::vector<std::string> dirs;
};

// The writer's error names the cause (NoSpaceLeft, FileTooBig, ...).
Status writeFd(int fd, std::string_view bytes) {
  FdWriter w(fd);
  VYX_TRY(w.writeAll(bytes));
  return w.flush();
}

// Writes and closes the file this call just created; removes it on failure.
Status writeExclusive(const std::string& path, std::string_view bytes) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return fail(errorFromErrno(errno, Error::WriteFailed));
  Status written = writeFd(fd, bytes);
  if (::close(fd) != 0 && errno != EINTR && written) written = fail(errorFromErrno(errno, Error::WriteFailed));
  if (!written) ::unlink(path.c_str());
  return written;
}

}  // namespace

Status writeWhole(const std::string& path, std::string_view bytes, bool replace) {
  CreatedDirs created;
  VYX_TRY(files::makeDirectories(std::string(paths::directoryOf(path)), created.dirs));
  VYX_TRY(replace ? atomic_file::writeWhole(path, bytes) : writeExclusive(path, bytes));
  created.keep();
  return {};
}

}  // namespace vyx::output_file
