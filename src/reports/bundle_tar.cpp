#include "reports/bundle_tar.hpp"

#include <cstring>

namespace vyx::bundle_tar {
namespace {

constexpr char kZeros[kBlockSize] = {};

// `digits` octal digits with leading zeros, then a NUL.
void putOctal(char* field, size_t digits, uint64_t value) {
  for (size_t i = digits; i > 0; --i) {
    field[i - 1] = static_cast<char>('0' + (value & 7));
    value >>= 3;
  }
  field[digits] = '\0';
}

void putText(char* field, std::string_view text) {
  if (!text.empty()) std::memcpy(field, text.data(), text.size());
}

}  // namespace

Status checkEntryName(std::string_view name) {
  if (name.starts_with('/') || name.find("..") != std::string_view::npos) return fail(Error::UnsafeArchivePath);
  return {};
}

Status writeHeader(HeaderRecord& record, std::string_view name, uint64_t size) {
  std::string_view prefix;
  std::string_view base = name;
  if (name.size() > kNameFieldSize) {
    bool split = false;
    for (size_t slash = name.rfind('/'); slash != std::string_view::npos;
         slash = slash == 0 ? std::string_view::npos : name.rfind('/', slash - 1)) {
      if (name.size() - slash - 1 <= kNameFieldSize && slash <= kPrefixFieldSize) {
        prefix = name.substr(0, slash);
        base = name.substr(slash + 1);
        split = true;
        break;
      }
    }
    if (!split) return fail(Error::ArchivePathTooLong);
  }
  if (size > kMaxEntrySize) return fail(Error::FileTooBig);

  char* h = record.data();
  putText(h + 0, base);
  putText(h + 100, "0000644");
  putText(h + 108, "0000000");
  putText(h + 116, "0000000");
  putOctal(h + 124, 11, size);
  putOctal(h + 136, 11, 0);
  std::memset(h + 148, ' ', 8);
  h[156] = '0';
  putText(h + 257, std::string_view("ustar\0", 6));
  putText(h + 263, "00");
  putText(h + 329, "0000000");
  putText(h + 337, "0000000");
  putText(h + 345, prefix);
  unsigned sum = 0;
  for (char c : record) sum += static_cast<unsigned char>(c);
  putOctal(h + 148, 6, sum);
  h[155] = ' ';
  return {};
}

Status writePadding(Writer& out, uint64_t dataLength) {
  size_t rest = static_cast<size_t>(dataLength % kBlockSize);
  if (rest == 0) return {};
  return out.writeAll(std::string_view(kZeros, kBlockSize - rest));
}

Status writeBytes(std::string_view name, std::string_view data, Writer& out) {
  VYX_TRY(checkEntryName(name));
  HeaderRecord record{};
  VYX_TRY(writeHeader(record, name, data.size()));
  VYX_TRY(out.writeAll(std::string_view(record.data(), record.size())));
  VYX_TRY(out.writeAll(data));
  return writePadding(out, data.size());
}

Status writeEnd(Writer& out) {
  VYX_TRY(out.writeAll(std::string_view(kZeros, kBlockSize)));
  return out.writeAll(std::string_view(kZeros, kBlockSize));
}

}  // namespace vyx::bundle_tar
