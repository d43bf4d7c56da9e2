#include "core/base64.hpp"

#include <array>
#include <cstdint>

namespace vyx::base64 {

namespace {

constexpr uint8_t kInvalid = 0xFF;

constexpr std::array<uint8_t, 256> makeTable() {
  std::array<uint8_t, 256> table{};
  for (auto& entry : table) entry = kInvalid;
  constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (size_t i = 0; i < alphabet.size(); ++i) table[static_cast<uint8_t>(alphabet[i])] = static_cast<uint8_t>(i);
  return table;
}

constexpr std::array<uint8_t, 256> kTable = makeTable();

}  // namespace

Expected<std::string> decode(std::string_view text) {
  if (text.size() % 4 != 0) return fail(Error::InvalidPadding);
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (size_t pos = 0; pos < text.size(); pos += 4) {
    const bool last = pos + 4 == text.size();
    size_t pad = 0;
    uint32_t group = 0;
    for (size_t i = 0; i < 4; ++i) {
      char c = text[pos + i];
      if (c == '=') {
        // Padding only in the two final places of the last group.
        if (!last || i < 2) return fail(Error::InvalidPadding);
        ++pad;
        group <<= 6;
        continue;
      }
      if (pad != 0) return fail(Error::InvalidPadding);  // a character after "="
      uint8_t v = kTable[static_cast<uint8_t>(c)];
      if (v == kInvalid) return fail(Error::InvalidCharacter);
      group = (group << 6) | v;
    }
    // The bits a padded group does not carry into a byte must be zero.
    if (pad == 1 && (group & 0xFFu) != 0) return fail(Error::InvalidPadding);
    if (pad == 2 && (group & 0xFFFFu) != 0) return fail(Error::InvalidPadding);
    out.push_back(static_cast<char>((group >> 16) & 0xFFu));
    if (pad < 2) out.push_back(static_cast<char>((group >> 8) & 0xFFu));
    if (pad < 1) out.push_back(static_cast<char>(group & 0xFFu));
  }
  return out;
}

}  // namespace vyx::base64
