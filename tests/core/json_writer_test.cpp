#include "core/json_writer.hpp"

#include <gtest/gtest.h>

namespace vyx {
namespace {

// Accepts a limited number of bytes, then fails every write.
class BudgetWriter final : public Writer {
 public:
  explicit BudgetWriter(size_t budget) : budget_(budget) {}
  Status writeAll(std::string_view bytes) override {
    if (bytes.size() > budget_) return fail(Error::BrokenPipe);
    budget_ -= bytes.size();
    written_.append(bytes);
    return {};
  }
  std::string written_;

 private:
  size_t budget_;
};

TEST(JsonWriter, ObjectMembersInOrderWithEscapedKeys) {
  StringWriter w;
  JsonObjectWriter o(w);
  o.str("a\"b", "x\ny")
      .num("n", -5)
      .unum("u", 18446744073709551615ull)
      .flag("t", true)
      .null("z")
      .strOrNull("s", std::nullopt)
      .optStr("absent", std::nullopt)
      .optStr("present", "p")
      .error("e", Error::WaitTimeout)
      .raw("r", "[1]")
      .value("v", [](Writer& inner) {
        JsonArrayWriter a(inner);
        a.str("q").num(1).flag(false).null().value([](Writer& x) { return x.writeAll("{}"); });
        return a.finish();
      });
  ASSERT_TRUE(o.finish());
  EXPECT_EQ(w.str(),
            R"({"a\"b":"x\ny","n":-5,"u":18446744073709551615,"t":true,"z":null,"s":null,)"
            R"("present":"p","e":"WaitTimeout","r":[1],"v":["q",1,false,null,{}]})");
}

TEST(JsonWriter, EmptyContainers) {
  StringWriter w;
  ASSERT_TRUE(JsonObjectWriter(w).finish());
  ASSERT_TRUE(JsonArrayWriter(w).finish());
  EXPECT_EQ(w.str(), "{}[]");
}

TEST(JsonWriter, FirstFailureIsKeptAndNothingMoreIsWritten) {
  for (size_t budget = 0; budget < 20; ++budget) {
    BudgetWriter w(budget);
    JsonObjectWriter o(w);
    o.str("key", "value").num("n", 12345).value("cb", [](Writer& x) { return x.writeAll("\"cb\""); });
    Status st = o.finish();
    if (budget >= 35) {
      EXPECT_TRUE(st);
    } else {
      ASSERT_FALSE(st) << budget;
      EXPECT_EQ(st.error(), Error::BrokenPipe);
      EXPECT_LE(w.written_.size(), budget);
    }
  }
}

TEST(JsonWriter, TrackKeepsCallerFailure) {
  StringWriter w;
  JsonObjectWriter o(w);
  o.key("k");
  o.track(fail(Error::WriteFailed));
  o.str("later", "x");
  Status st = o.finish();
  ASSERT_FALSE(st);
  EXPECT_EQ(st.error(), Error::WriteFailed);
  EXPECT_EQ(w.str(), "{\"k\":");
}

}  // namespace
}  // namespace vyx
