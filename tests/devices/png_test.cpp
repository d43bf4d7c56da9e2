// The PNG header size reader.
#include "devices/png.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string header(uint32_t width, uint32_t height) {
  std::string bytes("\x89PNG\r\n\x1a\n", 8);
  bytes += std::string("\x00\x00\x00\x0d", 4);
  bytes += "IHDR";
  for (uint32_t v : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<char>((v >> shift) & 0xFF));
  }
  return bytes;
}

}  // namespace

TEST(Png, ReadsSizeOrGivesZero) {
  struct Case {
    const char* name;
    std::string bytes;
    vyx::Viewport size;
  };
  std::string exact = header(390, 844);
  std::string badChunk = header(390, 844);
  badChunk[12] = 'i';
  std::string badSignature = header(390, 844);
  badSignature[0] = 'P';
  const Case cases[] = {
      {"24 bytes", exact, {390, 844}},
      {"with trailing data", exact + "rest", {390, 844}},
      {"big values", header(0xFFFFFFFFu, 0x01020304u), {0xFFFFFFFFu, 0x01020304u}},
      {"23 bytes", exact.substr(0, 23), {0, 0}},
      {"empty", "", {0, 0}},
      {"not IHDR", badChunk, {0, 0}},
      {"bad signature", badSignature, {0, 0}},
  };
  for (const auto& c : cases) EXPECT_EQ(vyx::png::size(c.bytes), c.size) << c.name;
}
