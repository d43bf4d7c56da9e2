// Strict standard Base64 decoding.
#include "core/base64.hpp"

#include <gtest/gtest.h>

using vyx::Error;

TEST(Base64, DecodesValidText) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"", ""},
      {"Zg==", "f"},
      {"Zm8=", "fo"},
      {"Zm9v", "foo"},
      {"Zm9vYmFy", "foobar"},
      {"+/+/", "\xfb\xff\xbf"},
      {"AAECAw==", std::string("\x00\x01\x02\x03", 4)},
  };
  for (const auto& c : cases) {
    auto r = vyx::base64::decode(c.in);
    ASSERT_TRUE(r.has_value()) << c.in;
    EXPECT_EQ(*r, c.out) << c.in;
  }
}

TEST(Base64, RejectsMalformedText) {
  struct Case {
    std::string in;
    Error error;
  };
  const Case cases[] = {
      {"Zm9vY", Error::InvalidPadding},      // 5 characters
      {"Zm9", Error::InvalidPadding},        // not a multiple of 4
      {"Zm9v\n", Error::InvalidPadding},
      {"Zm-v", Error::InvalidCharacter},     // URL-safe alphabet is not accepted
      {"Zm_v", Error::InvalidCharacter},
      {"Zm 9", Error::InvalidCharacter},
      {"Zg=a", Error::InvalidPadding},       // character after the pad
      {"Z===", Error::InvalidPadding},       // too much padding
      {"====", Error::InvalidPadding},
      {"Zg==Zm9v", Error::InvalidPadding},   // padding before the last group
      {"Zh==", Error::InvalidPadding},       // leftover bits not zero
      {"Zm9=", Error::InvalidPadding},
  };
  for (const auto& c : cases) {
    auto r = vyx::base64::decode(c.in);
    ASSERT_FALSE(r.has_value()) << c.in;
    EXPECT_EQ(r.error(), c.error) << c.in;
  }
}
