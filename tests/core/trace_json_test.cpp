#include "core/trace_json.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <random>

namespace vyx::trace_json {
namespace {

std::string jsonString(std::string_view bytes) {
  StringWriter w;
  EXPECT_TRUE(writeJsonString(w, bytes));
  return w.take();
}

std::string floatText(double value) {
  StringWriter w;
  EXPECT_TRUE(writeFloat(w, value));
  return w.take();
}

// Accepts a limited number of bytes, then fails every write.
class FailingWriter final : public Writer {
 public:
  explicit FailingWriter(size_t budget) : budget_(budget) {}
  Status writeAll(std::string_view bytes) override {
    if (bytes.size() > budget_) return fail(Error::BrokenPipe);
    budget_ -= bytes.size();
    return {};
  }

 private:
  size_t budget_;
};

TEST(TraceJsonString, Escapes) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"", R"("")"},
      {"plain text", R"("plain text")"},
      {"\t\n\r", R"("\t\n\r")"},
      {"say \"hi\" \\ bye", R"("say \"hi\" \\ bye")"},
      {"\x08", R"("\u0008")"},
      {"\x1f", R"("\u001f")"},
      {"\x1b[0m", R"("\u001b[0m")"},
      {std::string_view("\0\x0b\x0c", 3), R"("\u0000\u000b\u000c")"},
      {"\x7f", "\"\x7f\""},
      {"caf\xc3\xa9 \xff\xfe", "\"caf\xc3\xa9 \xef\xbf\xbd\xef\xbf\xbd\""},
      {"/", R"("/")"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(jsonString(in), out) << testing::PrintToString(std::string(in));

  StringWriter w;
  ASSERT_TRUE(writeJsonStringContent(w, "a\"b\x01"));
  EXPECT_EQ(w.str(), R"(a\"b\u0001)");
  w.clear();
  ASSERT_TRUE(writeJsonStringContent(w, ""));
  EXPECT_EQ(w.str(), "");
}

#define R3 "\xef\xbf\xbd"  // U+FFFD as written

// Well-formed UTF-8 passes unchanged; each maximal ill-formed subpart
// becomes one U+FFFD.
TEST(TraceJsonString, Utf8) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      // well-formed, the edges of each length and of the excluded ranges
      {"\xc2\x80 \xdf\xbf", "\xc2\x80 \xdf\xbf"},
      {"\xe0\xa0\x80 \xed\x9f\xbf \xee\x80\x80 \xef\xbf\xbf", "\xe0\xa0\x80 \xed\x9f\xbf \xee\x80\x80 \xef\xbf\xbf"},
      {"\xf0\x90\x80\x80 \xf4\x8f\xbf\xbf", "\xf0\x90\x80\x80 \xf4\x8f\xbf\xbf"},
      {"\xe2\x82\xac\xf0\x9d\x84\x9e" R3, "\xe2\x82\xac\xf0\x9d\x84\x9e" R3},
      // stray continuation bytes, and bytes that never start a sequence
      {"\x80", R3},
      {"a\x80\xbf" "b", "a" R3 R3 "b"},
      {"\xc0\xaf \xc1\xbf", R3 R3 " " R3 R3},
      {"\xf5\x80\x80\x80 \xfe \xff", R3 R3 R3 R3 " " R3 " " R3},
      // overlong three- and four-byte forms
      {"\xe0\x80\xaf", R3 R3 R3},
      {"\xe0\x9f\xbf", R3 R3 R3},
      {"\xf0\x80\x80\xaf", R3 R3 R3 R3},
      {"\xf0\x8f\xbf\xbf", R3 R3 R3 R3},
      // surrogates, and code points above U+10FFFF
      {"\xed\xa0\x80", R3 R3 R3},
      {"\xed\xbf\xbf", R3 R3 R3},
      {"\xf4\x90\x80\x80", R3 R3 R3 R3},
      // cut short: at the end, before ASCII, before a new sequence
      {"\xc3", R3},
      {"\xe2\x82", R3},
      {"\xf0\x9d\x84", R3},
      {"\xe2\x82x", R3 "x"},
      {"\xf0\x9d\x84\xc3\xa9", R3 "\xc3\xa9"},
      {"\xe2\xe2\x82\xac", R3 "\xe2\x82\xac"},
      {"\xc3\"", R3 "\\\""},
      {"\xe1\x80\n", R3 "\\n"},
      // one U+FFFD per maximal subpart, as in Unicode's own example
      {"a\xf1\x80\x80\xe1\x80\xc2" "b\x80" "c\x80\xbf" "d", "a" R3 R3 R3 "b" R3 "c" R3 R3 "d"},
  };
  for (const auto& [in, out] : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(in)));
    std::string quoted = "\"";
    quoted.append(out).append("\"");
    EXPECT_EQ(jsonString(in), quoted);
    bool escapes = in.find_first_of("\"\n") != std::string_view::npos;
    if (escapes) continue;
    EXPECT_EQ(isValidUtf8(in), in == out);
    StringWriter copy;
    ASSERT_TRUE(writeValidUtf8(copy, in));
    EXPECT_EQ(copy.str(), out);
  }

  // Keys and strings of a parsed value, written plainly or redacted.
  auto doc = json::parse("{\"k\xff\":[\"v\xc0\",\"\\ud800\"]}");
  ASSERT_TRUE(doc.has_value());
  StringWriter plain;
  ASSERT_TRUE(writeJsonValue(plain, *doc));
  EXPECT_EQ(plain.str(), "{\"k" R3 "\":[\"v" R3 "\",\"" R3 "\"]}");
  StringWriter redacted;
  ASSERT_TRUE(writeJsonValueRedacted(redacted, *doc, "", TextRules{}));
  EXPECT_EQ(redacted.str(), plain.str());

  // The replacement loses what the stray bytes were: names that differ only
  // in them come out alike.
  auto twins = json::parse("{\"a\xff\":1,\"a\xfe\":2}");
  ASSERT_TRUE(twins.has_value());
  plain.clear();
  ASSERT_TRUE(writeJsonValue(plain, *twins));
  EXPECT_EQ(plain.str(), "{\"a" R3 "\":1,\"a" R3 "\":2}");
}

// Long inputs cross the writer's internal buffer and its eight-byte scan at
// every offset: random pieces, each with the bytes it must come out as.
TEST(TraceJsonString, LongInputsMatchPieceByPiece) {
  const std::pair<std::string_view, std::string_view> pieces[] = {
      {"x", "x"}, {"abcdefgh", "abcdefgh"}, {" ", " "}, {"!", "!"}, {"#", "#"}, {"[", "["}, {"]", "]"},
      {"\x7f", "\x7f"}, {"\"", "\\\""}, {"\\", "\\\\"}, {"\t", "\\t"}, {"\n", "\\n"}, {"\r", "\\r"},
      {std::string_view("\0", 1), "\\u0000"}, {"\x1f", "\\u001f"}, {"\x08", "\\u0008"},
      {"\xc3\xa9", "\xc3\xa9"}, {"\xe2\x82\xac", "\xe2\x82\xac"}, {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
      {"\x80", R3}, {"\xff", R3}, {"\xc0\xaf", R3 R3}, {"\xed\xa0\x80", R3 R3 R3}, {"\xe2\x82z", R3 "z"},
      {"\xf0\x9f\x98z", R3 "z"}, {"\xf4\x90z", R3 R3 "z"},
  };
  std::mt19937 rng(7);
  for (size_t size : {4095u, 4096u, 4097u, 70000u}) {
    std::string in;
    std::string expected = "\"";
    while (in.size() < size) {
      const auto& [piece, out] = pieces[rng() % std::size(pieces)];
      in += piece;
      expected += out;
    }
    expected += "\"";
    EXPECT_EQ(jsonString(in), expected) << size;
  }
}

TEST(TraceJsonFloat, ShortestFixedNotation) {
  const std::pair<double, std::string_view> cases[] = {
      {0.0, "0"},
      {-0.0, "-0"},
      {1.0, "1"},
      {0.1, "0.1"},
      {-2.5, "-2.5"},
      {0.1 + 0.2, "0.30000000000000004"},
      {1e21, "1000000000000000000000"},
      {1.5e-7, "0.00000015"},
      {std::numeric_limits<double>::infinity(), "null"},
      {-std::numeric_limits<double>::infinity(), "null"},
      {std::numeric_limits<double>::quiet_NaN(), "null"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(floatText(in), out);

  // Extremes read back exactly and stay plain decimals.
  for (double d : {std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
                   std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::min(), 123456.789e-300}) {
    std::string text = floatText(d);
    EXPECT_EQ(text.find_first_of("eEin"), std::string::npos) << text;
    double back = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), back);
    EXPECT_EQ(ec, std::errc());
    EXPECT_EQ(back, d) << text;
  }
}

TEST(TraceJsonRedaction, StringRules) {
  struct Case {
    std::string_view key;
    std::string_view value;
    std::string_view expected;
    bool force = false;
  };
  const std::string deny[] = {"", "Acme", "a very long deny entry that cannot fit"};
  const std::string allow[] = {"", "acme public"};
  const TextRules rules{deny, allow};
  const Case cases[] = {
      {"text", "hello", R"("hello")"},
      {"text", "hello", R"("[REDACTED:secret]")", true},
      {"Password", "x", R"("[REDACTED:secret]")"},
      {"X-Access-TOKEN", "", R"("[REDACTED:secret]")"},
      {"author", "Jane", R"("[REDACTED:secret]")"},
      {"tokens", "a", R"("[REDACTED:secret]")"},
      {"Set-Cookie", "a", R"("[REDACTED:secret]")"},
      {"my_API_KEY", "a", R"("[REDACTED:secret]")"},
      {"apiKey", "a", R"("[REDACTED:secret]")"},
      {"api-key", "a", R"("a")"},
      {"text", "welcome to ACME", R"("[REDACTED:custom]")"},
      {"text", "welcome to ACME Public", R"("welcome to ACME Public")"},
      {"text", "ACME PUBLIC: bearer abc", R"("[REDACTED:token]")"},
      {"text", "Bearer x", R"("[REDACTED:token]")"},
      {"text", "bearer ", R"("[REDACTED:token]")"},
      {"text", "Bearer", R"("Bearer")"},
      {"text", "bearerX", R"("bearerX")"},
      {"text", "aaaaaaaaaaaaaaaaaaaa.bbbbbbbbbbbbbbbbb.c", R"("[REDACTED:token]")"},
      {"text", "aaaaaaaaaaaaaaaaaaa.bbbbbbbbbbbbbbbbb.c", R"("aaaaaaaaaaaaaaaaaaa.bbbbbbbbbbbbbbbbb.c")"},
      {"text", "aaaaaaaaaaaaaaaaaaaaa.bbbbbbbbbbbbbbbbbb.", R"("aaaaaaaaaaaaaaaaaaaaa.bbbbbbbbbbbbbbbbbb.")"},
      {"text", "a@b.c", R"("[REDACTED:email]")"},
      {"text", "a@bc.", R"("[REDACTED:email]")"},
      {"text", "@ab.c", R"("@ab.c")"},
      {"text", "a@b.", R"("a@b.")"},
      {"text", "ab@c.", R"("ab@c.")"},
      {"text", "a.b@cd", R"("a.b@cd")"},
      {"text", "a @b.c", R"("a @b.c")"},
      {"text", "<a@b.c>", R"("<a@b.c>")"},
      {"text", "a@b.c\n", R"("a@b.c\n")"},
      {"text", "say \"hi\"", R"("say \"hi\"")"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " / " + std::string(c.value));
    StringWriter w;
    ASSERT_TRUE(writeRedactedJsonStringForKeyWithRules(w, c.key, c.value, c.force, rules));
    EXPECT_EQ(w.str(), c.expected);
  }

  // Length bounds of the e-mail shape.
  std::string longMail = "a@b." + std::string(250, 'c');
  StringWriter w;
  ASSERT_TRUE(writeRedactedJsonStringForKeyWithRules(w, "", longMail, false, rules));
  EXPECT_EQ(w.str(), R"("[REDACTED:email]")");
  longMail += "c";
  w.clear();
  ASSERT_TRUE(writeRedactedJsonStringForKeyWithRules(w, "", longMail, false, rules));
  EXPECT_EQ(w.str(), "\"" + longMail + "\"");
}

TEST(TraceJsonRedaction, NonAsciiIsNotFolded) {
  // Only A-Z fold: an upper-case non-ASCII letter does not match its lower case.
  const std::string deny[] = {"\xc3\xa9t\xc3\xa9"};  // "été"
  const TextRules rules{deny, {}};
  StringWriter w;
  ASSERT_TRUE(writeRedactedJsonStringForKeyWithRules(w, "", "\xc3\x89T\xc3\x89", false, rules));  // "ÉTÉ"
  EXPECT_EQ(w.str(), "\"\xc3\x89T\xc3\x89\"");
  w.clear();
  ASSERT_TRUE(writeRedactedJsonStringForKeyWithRules(w, "", "\xc3\xa9T\xc3\xa9", false, rules));  // "éTé"
  EXPECT_EQ(w.str(), R"("[REDACTED:custom]")");
}

TEST(TraceJsonValue, RedactedAndPlainRewrites) {
  auto doc = json::parse(R"({
    "password": "hunter2",
    "cookies": ["a", ["b", {"name": "c", "value": 1}]],
    "nodes": [{"text": "mail me at a@b.co", "contact": "x@y.org", "token": 5}],
    "n": [1, -2, 2.5, 1e400, 123456789012345678901234567890, true, false, null],
    "empty": {}, "list": []
  })");
  ASSERT_TRUE(doc.has_value());
  const TextRules none{};

  StringWriter plain;
  ASSERT_TRUE(writeJsonValue(plain, *doc));
  EXPECT_EQ(plain.str(),
            R"({"password":"hunter2","cookies":["a",["b",{"name":"c","value":1}]],)"
            R"("nodes":[{"text":"mail me at a@b.co","contact":"x@y.org","token":5}],)"
            R"("n":[1,-2,2.5,1e400,123456789012345678901234567890,true,false,null],"empty":{},"list":[]})");

  StringWriter redacted;
  ASSERT_TRUE(writeJsonValueRedacted(redacted, *doc, "", none));
  EXPECT_EQ(redacted.str(),
            R"({"password":"[REDACTED:secret]","cookies":["[REDACTED:secret]",["[REDACTED:secret]",)"
            R"({"name":"c","value":1}]],)"
            R"("nodes":[{"text":"mail me at a@b.co","contact":"[REDACTED:email]","token":5}],)"
            R"("n":[1,-2,2.5,1e400,123456789012345678901234567890,true,false,null],"empty":{},"list":[]})");

  // The key given to the call applies to a top-level string or array.
  auto list = json::parse(R"(["a", "b"])");
  ASSERT_TRUE(list.has_value());
  StringWriter top;
  ASSERT_TRUE(writeJsonValueRedacted(top, *list, "authToken", none));
  EXPECT_EQ(top.str(), R"(["[REDACTED:secret]","[REDACTED:secret]"])");
}

TEST(TraceJsonValue, WriterErrorIsReturned) {
  std::string big = "[";
  for (int i = 0; i < 2000; ++i) big += R"({"text":"some node text","id":12345},)";
  big += "0]";
  auto doc = json::parse(big);
  ASSERT_TRUE(doc.has_value());
  for (size_t budget : {0u, 10u, 5000u, 50000u}) {
    FailingWriter w(budget);
    auto st = writeJsonValueRedacted(w, *doc, "", TextRules{});
    ASSERT_FALSE(st.has_value()) << budget;
    EXPECT_EQ(st.error(), Error::BrokenPipe);
    FailingWriter w2(budget);
    EXPECT_FALSE(writeJsonValue(w2, *doc).has_value());
  }
  FailingWriter small(3);
  EXPECT_FALSE(writeJsonString(small, "abcdef").has_value());
  EXPECT_FALSE(writeRedactedJsonStringForKeyWithRules(small, "k", "abcdef", false, TextRules{}).has_value());
}

#undef R3

}  // namespace
}  // namespace vyx::trace_json
