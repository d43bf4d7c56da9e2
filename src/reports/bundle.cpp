#include "reports/bundle.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "core/atomic_file.hpp"
#include "core/fd.hpp"
#include "core/files.hpp"
#include "core/json.hpp"
#include "core/memory.hpp"
#include "core/trace_files.hpp"
#include "core/trace_layout.hpp"
#include "core/writer.hpp"
#include "reports/bundle_redaction.hpp"
#include "reports/bundle_tar.hpp"
#include "reports/report_html.hpp"

namespace vyx::bundle {
namespace {

using trace_layout::kArtifactsDir;
using trace_layout::kEventsFile;
using trace_layout::kManifestFile;
using trace_layout::kReportFile;
// What redaction reads into memory, one file at a time.
constexpr uint64_t kRedactedFileLimit = 64ull * 1024 * 1024;
constexpr size_t kCopyBuffer = 16 * 1024;

using trace_files::openBeneath;
using trace_files::openDirectory;

Expected<bool> fileExistsIn(int dir, std::string_view name) {
  auto fd = openBeneath(dir, name, O_RDONLY | O_NONBLOCK);
  if (fd) return true;
  if (fd.error() == Error::FileNotFound) return false;
  return fail(fd.error());
}

// Longest entry name a header can hold: prefix, slash, name.
constexpr size_t kMaxEntryName = bundle_tar::kPrefixFieldSize + 1 + bundle_tar::kNameFieldSize;

// Depth-first walk of one directory (already open), appending
// "<prefix>/<child>" for each regular file.
Status walk(int dirFd, const std::string& prefix, std::vector<std::string>& names) {
  int listFd = ::dup(dirFd);
  if (listFd < 0) return fail(errorFromErrno(errno, Error::SystemResources));
  DIR* dir = ::fdopendir(listFd);
  if (dir == nullptr) {
    ::close(listFd);
    return fail(errorFromErrno(errno, Error::ReadFailed));
  }
  std::vector<std::string> subdirectories;
  Status status;
  for (;;) {
    errno = 0;
    dirent* entry = ::readdir(dir);
    if (entry == nullptr) {
      if (errno != 0) status = fail(errorFromErrno(errno, Error::ReadFailed));
      break;
    }
    std::string_view child(entry->d_name);
    if (child == "." || child == "..") continue;
    struct stat st {};
    if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) continue;  // removed while listing
      status = fail(errorFromErrno(errno, Error::ReadFailed));
      break;
    }
    std::string name = prefix;
    name += '/';
    name += child;
    if (S_ISREG(st.st_mode)) {
      names.push_back(std::move(name));
    } else if (S_ISDIR(st.st_mode)) {
      subdirectories.push_back(std::move(name));
    }
  }
  ::closedir(dir);
  if (!status) return status;

  for (const std::string& sub : subdirectories) {
    // Nothing below a directory whose own name is already this long could
    // be stored, and refusing here bounds the depth of the walk.
    if (sub.size() + 2 > kMaxEntryName) return fail(Error::ArchivePathTooLong);
    std::string_view child = std::string_view(sub).substr(prefix.size() + 1);
    auto fd = openBeneath(dirFd, child, O_RDONLY | O_DIRECTORY);
    if (!fd) {
      if (fd.error() == Error::FileNotFound) continue;
      return fail(fd.error());
    }
    VYX_TRY(walk(fd->get(), sub, names));
  }
  return {};
}

Status collectIn(int traceFd, std::string_view relativeDir, std::vector<std::string>& names) {
  auto dir = openBeneath(traceFd, relativeDir, O_RDONLY | O_DIRECTORY);
  if (!dir) {
    // Missing, a symbolic link, or not a directory: nothing to pack.
    Error e = dir.error();
    if (e == Error::FileNotFound || e == Error::SymLinkLoop || e == Error::NotDir) return {};
    return fail(e);
  }
  return walk(dir->get(), std::string(relativeDir), names);
}

// Header, exactly `size` bytes of the file, padding.
Status copyEntry(int fd, std::string_view name, uint64_t size, Writer& out) {
  bundle_tar::HeaderRecord record{};
  VYX_TRY(bundle_tar::writeHeader(record, name, size));
  VYX_TRY(out.writeAll(std::string_view(record.data(), record.size())));
  char buffer[kCopyBuffer];
  uint64_t left = size;
  while (left > 0) {
    size_t want = left < kCopyBuffer ? static_cast<size_t>(left) : kCopyBuffer;
    ssize_t n = ::read(fd, buffer, want);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errorFromErrno(errno, Error::ReadFailed));
    }
    if (n == 0) return fail(Error::UnexpectedEndOfStream);
    VYX_TRY(out.writeAll(std::string_view(buffer, static_cast<size_t>(n))));
    left -= static_cast<uint64_t>(n);
  }
  return bundle_tar::writePadding(out, size);
}

json::Value redactionRecord(bool omitScreenshots) {
  auto member = [](std::string key, json::Value value) { return json::Member{std::move(key), std::move(value)}; };
  auto text = [](std::string_view s) {
    json::Value v;
    v.kind = json::Kind::String;
    v.string = std::string(s);
    return v;
  };
  auto flag = [](bool b) {
    json::Value v;
    v.kind = json::Kind::Bool;
    v.boolean = b;
    return v;
  };
  json::Value record;
  record.kind = json::Kind::Object;
  record.object.push_back(member("enabled", flag(true)));
  record.object.push_back(member("screenshots", text(omitScreenshots ? "omitted" : "placeholder")));
  record.object.push_back(member("screenRecordings", text("omitted")));
  record.object.push_back(member("textArtifacts", text("scrubbed")));
  record.object.push_back(member("screenshotsOmitted", flag(omitScreenshots)));
  record.object.push_back(member("screenshotsRedacted", flag(!omitScreenshots)));
  record.object.push_back(member("screenRecordingsOmitted", flag(true)));
  return record;
}

Expected<std::string> redactManifest(std::string_view text, bool omitScreenshots) {
  VYX_TRY_ASSIGN(auto parsed, json::parseValue(text));
  if (!parsed.isObject()) return bundle_redaction::redactJsonishText(text);
  parsed.set("redaction", redactionRecord(omitScreenshots));
  StringWriter w;
  VYX_TRY(bundle_redaction::writeJsonValueScrubbed(w, parsed));
  VYX_TRY(w.writeByte('\n'));
  return w.take();
}

bool endsWithAny(std::string_view name, std::initializer_list<std::string_view> suffixes) {
  for (std::string_view suffix : suffixes) {
    if (name.ends_with(suffix)) return true;
  }
  return false;
}

// The file read and its rewritten content, kept from one entry to the next.
struct RedactionBuffers {
  std::string input;
  std::string output;
};

Status writeRedactedEntry(int traceFd, const std::string& name, const BundleExportOptions& options,
                          RedactionBuffers& buffers, Writer& out) {
  if (endsWithAny(name, {".jpg", ".jpeg", ".mp4", ".webm"})) return {};
  if (name.ends_with(".png")) {
    if (options.omitScreenshots) return {};
    return bundle_tar::writeBytes(name, bundle_redaction::kRedactedScreenshotPng, out);
  }
  VYX_TRY_ASSIGN(auto file, trace_files::openFileBeneath(traceFd, name));
  // A file of 64 MiB or more is refused.
  VYX_TRY(files::readOpenFileInto(file, kRedactedFileLimit, buffers.input));
  file.fd.reset();

  std::string_view content;
  if (name == kManifestFile) {
    VYX_TRY_ASSIGN(auto manifest, redactManifest(buffers.input, options.omitScreenshots));
    buffers.output = std::move(manifest);
    content = buffers.output;
  } else if (name.ends_with(".json") || name == kEventsFile) {
    bundle_redaction::redactJsonishTextInto(buffers.input, buffers.output);
    content = buffers.output;
  } else if (endsWithAny(name, {".xml", ".txt", ".log", ".html"})) {
    bundle_redaction::redactFreeTextInto(buffers.input, buffers.output);
    content = buffers.output;
  } else {
    content = buffers.input;
  }
  return bundle_tar::writeBytes(name, content, out);
}

Status writeEntry(int traceFd, const std::string& name, Writer& out) {
  VYX_TRY(bundle_tar::checkEntryName(name));
  VYX_TRY_ASSIGN(auto file, trace_files::openFileBeneath(traceFd, name));
  return copyEntry(file.fd.get(), name, file.size, out);
}

}  // namespace

Status exportTraceBundleWithOptions(std::string_view traceDir, std::string_view outPath,
                                    const BundleExportOptions& options) {
  auto dir = openDirectory(traceDir);
  if (!dir) return fail(dir.error() == Error::FileNotFound ? Error::MissingTraceManifest : dir.error());
  int traceFd = dir->get();

  VYX_TRY_ASSIGN(auto hasManifest, fileExistsIn(traceFd, kManifestFile));
  if (!hasManifest) return fail(Error::MissingTraceManifest);
  VYX_TRY_ASSIGN(auto hasEvents, fileExistsIn(traceFd, kEventsFile));
  if (!hasEvents) return fail(Error::MissingTraceEvents);
  VYX_TRY_ASSIGN(auto hasReport, fileExistsIn(traceFd, kReportFile));

  std::vector<std::string> entries{std::string(kManifestFile), std::string(kEventsFile)};
  if (hasReport) entries.emplace_back(kReportFile);
  std::vector<std::string> artifacts;
  VYX_TRY(collectIn(traceFd, kArtifactsDir, artifacts));
  // Names from one walk are unique, so any sort gives the one bytewise order.
  std::sort(artifacts.begin(), artifacts.end());
  for (std::string& name : artifacts) entries.push_back(std::move(name));

  // Every name is checked before anything is written, and an output path
  // that names one of the trace's own files is refused: renaming the bundle
  // over it would lose that file.
  struct stat outStat {};
  bool outExists = ::stat(std::string(outPath).c_str(), &outStat) == 0;
  for (const std::string& name : entries) {
    VYX_TRY(bundle_tar::checkEntryName(name));
    bundle_tar::HeaderRecord probe{};
    VYX_TRY(bundle_tar::writeHeader(probe, name, 0));
    struct stat st {};
    if (outExists && ::fstatat(traceFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_dev == outStat.st_dev &&
        st.st_ino == outStat.st_ino) {
      return fail(Error::PathAlreadyExists);
    }
  }

  // Written beside the output path and renamed over it when complete.
  VYX_TRY_ASSIGN(auto out, atomic_file::AtomicFile::create(outPath, report_html::kOutputBuffer));
  {
    RedactionBuffers buffers;
    // Redaction parses one JSON file after another into a tree of many small
    // allocations; faulting freed memory in again for the next file would
    // cost more than the parsing itself.
    memory::KeepFreedMemory warm(options.redact);
    for (const std::string& name : entries) {
      if (options.redact) {
        VYX_TRY(writeRedactedEntry(traceFd, name, options, buffers, out));
      } else {
        VYX_TRY(writeEntry(traceFd, name, out));
      }
    }
  }
  VYX_TRY(bundle_tar::writeEnd(out));
  return out.commit();
}

}  // namespace vyx::bundle
