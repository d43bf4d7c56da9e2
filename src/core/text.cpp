#include "core/text.hpp"

namespace vyx::text {

std::string_view trim(std::string_view text, std::string_view chars) {
  size_t begin = text.find_first_not_of(chars);
  if (begin == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(chars);
  return text.substr(begin, end - begin + 1);
}

std::string_view trimBlanks(std::string_view text) { return trim(text, " \t\r\n"); }

std::optional<uint64_t> parseGroupedUnsigned(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '_' || text.back() == '_') return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c == '_') continue;
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace vyx::text
