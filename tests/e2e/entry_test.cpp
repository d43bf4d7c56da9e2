// The entry point through the real binary: usage, unknown commands, the
// standard-error line and exit statuses.
#include <gtest/gtest.h>

#include "core/usage.hpp"
#include "vyx_test.hpp"

using vyx::test::runVyx;

TEST(Entry, NoArgumentAndHelpPrintUsage) {
  for (auto args : {std::vector<std::string>{}, {"help"}, {"--help"}}) {
    auto r = runVyx(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, vyx::usageText());
    EXPECT_EQ(r.err, "");
  }
}

TEST(Entry, UsageTextShape) {
  auto text = vyx::usageText();
  EXPECT_TRUE(text.starts_with("vyx - Orvan Mobile Runner\n\nCommands:\n  vyx version [--json]\n"));
  EXPECT_TRUE(text.ends_with("Any step may use \"optional\": true.\n"));
}

TEST(Entry, UnknownCommandIsCaseSensitive) {
  for (std::string word : {"Run", ""}) {
    auto r = runVyx({word});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, vyx::usageText());
    EXPECT_EQ(r.err, "unknown command: " + word + "\n\nerror[cli.unknown_command]: unknown command\n");
  }
}

TEST(Entry, ClosedStdoutExits141Silently) {
  vyx::test::RunOptions options;
  options.closeStdoutEarly = true;
  // An unknown command's usage text fails to print: that failure, not
  // unknownCommand, is the outcome.
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"help"}, ""},
      {{}, ""},
      {{"version", "--json"}, ""},
      {{"schemas"}, ""},
      {{"Run"}, "unknown command: Run\n\n"},
  };
  for (const auto& [args, err] : cases) {
    auto r = runVyx(args, options);
    EXPECT_EQ(r.status, 141) << testing::PrintToString(args);
    EXPECT_EQ(r.err, err) << testing::PrintToString(args);
  }
}
