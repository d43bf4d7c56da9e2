#pragma once
// Small text helpers shared across modules.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vyx::text {

// The text without the bytes of `chars` at both ends ("" when nothing else
// is left).
std::string_view trim(std::string_view text, std::string_view chars);

// The text without the spaces, tabs, carriage returns and line feeds at
// both ends ("" when nothing else is left).
std::string_view trimBlanks(std::string_view text);

// An unsigned decimal number: an optional leading "+", digits, and "_"
// between digits (never first or last). Empty text, other bytes or a value
// beyond 64 bits give nothing.
std::optional<uint64_t> parseGroupedUnsigned(std::string_view text);

// The byte with A-Z folded to a-z; every other byte as it is.
constexpr char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether `needle` occurs in `haystack`, bytes compared with ASCII case
// folding on both sides (an empty needle always does).
inline bool containsAsciiFolded(std::string_view haystack, std::string_view needle) {
  if (needle.empty()) return true;
  if (needle.size() > haystack.size()) return false;
  const char first = asciiLower(needle[0]);
  const size_t last = haystack.size() - needle.size();
  for (size_t i = 0; i <= last; ++i) {
    if (asciiLower(haystack[i]) != first) continue;
    size_t j = 1;
    while (j < needle.size() && asciiLower(haystack[i + j]) == asciiLower(needle[j])) ++j;
    if (j == needle.size()) return true;
  }
  return false;
}

}  // namespace vyx::text
