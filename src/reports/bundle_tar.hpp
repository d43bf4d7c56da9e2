#pragma once
// The records of a POSIX ustar archive as trace bundles use them: regular
// files only, mode 0644, owner and group 0, time 0, no extended headers, so
// equal inputs give byte-identical archives.

#include <array>
#include <cstdint>
#include <string_view>

#include "core/errors.hpp"
#include "core/writer.hpp"

namespace vyx::bundle_tar {

inline constexpr size_t kBlockSize = 512;
// The size field holds 11 octal digits.
inline constexpr uint64_t kMaxEntrySize = 077777777777ull;
inline constexpr size_t kNameFieldSize = 100;
inline constexpr size_t kPrefixFieldSize = 155;

using HeaderRecord = std::array<char, kBlockSize>;

// Refuses a name that begins with "/" or contains ".." anywhere
// (UnsafeArchivePath).
Status checkEntryName(std::string_view name);

// Fills a zeroed record with the header of a regular file. A name over 100
// bytes is split at the rightmost "/" that leaves at most 100 bytes after it
// and 155 before it; with no such slash ArchivePathTooLong. A size beyond
// the size field is FileTooBig.
Status writeHeader(HeaderRecord& record, std::string_view name, uint64_t size);

// Zero bytes from the end of `dataLength` bytes of data up to the next
// multiple of 512.
Status writePadding(Writer& out, uint64_t dataLength);

// One whole entry: the name check, the header, the data, the padding.
Status writeBytes(std::string_view name, std::string_view data, Writer& out);

// The two zero blocks that end the archive.
Status writeEnd(Writer& out);

}  // namespace vyx::bundle_tar
