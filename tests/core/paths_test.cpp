#include "core/paths.hpp"

#include <gtest/gtest.h>

#include <string_view>

namespace vyx {
namespace {

TEST(Paths, JoinsAreTextual) {
  struct Case {
    std::string_view a, b, join, joinOnce;
  };
  const Case cases[] = {
      {"t", "trace.json", "t/trace.json", "t/trace.json"},
      {"t/", "a", "t//a", "t/a"},
      {"t/", "/a", "t///a", "t/a"},
      {"t", "/abs", "t//abs", "t/abs"},  // an absolute right side never replaces the left
      {"/", "a", "//a", "/a"},
      {"", "a", "/a", "a"},
      {"t", "", "t/", "t"},
      {"", "", "/", ""},
      {"../x/./y", "../z", "../x/./y/../z", "../x/./y/../z"},  // nothing is normalised
  };
  for (const Case& c : cases) {
    EXPECT_EQ(paths::join(c.a, c.b), c.join) << c.a << " + " << c.b;
    EXPECT_EQ(paths::joinOnce(c.a, c.b), c.joinOnce) << c.a << " + " << c.b;
  }
}

TEST(Paths, DirectoryAndBaseName) {
  struct Case {
    std::string_view path, directory, base;
  };
  const Case cases[] = {
      {"a/b/c.json", "a/b", "c.json"}, {"c.json", ".", "c.json"}, {"/c.json", "/", "c.json"},
      {"a/", "a", ""},                 {"", ".", ""},             {"a//b", "a/", "b"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(paths::directoryOf(c.path), c.directory) << c.path;
    EXPECT_EQ(paths::baseName(c.path), c.base) << c.path;
  }
}

}  // namespace
}  // namespace vyx
