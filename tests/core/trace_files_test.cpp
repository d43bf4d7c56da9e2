// Opening files beneath a trace directory: the paths that could leave it,
// links anywhere on the way, and files that are not regular.
#include "core/trace_files.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "vyx_test.hpp"

namespace tf = vyx::trace_files;
using vyx::Error;
using vyx::test::TempDir;
using vyx::test::writeFile;

TEST(TraceFiles, OpensOnlyWhatLiesBeneath) {
  TempDir dir;
  writeFile(dir.file("t/a/b.json"), "inside");
  writeFile(dir.file("outside.json"), "outside");
  std::filesystem::create_symlink(dir.file("outside.json"), dir.file("t/link.json"));
  std::filesystem::create_directory_symlink(dir.file("t/a"), dir.file("t/linkdir"));
  ASSERT_EQ(::mkfifo(dir.file("t/fifo").c_str(), 0666), 0);

  struct Case {
    std::string path;
    std::optional<Error> error;  // none: reads "inside"
  };
  const Case cases[] = {
      {"a/b.json", std::nullopt},
      {"a//./b.json", std::nullopt},
      {"../outside.json", Error::FileNotFound},
      {"a/../../outside.json", Error::FileNotFound},
      {dir.file("outside.json"), Error::FileNotFound},  // absolute
      {"link.json", Error::FileNotFound},               // a link reads as missing
      {"linkdir/b.json", Error::FileNotFound},
      {"fifo", Error::NotRegularFile},
      {"a", Error::IsDir},
      {"", Error::IsDir},
      {"a/b.json/c", Error::NotDir},
  };
  for (const Case& c : cases) {
    auto text = tf::readTraceFile(dir.file("t"), c.path, 1024);
    if (c.error) {
      ASSERT_FALSE(text) << c.path;
      EXPECT_EQ(text.error(), *c.error) << c.path << ": " << vyx::errorName(text.error());
    } else {
      ASSERT_TRUE(text) << c.path << ": " << vyx::errorName(text.error());
      EXPECT_EQ(*text, "inside");
    }
  }

  // The low-level opener names a link as one.
  auto dirFd = tf::openDirectory(dir.file("t"));
  ASSERT_TRUE(dirFd);
  auto link = tf::openFileBeneath(dirFd->get(), "linkdir/b.json");
  ASSERT_FALSE(link);
  EXPECT_EQ(link.error(), Error::SymLinkLoop);
  EXPECT_EQ(tf::manifestRelative("//shots/"), "shots/");
}
