#pragma once
// Writing a file that must never be seen half-written: the bytes go to a
// temporary file created exclusively beside the target, which is renamed
// over the target only once it is written and closed whole.

#include <memory>
#include <string>
#include <string_view>

#include "core/errors.hpp"
#include "core/fd.hpp"
#include "core/writer.hpp"

namespace vyx::atomic_file {

// Temporary files are named <target name><kTempInfix><pid of the writer>, or
// <target name><kTempInfix><pid>-<n> when that name is taken. A target name
// too long to take the suffix within one path component is replaced by
// kShortStem in the temporary's name.
inline constexpr std::string_view kTempInfix = ".tmp-";
inline constexpr std::string_view kShortStem = ".vyx";

// A file being written: bytes go to the temporary file (mode 0666 less the
// umask, never through an existing file or link), and commit() renames it
// over the target. Released without a commit, or on any failure, the
// temporary file is removed, so the target is either replaced whole or left
// as it was. Write, close and rename failures are named by their cause
// (NoSpaceLeft, FileTooBig, ...), WriteFailed when there is none.
class AtomicFile final : public Writer {
 public:
  // Beside `path`; writes are buffered `buffer` bytes at a time (0: each
  // write goes straight to the file).
  static Expected<AtomicFile> create(std::string_view path, size_t buffer = 0);
  // Beside the file `name` of the open directory `dirFd`, which must stay
  // open until the file is committed or released. A link named `name` is
  // replaced by the rename, never written through.
  static Expected<AtomicFile> createBeneath(int dirFd, std::string_view name, size_t buffer = 0);

  AtomicFile(AtomicFile&& other) noexcept;
  AtomicFile& operator=(AtomicFile&&) = delete;
  ~AtomicFile() override;

  Status writeAll(std::string_view bytes) override;
  Status commit();

 private:
  AtomicFile(int dirFd, Fd fd, std::string temp, std::string target, size_t buffer);
  // The temporary for `name`, whose directory is `dir` ("" or ending in
  // "/") taken relative to `dirFd`.
  static Expected<AtomicFile> open(int dirFd, std::string_view dir, std::string_view name, size_t buffer);
  Status failWith(Error e);
  void discard();

  int dirFd_;
  Fd fd_;
  std::string temp_;
  std::string target_;
  std::unique_ptr<FdWriter> out_;
};

// Writes `bytes` whole to `path` through an AtomicFile.
Status writeWhole(std::string_view path, std::string_view bytes);

// Removes the temporary files that writers left beside `path` for
// processes that no longer exist (a writer killed between writing and
// renaming). Files of running processes, this one included, are kept.
void removeStaleTemporaries(const std::string& path);

}  // namespace vyx::atomic_file
