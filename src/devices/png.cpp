#include "devices/png.hpp"

#include <cstdint>

namespace vyx::png {

namespace {

constexpr std::string_view kSignature("\x89PNG\r\n\x1a\n", 8);

uint32_t readBigEndian32(std::string_view bytes, size_t offset) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<uint8_t>(bytes[offset + i]);
  return value;
}

}  // namespace

Viewport size(std::string_view bytes) {
  if (bytes.size() < 24) return {};
  if (bytes.substr(0, 8) != kSignature) return {};
  if (bytes.substr(12, 4) != "IHDR") return {};
  return Viewport{readBigEndian32(bytes, 16), readBigEndian32(bytes, 20)};
}

}  // namespace vyx::png
