// ustar records: every header field, the checksum, the split of long names
// into prefix and name, the names that are refused, and padding.
#include "reports/bundle_tar.hpp"

#include <gtest/gtest.h>

#include "core/writer.hpp"

using vyx::Error;
namespace tar = vyx::bundle_tar;

namespace {

std::string field(const tar::HeaderRecord& h, size_t offset, size_t length) {
  return std::string(h.data() + offset, length);
}

// The name and prefix fields without their trailing zeros.
std::string text(const tar::HeaderRecord& h, size_t offset, size_t length) {
  std::string s = field(h, offset, length);
  return s.substr(0, s.find('\0'));
}

}  // namespace

TEST(BundleTar, HeaderFields) {
  tar::HeaderRecord h{};
  ASSERT_TRUE(tar::writeHeader(h, "artifacts/snapshot-1.json", 1234).has_value());
  EXPECT_EQ(text(h, 0, 100), "artifacts/snapshot-1.json");
  EXPECT_EQ(field(h, 100, 8), std::string("0000644\0", 8));
  EXPECT_EQ(field(h, 108, 8), std::string("0000000\0", 8));
  EXPECT_EQ(field(h, 116, 8), std::string("0000000\0", 8));
  EXPECT_EQ(field(h, 124, 12), std::string("00000002322\0", 12));
  EXPECT_EQ(field(h, 136, 12), std::string("00000000000\0", 12));
  EXPECT_EQ(h[156], '0');
  EXPECT_EQ(field(h, 157, 100), std::string(100, '\0'));
  EXPECT_EQ(field(h, 257, 8), std::string("ustar\0" "00", 8));
  EXPECT_EQ(field(h, 265, 64), std::string(64, '\0'));
  EXPECT_EQ(field(h, 329, 16), std::string("0000000\0" "0000000\0", 16));
  EXPECT_EQ(field(h, 345, 167), std::string(167, '\0'));

  // The checksum: six octal digits, NUL, space; the sum of the record with
  // the field taken as eight spaces.
  EXPECT_EQ(h[154], '\0');
  EXPECT_EQ(h[155], ' ');
  unsigned stored = std::stoul(field(h, 148, 6), nullptr, 8);
  unsigned sum = 0;
  for (size_t i = 0; i < h.size(); ++i) sum += (i >= 148 && i < 156) ? ' ' : static_cast<unsigned char>(h[i]);
  EXPECT_EQ(stored, sum);
}

TEST(BundleTar, LongNamesSplitAtTheRightmostFittingSlash) {
  struct Case {
    std::string name;
    std::string prefix;  // empty: stored whole in the name field
    std::string base;
  };
  const std::string d60(60, 'd'), f50(50, 'f'), f100(100, 'f'), p155(155, 'p');
  const Case cases[] = {
      {f100, "", f100},
      {"artifacts/" + d60 + "/" + f50, "artifacts/" + d60, f50},
      {"a/" + f100, "a", f100},
      {p155 + "/" + f100, p155, f100},
      {"a/b/" + std::string(97, 'c') + "/" + std::string(3, 'e'), "a/b/" + std::string(97, 'c'), "eee"},
  };
  for (const Case& c : cases) {
    tar::HeaderRecord h{};
    ASSERT_TRUE(tar::writeHeader(h, c.name, 0).has_value()) << c.name;
    EXPECT_EQ(text(h, 0, 100), c.base.substr(0, 100));
    EXPECT_EQ(text(h, 345, 155), c.prefix);
  }
  for (const std::string& tooLong : {"artifacts/" + std::string(101, 'f'), std::string(101, 'f'),
                                     std::string(156, 'p') + "/" + f50}) {
    tar::HeaderRecord h{};
    auto s = tar::writeHeader(h, tooLong, 0);
    ASSERT_FALSE(s.has_value());
    EXPECT_EQ(s.error(), Error::ArchivePathTooLong);
  }
}

TEST(BundleTar, SizeFieldLimit) {
  tar::HeaderRecord h{};
  ASSERT_TRUE(tar::writeHeader(h, "big", tar::kMaxEntrySize).has_value());
  EXPECT_EQ(field(h, 124, 12), std::string("77777777777\0", 12));
  tar::HeaderRecord h2{};
  auto s = tar::writeHeader(h2, "big", tar::kMaxEntrySize + 1);
  ASSERT_FALSE(s.has_value());
  EXPECT_EQ(s.error(), Error::FileTooBig);
}

TEST(BundleTar, UnsafeNames) {
  for (const char* name : {"/etc/passwd", "artifacts/../x", "artifacts/a..b.png", ".."}) {
    auto s = tar::checkEntryName(name);
    ASSERT_FALSE(s.has_value()) << name;
    EXPECT_EQ(s.error(), Error::UnsafeArchivePath);
  }
  for (const char* name : {"artifacts/.hidden", "artifacts/a.b.c", "trace.json"}) {
    EXPECT_TRUE(tar::checkEntryName(name).has_value()) << name;
  }
}

TEST(BundleTar, EntriesArePaddedToWholeBlocks) {
  struct Case {
    size_t length;
    size_t total;
  };
  for (const Case& c : {Case{0, 512}, Case{1, 1024}, Case{512, 1024}, Case{513, 1536}}) {
    vyx::StringWriter w;
    ASSERT_TRUE(tar::writeBytes("f", std::string(c.length, 'x'), w).has_value());
    EXPECT_EQ(w.str().size(), c.total) << c.length;
    EXPECT_EQ(w.str().substr(512 + c.length), std::string(c.total - 512 - c.length, '\0'));
  }
  vyx::StringWriter end;
  ASSERT_TRUE(tar::writeEnd(end).has_value());
  EXPECT_EQ(end.str(), std::string(1024, '\0'));
}
