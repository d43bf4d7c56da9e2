#pragma once
// Whole-file reading and writing with the program's size limits and modes.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.hpp"
#include "core/fd.hpp"

namespace vyx::files {

// A regular file open for reading, with its size when it was opened.
struct OpenFile {
  Fd fd;
  uint64_t size = 0;
};

// Opens a file for reading without ever waiting on it: a directory fails
// with IsDir; a FIFO, socket or device fails at once with NotRegularFile.
// Open failures come back as FileNotFound, AccessDenied and the like.
Expected<OpenFile> openForReading(const std::string& path);

// Reads the whole file: every file the program reads by a path it was given
// (scenarios, configuration, traces, flows) goes through here. A file of
// `limit` bytes or more fails with StreamTooLong; a directory fails with
// IsDir; a FIFO, socket or device fails at once with NotRegularFile (it is
// never read, so it cannot block).
Expected<std::string> readFileLimited(const std::string& path, size_t limit);

// Reads the rest of an open file whole, with readFileLimited's limit rule.
Expected<std::string> readOpenFile(const OpenFile& file, size_t limit);

// The same into `text`, whose memory is reused (a reader of many files
// keeps one buffer).
Status readOpenFileInto(const OpenFile& file, size_t limit, std::string& text);

// Creates or truncates the file (mode 0666 less the umask) and writes it
// whole. A write or close that fails removes the file, so that no cut-short
// copy is left; the error names the cause (NoSpaceLeft, FileTooBig, ...).
Status writeFile(const std::string& path, std::string_view bytes);

// Writes `bytes` whole through atomic_file::writeWhole unless they would
// make the file, read back under `limit` (readFileLimited), `limit` bytes or
// more: then StreamTooLong and nothing is written.
Status writeFileAtomicBelowLimit(const std::string& path, std::string_view bytes, uint64_t limit);

// Creates the directory and its missing parents (0777 less the umask); a
// path that is there but no directory fails with NotDir.
Status makePath(const std::string& path);

// Creates the missing directories of `path` (0777 less the umask), adding
// each one it makes to `made`, parents first, so that a caller can take them
// back. Empty components ("a//b") are skipped; that the path ends in a
// directory is left to whatever opens beneath it.
Status makeDirectories(const std::string& path, std::vector<std::string>& made);

// Removes a file; a missing file is not an error.
Status removeFileIfExists(const std::string& path);

// Removes a file or a directory with everything below it (symbolic links
// are removed, not followed); a missing path is not an error.
Status removeTree(const std::string& path);

// Appends bytes to a file (created 0666 less the umask when missing) unless
// it already holds `limit` bytes or more: then StreamTooLong and nothing is
// written. A write that fails part-way cuts the file back to its old length,
// so it never ends in a partial record.
Status appendWithinLimit(const std::string& path, std::string_view bytes, uint64_t limit);

// Appends bytes to a file that is read back under `limit` (readFileLimited):
// an append that would take it to `limit` bytes or past fails with
// StreamTooLong and writes nothing, so the file always stays readable whole.
// Like its readers it follows no link as the file's last component and
// takes only a regular file (NotRegularFile; a link fails as SymLinkLoop or
// its errno's error). Otherwise as appendWithinLimit.
Status appendBelowLimit(const std::string& path, std::string_view bytes, uint64_t limit);

bool exists(const std::string& path);
bool isDirectory(const std::string& path);

}  // namespace vyx::files
