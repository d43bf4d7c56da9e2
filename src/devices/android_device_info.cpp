#include "devices/android_device_info.hpp"

#include <array>

#include "core/text.hpp"

namespace vyx::android_device_info {

namespace {

bool isAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }
bool isPackageChar(char c) { return isAlnum(c) || c == '_' || c == '.'; }
bool isActivityChar(char c) { return isAlnum(c) || c == '_' || c == '.' || c == '$'; }

constexpr std::string_view kBlanks = " \t\r\n";

// A decimal unsigned 32-bit number: an optional "+", then digits only.
std::optional<uint32_t> parseU32(std::string_view s) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > UINT32_MAX) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

}  // namespace

ActiveWindow parseActiveWindow(std::string_view dumpsys) {
  static constexpr std::array<std::string_view, 3> kMarkers = {"mCurrentFocus=", "mFocusedApp=",
                                                               "topResumedActivity="};
  for (std::string_view marker : kMarkers) {
    const size_t at = dumpsys.find(marker);
    if (at == std::string_view::npos) continue;
    std::string_view line = dumpsys.substr(at);
    const size_t lf = line.find('\n');
    if (lf != std::string_view::npos) line = line.substr(0, lf);
    const size_t slash = line.find('/');
    if (slash == std::string_view::npos) continue;
    size_t begin = slash;
    while (begin > 0 && isPackageChar(line[begin - 1])) --begin;
    size_t end = slash + 1;
    while (end < line.size() && isActivityChar(line[end])) ++end;
    if (begin == slash || end == slash + 1) continue;
    return ActiveWindow{std::string(line.substr(begin, slash - begin)),
                        std::string(line.substr(slash + 1, end - slash - 1))};
  }
  return ActiveWindow{};
}

Viewport parseWmSize(std::string_view output) {
  constexpr std::string_view kMarker = "Physical size:";
  const size_t at = output.find(kMarker);
  if (at == std::string_view::npos) return {};
  const std::string_view rest = text::trim(output.substr(at + kMarker.size()), kBlanks);
  const size_t x = rest.find('x');
  if (x == std::string_view::npos) return {};
  const auto width = parseU32(text::trim(rest.substr(0, x), " \t"));
  size_t end = x + 1;
  while (end < rest.size() && rest[end] >= '0' && rest[end] <= '9') ++end;
  const auto height = parseU32(rest.substr(x + 1, end - x - 1));
  if (!width || !height) return {};
  return Viewport{*width, *height};
}

std::optional<uint32_t> parseWmDensity(std::string_view output) {
  constexpr std::string_view kPrefix = "Physical density:";
  size_t pos = 0;
  while (pos <= output.size()) {
    const size_t lf = output.find('\n', pos);
    const size_t end = lf == std::string_view::npos ? output.size() : lf;
    const std::string_view line = text::trim(output.substr(pos, end - pos), kBlanks);
    if (line.starts_with(kPrefix)) return parseU32(text::trim(line.substr(kPrefix.size()), kBlanks));
    if (lf == std::string_view::npos) break;
    pos = lf + 1;
  }
  return std::nullopt;
}

}  // namespace vyx::android_device_info
