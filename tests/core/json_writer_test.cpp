#include "core/json_writer.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "core/json.hpp"
#include "core/trace.hpp"
#include "core/trace_json.hpp"

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

TEST(JsonWriter, RawJsonLeavesAsUtf8) {
  StringWriter w;
  JsonArrayWriter a(w);
  a.raw("\"caf\xc3\xa9\"").raw("{\"k\xff\":\"\xed\xa0\x80\"}");
  ASSERT_TRUE(a.finish());
  EXPECT_EQ(w.str(), "[\"caf\xc3\xa9\",{\"k\xef\xbf\xbd\":\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\"}]");
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

TEST(JsonWriter, NestedObjectsArraysAndNumbersOrNull) {
  StringWriter w;
  JsonObjectWriter o(w);
  o.object("o", [](JsonObjectWriter& in) { in.num("x", 1).object("e", [](JsonObjectWriter&) {}); })
      .array("a", [](JsonArrayWriter& a) {
        a.str("s").object([](JsonObjectWriter& in) { in.flag("f", true); }).array([](JsonArrayWriter& in) {
          in.unum(2);
        });
      })
      .numOrNull("n", std::nullopt)
      .numOrNull("m", -1)
      .unumOrNull("u", std::nullopt)
      .optNum("absent", std::nullopt)
      .optUnum("present", 7);
  ASSERT_TRUE(o.finish());
  EXPECT_EQ(w.str(), R"({"o":{"x":1,"e":{}},"a":["s",{"f":true},[2]],"n":null,"m":-1,"u":null,"present":7})");
}

// A redacting writer must give the bytes of writing the document plainly,
// reading it back and writing it with writeJsonValueRedacted: that is how
// event payloads were stored before they were redacted while written.
TEST(JsonWriter, RedactingWritersMatchReadingBackAndRedacting) {
  const std::vector<std::string> deny = {"hunter"};
  const std::vector<std::string> allow = {"hunter-ok"};
  const trace_json::TextRules rules{deny, allow};
  Selector selector;
  selector.resourceId = "com.example:id/password";
  selector.text = "mail a@b.co";
  selector.textContains = "x@y.org";
  const std::string nul("a\0b", 3);
  const std::string signedToken = "eyJhbGciOiJIUzI1NiJ9.eyJzdWIiOiIxMjM0NTY3ODkwIn0.sig";

  using Fill = std::function<void(JsonObjectWriter&)>;
  const std::pair<const char*, Fill> cases[] = {
      {"sensitive keys at every depth",
       [](JsonObjectWriter& p) {
         p.str("Password", "x")
             .object("auth", [](JsonObjectWriter& o) { o.str("inner", "plain").str("ACCESS_TOKEN", "t"); })
             .array("tokens",
                    [](JsonArrayWriter& a) {
                      a.str("a")
                          .array([](JsonArrayWriter& in) { in.str("deep"); })
                          .object([](JsonObjectWriter& o) { o.str("k", "resets").array("list", [](JsonArrayWriter& in) {
                            in.str("still plain");
                          }); })
                          .num(3)
                          .null();
                    })
             .num("bearer", 5)
             .null("cookie")
             .flag("apiKey", true)
             .str("api_key_hint", "")
             .str("not-secret", "visible");
       }},
      {"strings matched by the text rules",
       [&](JsonObjectWriter& p) {
         p.str("note", "by hunter2")
             .str("allowed", "hunter-ok here")
             .str("mail", "a@b.co")
             .str("short", "a@b")
             .str("header", "Bearer abc")
             .str("bare", "bearer")
             .str("jwt", signedToken)
             .array("texts", [](JsonArrayWriter& a) { a.str("x@y.org").str("plain").str("HUNTER"); });
       }},
      {"bytes that need escaping or are not ASCII",
       [&](JsonObjectWriter& p) {
         p.str("ctl", "a\"b\\c\n\t\r\x01\x1f")
             .str("nul", nul)
             .str("utf8", "caf\xc3\xa9 \xe2\x80\x94")
             .str("invalid", "\xff\xfe\xc3")
             .str("del", "\x7f")
             .str("k\"ey\n", "v")
             .str("", "empty key");
       }},
      {"numbers",
       [](JsonObjectWriter& p) {
         p.num("min", std::numeric_limits<int64_t>::min())
             .unum("max", std::numeric_limits<uint64_t>::max())
             .num("zero", 0)
             .optUnum("index", 4)
             .numOrNull("none", std::nullopt)
             .unumOrNull("some", 9);
       }},
      {"raw JSON and callbacks",
       [&](JsonObjectWriter& p) {
         p.raw("r", " { \"a\" : \"\\u0041@b.co\" , \"password\" : [ \"x\" ] } ")
             .raw("secret", "[\"s\", {\"t\": \"u\"}]")
             .raw("rs", "\"a@b.co\"")
             .raw("floats", "[1.50, 1e3, -0.25, 12345678901234567890123]")
             .value("selector", [&](Writer& w) { return trace::writeSelectorJson(w, selector); })
             .array("items", [&](JsonArrayWriter& a) {
               a.raw("{\"token\":\"v\"}").value([&](Writer& w) { return trace::writeSelectorJson(w, selector); });
             });
       }},
      {"selectors as members", [&](JsonObjectWriter& p) {
         trace::selectorMember(p, "selector", selector);
         trace::selectorListMember(p, "selectors", std::vector<Selector>{selector, Selector{}});
         trace::selectorListMember(p, "passwords", std::vector<Selector>{selector});
         p.object("empty", [](JsonObjectWriter&) {}).array("none", [](JsonArrayWriter&) {});
       }},
  };

  for (const auto& [name, fill] : cases) {
    StringWriter plain;
    JsonObjectWriter plainObject(plain);
    fill(plainObject);
    ASSERT_TRUE(plainObject.finish()) << name;
    auto value = json::parseValue(plain.str());
    ASSERT_TRUE(value) << name << ": " << plain.str();
    StringWriter readBack;
    ASSERT_TRUE(trace_json::writeJsonValueRedacted(readBack, *value, "", rules)) << name;

    const JsonRedaction redaction{rules, nullptr};
    StringWriter direct;
    JsonObjectWriter redacting(direct, &redaction);
    fill(redacting);
    ASSERT_TRUE(redacting.finish()) << name;
    EXPECT_EQ(direct.str(), readBack.str()) << name;
  }
}

TEST(JsonWriter, RedactionShowsTheOutermostStringsAsGiven) {
  std::vector<std::pair<std::string, std::string>> seen;
  const std::vector<std::string> none;
  JsonRedaction redaction{{none, none}, [&](std::string_view key, std::string_view value) {
                            seen.emplace_back(key, value);
                          }};
  StringWriter w;
  JsonObjectWriter o(w, &redaction);
  o.str("mail", "a@b.co")
      .object("inner", [](JsonObjectWriter& in) { in.str("hidden", "x"); })
      .array("list", [](JsonArrayWriter& a) { a.str("y"); })
      .raw("raw", "\"r\"")
      .raw("number", "1")
      .value("cb", [](Writer& out) { return out.writeAll("\"c\""); });
  ASSERT_TRUE(o.finish());
  EXPECT_EQ(w.str(), R"({"mail":"[REDACTED:email]","inner":{"hidden":"x"},"list":["y"],"raw":"r","number":1,"cb":"c"})");
  EXPECT_EQ(seen, (std::vector<std::pair<std::string, std::string>>{{"mail", "a@b.co"}, {"raw", "r"}, {"cb", "c"}}));
}

}  // namespace
}  // namespace vyx
