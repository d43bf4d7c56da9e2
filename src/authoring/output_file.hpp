#pragma once
// Writing a generated file (a drafted scenario) so that it is either there
// whole or not at all.

#include <string>
#include <string_view>

#include "core/errors.hpp"

namespace vyx::output_file {

// Writes `bytes` to `path`, creating missing parent directories (0777 less
// the umask) and the file (0666 less the umask).
// - Without `replace` the file is created exclusively: an existing one fails
//   with PathAlreadyExists and is left untouched.
// - With `replace` the bytes go to a new temporary file beside `path`, which
//   is then renamed over it, so the previous file stays intact on failure.
// Any failure removes what this call created (the file or the temporary
// file, and the directories), then returns the directory or file error; a
// failed write or close is named by its cause (NoSpaceLeft, FileTooBig, ...),
// WriteFailed when it has none.
Status writeWhole(const std::string& path, std::string_view bytes, bool replace);

}  // namespace vyx::output_file
