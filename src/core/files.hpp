#pragma once
// Whole-file reading and writing with the program's size limits and modes.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/errors.hpp"

namespace vyx::files {

// Reads the whole file. A file of `limit` bytes or more fails with
// StreamTooLong; a directory fails with IsDir.
Expected<std::string> readFileLimited(const std::string& path, size_t limit);

// Creates or truncates the file (mode 0666 less the umask) and writes it whole.
Status writeFile(const std::string& path, std::string_view bytes);

// Writes to a temporary file beside `path`, then renames it over `path`.
Status writeFileAtomic(const std::string& path, std::string_view bytes);

// Appends bytes to a file, creating it (0666 less the umask) when missing.
Status appendFile(const std::string& path, std::string_view bytes);

// Creates the directory and its missing parents (0777 less the umask).
Status makePath(const std::string& path);

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

bool exists(const std::string& path);
bool isDirectory(const std::string& path);

}  // namespace vyx::files
