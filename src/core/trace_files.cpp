#include "core/trace_files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "core/limits.hpp"
#include "core/trace_layout.hpp"

namespace vyx::trace_files {
namespace {

// The components of a relative path, or nothing when the path could leave
// the directory it is taken in.
bool splitComponents(std::string_view relative, std::vector<std::string>& parts) {
  if (relative.starts_with('/')) return false;
  while (!relative.empty()) {
    size_t slash = relative.find('/');
    std::string_view part = relative.substr(0, slash);
    relative.remove_prefix(slash == std::string_view::npos ? relative.size() : slash + 1);
    if (part.empty()) continue;
    if (part == "..") return false;
    parts.emplace_back(part);
  }
  return !parts.empty();
}

int openAtRetrying(int at, const std::string& name, int flags) {
  int fd;
  do {
    fd = ::openat(at, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, 0);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// The failure of opening `name` in `at`. A link opened as a directory fails
// with ENOTDIR, not ELOOP: it is told apart from a file here, so that a link
// is SymLinkLoop wherever it stands.
Error openError(int err, int at, const std::string& name) {
  if (err == ENXIO) return Error::NotRegularFile;  // a socket
  struct stat st {};
  if (err == ENOTDIR && ::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
    return Error::SymLinkLoop;
  }
  return errorFromErrno(err, Error::ReadFailed);
}

// Opens every component but the last as a directory. `parent` ends up owning
// the innermost directory opened (invalid when that is `dir` itself).
Expected<int> walkToParent(int dir, const std::vector<std::string>& parts, Fd& parent) {
  int at = dir;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    int fd = openAtRetrying(at, parts[i], O_RDONLY | O_DIRECTORY);
    if (fd < 0) return fail(openError(errno, at, parts[i]));
    parent = Fd(fd);  // the previous directory is no longer needed
    at = parent.get();
  }
  return at;
}

Status checkRegular(const struct stat& st) {
  if (S_ISLNK(st.st_mode)) return fail(Error::SymLinkLoop);
  if (S_ISDIR(st.st_mode)) return fail(Error::IsDir);
  if (!S_ISREG(st.st_mode)) return fail(Error::NotRegularFile);
  return {};
}

Error asMissing(Error e) { return namesNothingInside(e) ? Error::FileNotFound : e; }

}  // namespace

Expected<Fd> openDirectory(std::string_view path) {
  std::string p(path.empty() ? std::string_view(".") : path);
  int fd;
  do {
    fd = ::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return fail(errorFromErrno(errno, Error::ReadFailed));
  return Fd(fd);
}

Expected<Fd> openBeneath(int dir, std::string_view relative, int flags) {
  std::vector<std::string> parts;
  if (!splitComponents(relative, parts)) return fail(Error::FileNotFound);
  Fd parent;
  VYX_TRY_ASSIGN(auto at, walkToParent(dir, parts, parent));
  int fd = openAtRetrying(at, parts.back(), flags);
  if (fd < 0) return fail(openError(errno, at, parts.back()));
  return Fd(fd);
}

Expected<files::OpenFile> openFileBeneath(int dir, std::string_view relative) {
  std::vector<std::string> parts;
  if (!splitComponents(relative, parts)) {
    // An empty path (or only "/"s after the directory's own) is the
    // directory itself.
    bool itself = !relative.starts_with('/') && relative.find_first_not_of('/') == std::string_view::npos;
    return fail(itself ? Error::IsDir : Error::FileNotFound);
  }
  Fd parent;
  VYX_TRY_ASSIGN(auto at, walkToParent(dir, parts, parent));
  // Opening a device can have effects of its own: the type is looked at
  // first, and again on what was opened in case it changed in between.
  struct stat st {};
  if (::fstatat(at, parts.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return fail(openError(errno, at, parts.back()));
  }
  VYX_TRY(checkRegular(st));
  int raw = openAtRetrying(at, parts.back(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
  if (raw < 0) return fail(openError(errno, at, parts.back()));
  Fd fd(raw);
  if (::fstat(fd.get(), &st) != 0) return fail(errorFromErrno(errno, Error::ReadFailed));
  VYX_TRY(checkRegular(st));
  return files::OpenFile{std::move(fd), static_cast<uint64_t>(st.st_size)};
}

bool namesNothingInside(Error e) { return e == Error::FileNotFound || e == Error::SymLinkLoop; }

std::string_view manifestRelative(std::string_view path) {
  while (path.starts_with('/')) path.remove_prefix(1);
  return path;
}

Expected<files::OpenFile> openTraceFile(std::string_view traceDir, std::string_view relative) {
  VYX_TRY_ASSIGN(auto dir, openDirectory(traceDir));
  auto file = openFileBeneath(dir.get(), relative);
  if (!file) return fail(asMissing(file.error()));
  return file;
}

Expected<std::string> readFileBeneath(int dir, std::string_view relative, size_t limit) {
  auto file = openFileBeneath(dir, relative);
  if (!file) return fail(asMissing(file.error()));
  return files::readOpenFile(*file, limit);
}

Expected<std::string> readTraceFile(std::string_view traceDir, std::string_view relative, size_t limit) {
  VYX_TRY_ASSIGN(auto file, openTraceFile(traceDir, relative));
  return files::readOpenFile(file, limit);
}

Expected<json::Value> readManifestObject(std::string_view traceDir) {
  VYX_TRY_ASSIGN(auto text, readTraceFile(traceDir, trace_layout::kManifestFile, limits::kManifestReadBytes));
  VYX_TRY_ASSIGN(auto root, json::parseValue(text));
  if (!root.isObject()) return fail(Error::InvalidTraceManifest);
  return root;
}

}  // namespace vyx::trace_files
