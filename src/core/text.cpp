#include "core/text.hpp"

namespace vyx::text {

std::string_view trim(std::string_view text, std::string_view chars) {
  size_t begin = text.find_first_not_of(chars);
  if (begin == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(chars);
  return text.substr(begin, end - begin + 1);
}

std::string_view trimBlanks(std::string_view text) { return trim(text, " \t\r\n"); }

}  // namespace vyx::text
