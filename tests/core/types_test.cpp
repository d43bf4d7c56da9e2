#include "core/types.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace vyx {
namespace {

// Pieces keep their bytes while the store grows: small ones packed into
// chunks, one larger than a chunk on its own, pieces written in place.
TEST(NodeTextTest, PiecesStayPutWhileTheStoreGrows) {
  NodeText text;
  std::vector<std::pair<std::string_view, std::string>> pieces;
  for (int i = 0; i < 20000; ++i) {
    std::string bytes = "piece " + std::to_string(i);
    if (i == 7000) bytes = std::string(200000, 'x');
    pieces.emplace_back(text.keep(bytes), bytes);
  }
  char* room = text.reserve(5);
  room[0] = 'a';
  room[1] = 'b';
  const std::string_view written = text.commit(2);
  EXPECT_TRUE(text.keep("").empty());
  for (const auto& [view, bytes] : pieces) ASSERT_EQ(view, bytes);
  EXPECT_EQ(written, "ab");
  EXPECT_EQ(pieces.back().first, "piece 19999");
}

// The nodes of a snapshot read from its text stay readable in a copy after
// the snapshot itself is gone.
TEST(NodeTextTest, CopiesOfASnapshotShareItsText) {
  auto store = std::make_shared<NodeText>();
  const std::string_view source = store->adopt(std::string("<node text=\"Sign in\"/>"));
  std::optional<ObservationSnapshot> original(std::in_place);
  UiNode node;
  node.stableId = store->keep("text:Sign in:0");
  node.text = source.substr(12, 7);
  original->nodes.push_back(node);
  original->nodeText.store = std::move(store);

  const ObservationSnapshot copy = *original;
  original.reset();
  ASSERT_EQ(copy.nodes.size(), 1u);
  EXPECT_EQ(copy.nodes[0].text, "Sign in");
  EXPECT_EQ(copy.nodes[0].stableId, "text:Sign in:0");
  EXPECT_EQ(copy.nodeText.store->source(), "<node text=\"Sign in\"/>");
}

}  // namespace
}  // namespace vyx
