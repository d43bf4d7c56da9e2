// Redaction of a bundle's files: the JSON string rule by key and shape, the
// free-text scrubber (e-mail words, bearer tokens, attributes of sensitive
// tags), the choice between the two, and JSON text that stays JSON when it
// is scrubbed as free text.
#include "reports/bundle_redaction.hpp"

#include <gtest/gtest.h>

#include "core/json.hpp"
#include "core/writer.hpp"
#include "vyx_test.hpp"

namespace br = vyx::bundle_redaction;

namespace {

std::string redactedJson(const std::string& text) {
  auto value = vyx::json::parseValue(text);
  EXPECT_TRUE(value.has_value()) << text;
  if (!value) return {};
  vyx::StringWriter w;
  EXPECT_TRUE(br::writeJsonValueRedacted(w, *value, std::nullopt).has_value());
  return w.str();
}

}  // namespace

TEST(BundleRedaction, JsonStringRule) {
  const std::string dots39 = "aaaaaaaaaaaaaaaaaaaa.bbbbbbbbbbbbbbbb.c";  // 39 bytes
  ASSERT_EQ(dots39.size(), 39u);
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {R"({"apiKey":"k1","count":5,"apiKeyNumber":5,"authorName":"Ann"})",
       R"({"apiKey":"[REDACTED:secret]","count":5,"apiKeyNumber":5,"authorName":"[REDACTED:secret]"})"},
      {R"({"tokens":["a","b"],"secret":{"inner":"x","password":"y"},"cookie":null,"auth":true})",
       R"({"tokens":["[REDACTED:secret]","[REDACTED:secret]"],"secret":{"inner":"x","password":"[REDACTED:secret]"},)"
       R"("cookie":null,"auth":true})"},
      {R"("Bearer abc")", R"("[REDACTED:token]")"},
      {R"("xbEaReR q")", R"("[REDACTED:token]")"},
      {"\"" + dots39 + "\"", "\"" + dots39 + "\""},
      {"\"" + dots39 + "c\"", R"("[REDACTED:token]")"},
      {R"(["a@b.c","@bc.de","a b@c.de","joe@example.com"])",
       R"(["[REDACTED:email]","@bc.de","a b@c.de","[REDACTED:email]"])"},
      {"{\"ctl\":\"a\\bb\",\"n\":[1.5,-0.25,1e21,123456789012345678901234567890]}",
       "{\"ctl\":\"a\\u0008b\",\"n\":[1.5,-0.25,1000000000000000000000,123456789012345678901234567890]}"},
  };
  for (const Case& c : cases) EXPECT_EQ(redactedJson(c.in), c.out) << c.in;
}

TEST(BundleRedaction, EmailShape) {
  EXPECT_TRUE(br::looksLikeEmail("a@b.c"));
  EXPECT_TRUE(br::looksLikeEmail("mailto:joe@example.com"));
  EXPECT_FALSE(br::looksLikeEmail("@b.cd"));
  EXPECT_FALSE(br::looksLikeEmail("a@b.")) << "too short";
  EXPECT_FALSE(br::looksLikeEmail("a@bc"));
  EXPECT_FALSE(br::looksLikeEmail("a@bcd"));
  EXPECT_FALSE(br::looksLikeEmail("a b@c.de"));
  EXPECT_FALSE(br::looksLikeEmail("a'b@c.de"));
  EXPECT_FALSE(br::looksLikeEmail(std::string(250, 'a') + "@b.cd"));
}

TEST(BundleRedaction, FreeText) {
  const std::string far(241, ' ');
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {R"(<node text="Hunter2" password="true" content-desc="pw" class="E"/><node text="Hi" content-desc="x"/>)",
       R"(<node text="[REDACTED:secret]" password="true" content-desc="[REDACTED:secret]" class="E"/>)"
       R"(<node text="Hi" content-desc="x"/>)"},
      {R"(<node token="1" hint-text="a">text="b")", R"(<node token="1" hint-text="[REDACTED:secret]">text="b")"},
      {R"(<node secret="1" text="never closed)", R"(<node secret="1" text="[REDACTED:secret])"},
      {"<node" + far + R"(password="1" text="kept">)", "<node" + far + R"(password="1" text="kept">)"},
      {"mail joe@example.com, or mailto:ann@example.org;", "mail [REDACTED:email], or [REDACTED:email];"},
      {"x @x:joe@example.com y", "x @x:joe@example.com y"},
      {"Authorization: bEaReR abc.def\"ghi", "Authorization: [REDACTED:token]\"ghi"},
      {"Authorization: Bearer abc.def", "Authorization: [REDACTED:token]"},
      {"xbearer y<b>", "x[REDACTED:token]<b>"},
      {"line one a@b.cd\nline two\n", "line one [REDACTED:email]\nline two\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(br::redactFreeText(c.in), c.out) << c.in;
}

TEST(BundleRedaction, JsonishChoosesJsonOrFreeText) {
  EXPECT_EQ(br::redactJsonishText("{ \"password\" : \"x\",\n \"to\": \"a@b.cd\" }\n"),
            "{\"password\":\"[REDACTED:secret]\",\"to\":\"[REDACTED:email]\"}\n");
  // A line of an event log is scrubbed as it would be as a document alone.
  EXPECT_EQ(br::redactJsonishText("{\"to\":\"a@b.cd\"}\n{\"password\":\"x\"}\n"),
            "{\"to\":\"[REDACTED:email]\"}\n{\"password\":\"[REDACTED:secret]\"}\n");
  EXPECT_EQ(br::redactJsonishText("not json a@b.cd"), "not json [REDACTED:email]");
  // Stray bytes leave as U+FFFD from either path; free text files keep them.
  EXPECT_EQ(br::redactJsonishText("{\"t\":\"\xff\"}"), "{\"t\":\"\xef\xbf\xbd\"}\n");
  EXPECT_EQ(br::redactJsonishText("{\"t\":\"\xe2\x82\"}\n{\"u\":\"a@b.cd\"}\n"),
            "{\"t\":\"\xef\xbf\xbd\"}\n{\"u\":\"[REDACTED:email]\"}\n");
  EXPECT_EQ(br::redactFreeText("log \xff a@b.cd"), "log \xff [REDACTED:email]");
  // Keys that differ only in stray bytes are told apart, values still redacted.
  EXPECT_EQ(br::redactJsonishText("{\"p\xff\":1,\"p\xfe\":\"a@b.cd\",\"p\xef\xbf\xbd#2\":3}"),
            "{\"p\xef\xbf\xbd\":1,\"p\xef\xbf\xbd#2\":\"[REDACTED:email]\",\"p\xef\xbf\xbd#2#2\":3}\n");
}

TEST(BundleRedaction, ScrubbedEventLinesStayJson) {
  // Escaped quotes and backslashes inside strings end a token or an e-mail
  // word, so the scrubber never eats the backslash of an escape; no token
  // starts inside an escape either ("\bearer" is a backspace and "earer").
  const std::string log =
      R"({"seq":1,"payload":{"text":"He said \"Bearer abc123\" twice","to":"joe@example.com\"x"}})" "\n"
      R"({"seq":2,"payload":{"log":"auth: bearer tok\\en\nnext a@b.cd\\"}})" "\n"
      R"({"seq":3,"payload":{"xml":"<node password=\"1\" text=\"x\"/>"}})" "\n"
      R"({"seq":4,"payload":{"a":"x\bearer y","b":"\uBeBearer z","c":"\u0Bearer \\bearer w"}})" "\n";
  std::string out = br::redactJsonishText(log);
  EXPECT_EQ(out,
            R"({"seq":1,"payload":{"text":"He said \"[REDACTED:token]\" twice","to":"[REDACTED:email]\"x"}})" "\n"
            R"({"seq":2,"payload":{"log":"auth: [REDACTED:token]\\en\nnext [REDACTED:email]\\"}})" "\n"
            R"({"seq":3,"payload":{"xml":"<node password=\"1\" text=\"[REDACTED:secret]\"/>"}})" "\n"
            R"({"seq":4,"payload":{"a":"x\bearer y","b":"\uBeBearer z","c":"\u0Bearer \\[REDACTED:token]"}})" "\n");
  for (const std::string& line : vyx::test::splitLines(out)) {
    if (line.empty()) continue;
    EXPECT_TRUE(vyx::json::parseValue(line).has_value()) << line;
  }
}

TEST(BundleRedaction, EventLinesTheScrubberWouldBreakAreWrittenAgain) {
  struct Case {
    const char* why;
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"two e-mail keys scrubbed alike are told apart",
       "{\"seq\":1}\n{\"a@b.cd\":1,\"x@y.zz\":\"mail x@y.zz now\",\"[REDACTED:email]#2\":3}\n",
       "{\"seq\":1}\n{\"[REDACTED:email]\":1,\"[REDACTED:email]#2\":\"mail [REDACTED:email] now\","
       "\"[REDACTED:email]#2#2\":3}\n"},
      {"keys equal once their stray bytes are U+FFFD",
       "{\"k\":1}\n{\"\xff\":1,\"\xfe\":\"a@b.cd\"}\n",
       "{\"k\":1}\n{\"\xef\xbf\xbd\":1,\"\xef\xbf\xbd#2\":\"[REDACTED:email]\"}\n"},
      {"a tag's attribute rule over the end of a string; the line is written compact, string rule first",
       "{\"m\":\"<node password=1\", \"a\":\"text=\",\"token\":\"v\"}\n{}\n",
       "{\"m\":\"<node password=1\",\"a\":\"text=\",\"token\":\"[REDACTED:secret]\"}\n{}\n"},
      {"a last line cut short is scrubbed as free text",
       "{\"a@b.cd\":1,\"c@d.ef\":2}\n{\"to\":\"a@b.cd\",\"pa",
       "{\"[REDACTED:email]\":1,\"[REDACTED:email]#2\":2}\n{\"to\":\"[REDACTED:email]\",\"pa"},
  };
  for (const Case& c : cases) {
    std::string out = br::redactJsonishText(c.in);
    EXPECT_EQ(out, c.out) << c.why;
    std::vector<std::string> lines = vyx::test::splitLines(out);
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
      if (lines[i].empty()) continue;
      EXPECT_TRUE(vyx::json::parseValue(lines[i]).has_value()) << c.why << ": " << lines[i];
    }
  }
  // A text that is not lines of JSON keeps the one free-text pass.
  EXPECT_EQ(br::redactJsonishText("log a@b.cd\n{\"a@b.cd\":1,\"c@d.ef\":2}\n"),
            "log [REDACTED:email]\n{\"[REDACTED:email]\":1,\"[REDACTED:email]\":2}\n");
}

TEST(BundleRedaction, OneDocumentIsScrubbedAsALineOfALogIs) {
  struct Case {
    const char* why;
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"an e-mail key", R"({"kind":"x","payload":{"a@b.co":1}})",
       R"({"kind":"x","payload":{"[REDACTED:email]":1}})"},
      {"an e-mail in a sentence, keys scrubbed alike told apart",
       R"({"text":"Signed in as s@example.com","u@example.com":1,"v@example.com":2,"[REDACTED:email]#2":3})",
       R"({"text":"Signed in as [REDACTED:email]","[REDACTED:email]":1,"[REDACTED:email]#2":2,)"
       R"("[REDACTED:email]#2#2":3})"},
      {"the string rule first", R"({"password":"a@b.co","h":"Authorization: Bearer abc","n":"x"})",
       R"({"password":"[REDACTED:secret]","h":"[REDACTED:token]","n":"x"})"},
      {"a sensitive tag inside a string", R"({"xml":"<node password=\"1\" text=\"hunter2\"/>"})",
       R"({"xml":"<node password=\"1\" text=\"[REDACTED:secret]\"/>"})"},
  };
  for (const Case& c : cases) {
    // Alone, with or without a line feed, and as a line among others.
    EXPECT_EQ(br::redactJsonishText(c.in), c.out + "\n") << c.why;
    EXPECT_EQ(br::redactJsonishText(c.in + "\n"), c.out + "\n") << c.why;
    EXPECT_EQ(br::redactJsonishText("{\"seq\":1}\n" + c.in + "\n{\"seq\":3}\n"),
              "{\"seq\":1}\n" + c.out + "\n{\"seq\":3}\n")
        << c.why;
  }
}

TEST(BundleRedaction, PlaceholderScreenshotIsAOnePixelPng) {
  ASSERT_EQ(br::kRedactedScreenshotPng.size(), 67u);
  EXPECT_EQ(br::kRedactedScreenshotPng.substr(0, 8), std::string_view("\x89PNG\r\n\x1a\n", 8));
  EXPECT_EQ(br::kRedactedScreenshotPng.substr(55), std::string_view("\0\0\0\0IEND\xae\x42\x60\x82", 12));
}
