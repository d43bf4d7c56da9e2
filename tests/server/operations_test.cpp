#include "server/operations.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace vyx {
namespace {

// The capabilities and the tools document are both read off the one table:
// every method and every tool name is there once, and every position of the
// tools document is taken by exactly one tool.
TEST(Operations, TableNamesEachMethodAndToolOnce) {
  std::set<std::string> methods;
  std::set<std::string> tools;
  std::set<size_t> positions;
  for (const operations::Operation& operation : operations::all()) {
    EXPECT_TRUE(methods.insert(std::string(operation.method)).second) << operation.method;
    EXPECT_NE(operation.handler, nullptr) << operation.method;
    if (operation.tool.name.empty()) continue;
    EXPECT_TRUE(tools.insert(std::string(operation.tool.name)).second) << operation.tool.name;
    EXPECT_TRUE(positions.insert(operation.tool.position).second) << operation.tool.name;
  }
  EXPECT_EQ(methods.size(), 30u);
  ASSERT_EQ(tools.size(), operations::tools().size());
  for (size_t i = 0; i < operations::tools().size(); ++i) {
    ASSERT_NE(operations::tools()[i], nullptr) << i;
    EXPECT_EQ(operations::tools()[i]->tool.position, i);
  }
  EXPECT_EQ(operations::findTool("wait_not_visible"), operations::findMethod("wait.gone"));
  EXPECT_EQ(operations::findTool("wait.gone"), nullptr);
  EXPECT_EQ(operations::findMethod("wait_not_visible"), nullptr);
  EXPECT_EQ(operations::findMethod("device.list")->tool.name, "");
}

}  // namespace
}  // namespace vyx
