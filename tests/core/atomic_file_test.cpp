#include "core/atomic_file.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/fd.hpp"
#include "vyx_test.hpp"

namespace vyx {
namespace {

std::vector<std::string> listDir(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

const std::string kPid = std::to_string(::getpid());

// Names already taken beside the target (a file, a link to a file the
// writer must not touch) are passed over, never written through.
TEST(AtomicFile, PassesOverTakenTemporaryNames) {
  test::TempDir dir;
  const std::string target = dir.file("doc.txt");
  test::writeFile(target, "old");
  test::writeFile(dir.file("victim"), "victim");
  test::writeFile(dir.file("doc.txt.tmp-" + kPid), "taken");
  std::filesystem::create_symlink(dir.file("victim"), dir.file("doc.txt.tmp-" + kPid + "-1"));

  ASSERT_TRUE(atomic_file::writeWhole(target, "new"));

  EXPECT_EQ(test::readFile(target), "new");
  EXPECT_EQ(test::readFile(dir.file("victim")), "victim");
  EXPECT_EQ(test::readFile(dir.file("doc.txt.tmp-" + kPid)), "taken");
  EXPECT_EQ(listDir(dir.path()),
            (std::vector<std::string>{"doc.txt", "doc.txt.tmp-" + kPid, "doc.txt.tmp-" + kPid + "-1", "victim"}));
}

// Whatever fails (the write, the rename, or the caller giving up), the old
// file stays whole and no temporary file is left.
TEST(AtomicFile, FailureKeepsTheOldFileAndLeavesNoTemporary) {
  test::TempDir dir;
  const std::string target = dir.file("doc.txt");
  test::writeFile(target, "old");

  Status tooBig = [&] {
    test::FileSizeLimit limit(100);
    return atomic_file::writeWhole(target, std::string(5000, 'x'));
  }();
  ASSERT_FALSE(tooBig);
  EXPECT_EQ(tooBig.error(), Error::FileTooBig);

  {
    auto released = atomic_file::AtomicFile::create(target, 4096);
    ASSERT_TRUE(released);
    ASSERT_TRUE(released->writeAll("never committed"));
  }

  std::filesystem::create_directory(dir.file("sub"));
  test::writeFile(dir.file("sub/inside"), "x");
  Status overDirectory = atomic_file::writeWhole(dir.file("sub"), "new");
  EXPECT_FALSE(overDirectory);

  EXPECT_EQ(test::readFile(target), "old");
  EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{"doc.txt", "sub"}));
}

// Beneath an open directory a link named as the target is replaced, and the
// file it points at is left alone; a name too long to take the suffix is
// written through a short temporary name.
TEST(AtomicFile, BeneathReplacesALinkAndLongNamesWork) {
  test::TempDir dir;
  test::writeFile(dir.file("victim"), "victim");
  std::filesystem::create_symlink(dir.file("victim"), dir.file("trace.json"));
  Fd fd(::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  ASSERT_TRUE(fd.valid());
  auto file = atomic_file::AtomicFile::createBeneath(fd.get(), "trace.json");
  ASSERT_TRUE(file);
  ASSERT_TRUE(file->writeAll("{}\n"));
  ASSERT_TRUE(file->commit());
  EXPECT_FALSE(std::filesystem::is_symlink(dir.file("trace.json")));
  EXPECT_EQ(test::readFile(dir.file("trace.json")), "{}\n");
  EXPECT_EQ(test::readFile(dir.file("victim")), "victim");

  const std::string longName = std::string(250, 'n');
  ASSERT_TRUE(atomic_file::writeWhole(dir.file(longName), "long"));
  EXPECT_EQ(test::readFile(dir.file(longName)), "long");
  EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{longName, "trace.json", "victim"}));
}

// Temporary files of writers that ended are removed whichever name form
// they took; those of running processes and other names stay.
TEST(AtomicFile, RemovesStaleTemporariesOfEitherNameForm) {
  pid_t ended = ::fork();
  ASSERT_GE(ended, 0);
  if (ended == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(ended, nullptr, 0), ended);
  const std::string dead = std::to_string(ended);

  test::TempDir dir;
  const std::vector<std::string> kept = {
      "m.json.tmp-" + kPid, "m.json.tmp-" + kPid + "-2", "m.json.tmp-" + dead + "-", "m.json.tmp-" + dead + "-0",
      "m.json.tmp-" + dead + "-x", "m.json.tmp--" + dead,
  };
  for (const std::string& name : kept) test::writeFile(dir.file(name), "{}");
  test::writeFile(dir.file("m.json.tmp-" + dead), "{");
  test::writeFile(dir.file("m.json.tmp-" + dead + "-3"), "{");

  atomic_file::removeStaleTemporaries(dir.file("m.json"));

  std::vector<std::string> expected = kept;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(listDir(dir.path()), expected);
}

}  // namespace
}  // namespace vyx
