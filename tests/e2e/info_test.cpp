// `vyx version` and `vyx schemas` through the real binary.
#include <gtest/gtest.h>

#include "vyx_test.hpp"

using vyx::test::runVyx;

TEST(Info, VersionTextAndJson) {
  for (std::string word : {"version", "--version"}) {
    auto text = runVyx({word});
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.out, "vyx 0.2.9 protocol 2026-04-28\n");
    auto json = runVyx({word, "--json", "--json"});
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(json.out,
              "{\"name\":\"vyx\",\"version\":\"0.2.9\",\"protocolVersion\":\"2026-04-28\","
              "\"minimumCompatibleProtocolVersion\":\"2026-04-28\",\"stability\":\"dev-preview\","
              "\"breakingChangePolicy\":\"version-and-changelog\"}\n");
  }
}

TEST(Info, UnknownArgumentsFailWithHint) {
  for (auto args : {std::vector<std::string>{"version", "-j"}, {"schemas", "--json", "x"}}) {
    auto r = runVyx(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "error[cli.unknown_flag]: unknown flag\n"
              "hint: run `vyx help` for each command's flags and arguments.\n");
  }
}

TEST(Info, SchemasText) {
  auto r = runVyx({"schemas"});
  EXPECT_EQ(r.status, 0);
  auto lines = vyx::test::splitLines(r.out);
  ASSERT_EQ(lines.size(), 24u);
  EXPECT_EQ(lines.front(), "json-rpc\tschemas/json-rpc.schema.json");
  EXPECT_EQ(lines.back(), "schemas-output\tschemas/schemas-output.schema.json");
}

TEST(Info, SchemasJson) {
  auto r = runVyx({"schemas", "--json"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.out.starts_with(
      "{\"ok\":true,\"count\":24,\"schemas\":[{\"name\":\"json-rpc\",\"path\":\"schemas/json-rpc.schema.json\","
      "\"id\":\"https://schemas.vyx.dev/schemas/json-rpc.schema.json\","
      "\"description\":\"JSON-RPC requests and responses used by vyx serve\"},"));
  EXPECT_TRUE(r.out.ends_with(
      "\"description\":\"Machine-readable vyx schemas --json public schema index\"}]}\n"));
}
