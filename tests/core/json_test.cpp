#include "core/json.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/trace_json.hpp"
#include "vyx_test.hpp"

namespace vyx::json {
namespace {

TEST(JsonParse, ScalarsAndNumbers) {
  struct Case {
    std::string_view text;
    Kind kind;
    int64_t integer = 0;
    double number = 0;
    std::string_view string = {};
  };
  const Case cases[] = {
      {"null", Kind::Null},
      {" \t\r\ntrue\n ", Kind::Bool, 1},
      {"false", Kind::Bool, 0},
      {"0", Kind::Integer, 0},
      {"-0", Kind::Integer, 0},
      {"9223372036854775807", Kind::Integer, INT64_MAX},
      {"-9223372036854775808", Kind::Integer, INT64_MIN},
      {"9223372036854775808", Kind::NumberString, 0, 0, "9223372036854775808"},
      {"-9223372036854775809", Kind::NumberString, 0, 0, "-9223372036854775809"},
      {"123456789012345678901234567890", Kind::NumberString, 0, 0, "123456789012345678901234567890"},
      {"1.5", Kind::Float, 0, 1.5},
      {"-2.5e3", Kind::Float, 0, -2500},
      {"1E2", Kind::Float, 0, 100},
      {"1e-400", Kind::Float, 0, 0},
      {"1.0e999", Kind::NumberString, 0, 0, "1.0e999"},
      {"-1e400", Kind::NumberString, 0, 0, "-1e400"},
      {R"("a\"\\\/\b\f\n\r\t")", Kind::String, 0, 0, "a\"\\/\b\f\n\r\t"},
      {R"("\u0000\u00e9\u20AC")", Kind::String, 0, 0, std::string_view("\0\xc3\xa9\xe2\x82\xac", 6)},
      {R"("\ud83d\ude00")", Kind::String, 0, 0, "\xf0\x9f\x98\x80"},
      // Lone surrogates become U+FFFD; what follows is read on its own.
      {R"("\ud800x")", Kind::String, 0, 0, "\xef\xbf\xbdx"},
      {R"("\ude00")", Kind::String, 0, 0, "\xef\xbf\xbd"},
      {R"("\ud800\ud83d\ude00")", Kind::String, 0, 0, "\xef\xbf\xbd\xf0\x9f\x98\x80"},
      {R"("\ud800\n")", Kind::String, 0, 0, "\xef\xbf\xbd\n"},
      // Raw bytes of 0x80 and above pass unvalidated; 0x7F is allowed.
      {"\"\xff\xfe\x80\x7f\"", Kind::String, 0, 0, "\xff\xfe\x80\x7f"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto v = parse(c.text);
    ASSERT_TRUE(v.has_value()) << static_cast<int>(v.error().error) << " at " << v.error().offset;
    EXPECT_EQ(v->kind, c.kind);
    switch (c.kind) {
      case Kind::Bool: EXPECT_EQ(v->boolean, c.integer != 0); break;
      case Kind::Integer: EXPECT_EQ(v->integer, c.integer); break;
      case Kind::Float: EXPECT_EQ(v->number, c.number); break;
      case Kind::NumberString:
      case Kind::String: EXPECT_EQ(v->string, c.string); break;
      default: break;
    }
  }
}

TEST(JsonParse, ContainersKeepOrder) {
  auto v = parse(R"( {"z":1,"a":[true,{"k":"v"},[]],"m":{}, "":null} )");
  ASSERT_TRUE(v.has_value());
  ASSERT_TRUE(v->isObject());
  ASSERT_EQ(v->object.size(), 4u);
  EXPECT_EQ(v->object[0].key, "z");
  EXPECT_EQ(v->object[1].key, "a");
  EXPECT_EQ(v->object[2].key, "m");
  EXPECT_EQ(v->object[3].key, "");
  const Value* a = v->get("a");
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(a->array.size(), 3u);
  EXPECT_EQ(a->array[1].get("k")->string, "v");
  EXPECT_TRUE(a->array[2].isArray());
  EXPECT_TRUE(v->get("m")->isObject());
  EXPECT_EQ(v->get("missing"), nullptr);
  EXPECT_EQ(a->get("k"), nullptr);
}

TEST(JsonParse, ErrorsCarryKindAndPosition) {
  struct Case {
    std::string_view text;
    Error error;
    size_t offset, line, column;
  };
  const Case cases[] = {
      {"", Error::UnexpectedEndOfInput, 0, 1, 1},
      {"  \n  ", Error::UnexpectedEndOfInput, 5, 2, 3},
      {"[1,2", Error::UnexpectedEndOfInput, 4, 1, 5},
      {"{\"a\":", Error::UnexpectedEndOfInput, 5, 1, 6},
      {"{\"a", Error::UnexpectedEndOfInput, 3, 1, 4},
      {"\"abc\\", Error::UnexpectedEndOfInput, 5, 1, 6},
      {"\"\\u12", Error::UnexpectedEndOfInput, 5, 1, 6},
      {"tr", Error::UnexpectedEndOfInput, 2, 1, 3},
      {"-", Error::UnexpectedEndOfInput, 1, 1, 2},
      {"[1.", Error::UnexpectedEndOfInput, 3, 1, 4},
      {"{\n  \"a\": 1,\n  \"b\" 2\n}", Error::SyntaxError, 18, 3, 7},
      {"[1,]", Error::SyntaxError, 3, 1, 4},
      {"{\"a\":1,}", Error::SyntaxError, 7, 1, 8},
      {"[01]", Error::SyntaxError, 2, 1, 3},
      {"01", Error::SyntaxError, 1, 1, 2},
      {"1.e5", Error::SyntaxError, 2, 1, 3},
      {"+1", Error::SyntaxError, 0, 1, 1},
      {"nul", Error::UnexpectedEndOfInput, 3, 1, 4},
      {"nulL", Error::SyntaxError, 3, 1, 4},
      {"\"a\tb\"", Error::SyntaxError, 2, 1, 3},
      {"\"\\x\"", Error::SyntaxError, 2, 1, 3},
      {"\"\\u12G4\"", Error::SyntaxError, 5, 1, 6},
      {"{} {}", Error::SyntaxError, 3, 1, 4},
      {"[1] x", Error::SyntaxError, 4, 1, 5},
      {"{'a':1}", Error::SyntaxError, 1, 1, 2},
      {"\xef\xbb\xbf{}", Error::SyntaxError, 0, 1, 1},
      {"{\"a\":1,\"b\":2,\"a\":3}", Error::DuplicateField, 13, 1, 14},
      {"[{\"x\":{\"k\":1,\"k\":1}}]", Error::DuplicateField, 13, 1, 14},
      {"{\"\\u0061\":1,\"a\":2}", Error::DuplicateField, 12, 1, 13},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
    auto v = parse(c.text);
    ASSERT_FALSE(v.has_value());
    EXPECT_EQ(v.error().error, c.error);
    EXPECT_EQ(v.error().offset, c.offset);
    EXPECT_EQ(v.error().line, c.line);
    EXPECT_EQ(v.error().column, c.column);
    EXPECT_EQ(parseValue(c.text).error(), c.error);
  }
}

TEST(JsonParse, SameKeyInSiblingObjectsIsFine) {
  EXPECT_TRUE(parse(R"([{"a":1},{"a":2},{"b":{"a":3}}])").has_value());
}

TEST(JsonParse, DuplicateInLargeObject) {
  std::string text = "{";
  for (int i = 0; i < 200; ++i) text += "\"k" + std::to_string(i) + "\":" + std::to_string(i) + ",";
  std::string ok = text + "\"last\":0}";
  auto v = parse(ok);
  ASSERT_TRUE(v.has_value());
  EXPECT_EQ(v->object.size(), 201u);
  EXPECT_EQ(v->object[150].key, "k150");
  std::string dup = text + "\"k17\":0}";
  auto d = parse(dup);
  ASSERT_FALSE(d.has_value());
  EXPECT_EQ(d.error().error, Error::DuplicateField);
  EXPECT_EQ(d.error().offset, text.size());
}

TEST(JsonParse, NestingLimit) {
  auto nested = [](size_t depth, char open, std::string_view inner, char close) {
    std::string s;
    for (size_t i = 0; i < depth; ++i) {
      s += open;
      if (open == '{') s += "\"k\":";
    }
    s += inner;
    s.append(depth, close);
    return s;
  };
  EXPECT_TRUE(parse(nested(kMaxDepth, '[', "1", ']')).has_value());
  EXPECT_TRUE(parse(nested(kMaxDepth - 1, '{', "{}", '}')).has_value());

  auto tooDeep = parse(nested(kMaxDepth, '[', "[1]", ']'));
  ASSERT_FALSE(tooDeep.has_value());
  EXPECT_EQ(tooDeep.error().error, Error::SyntaxError);
  EXPECT_EQ(tooDeep.error().offset, kMaxDepth);

  // A 16 MiB line of opening brackets stops at the first one too many.
  std::string brackets(16u << 20, '[');
  auto flood = parse(brackets);
  ASSERT_FALSE(flood.has_value());
  EXPECT_EQ(flood.error().error, Error::SyntaxError);
  EXPECT_EQ(flood.error().offset, kMaxDepth);
  EXPECT_EQ(flood.error().column, kMaxDepth + 1);

  // Unclosed but within the limit: the text ends mid-document.
  auto open = parse(std::string(100, '['));
  ASSERT_FALSE(open.has_value());
  EXPECT_EQ(open.error().error, Error::UnexpectedEndOfInput);
}

TEST(JsonParse, SinkGetsItsArrayElementByElement) {
  std::vector<std::string> got;
  auto collect = [&got](Value&& v) {
    vyx::StringWriter w;
    EXPECT_TRUE(vyx::trace_json::writeJsonValue(w, v));
    got.push_back(w.str());
  };
  const ElementSink sink{"steps", collect};
  // Only the root object's member: nested "steps" stay where they are.
  auto v = parse(R"({"a":[1],"steps":[{"x":[1,2]}, "s",[],{"steps":[3]}],"z":{"steps":[4]}})", sink);
  ASSERT_TRUE(v.has_value());
  EXPECT_EQ(got, (std::vector<std::string>{R"({"x":[1,2]})", R"("s")", "[]", R"({"steps":[3]})"}));
  vyx::StringWriter rest;
  ASSERT_TRUE(vyx::trace_json::writeJsonValue(rest, *v));
  EXPECT_EQ(rest.str(), R"({"a":[1],"steps":[],"z":{"steps":[4]}})");

  got.clear();
  ASSERT_TRUE(parse(R"([{"steps":[1]}])", sink).has_value());
  ASSERT_TRUE(parse(R"({"steps":{"steps":[1]}})", sink).has_value());
  EXPECT_TRUE(got.empty());

  // A document that fails after some elements: those were handed out, the
  // error is the one parse() gives.
  const std::string bad = "{\"steps\":[1,\n 2 3]}";
  auto failed = parse(bad, sink);
  ASSERT_FALSE(failed.has_value());
  EXPECT_EQ(got, (std::vector<std::string>{"1", "2"}));
  auto plain = parse(bad);
  EXPECT_EQ(failed.error().offset, plain.error().offset);
  EXPECT_EQ(failed.error().line, 2u);
}

TEST(JsonParse, ReadsBackWhatTheWritersWrite) {
  // Every ASCII byte and UTF-8 sequences of each length (other bytes are
  // written as U+FFFD).
  std::string allBytes;
  for (int c = 0; c < 128; ++c) allBytes.push_back(static_cast<char>(c));
  allBytes += "\xc2\x80\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf\xf0\x90\x80\x80\xf4\x8f\xbf\xbf";
  Value doc;
  doc.kind = Kind::Object;
  Value s;
  s.kind = Kind::String;
  s.string = allBytes;
  doc.object.push_back({allBytes, s});
  Value f;
  f.kind = Kind::Float;
  f.number = 0.1 + 0.2;
  doc.object.push_back({"f", f});
  StringWriter w;
  ASSERT_TRUE(trace_json::writeJsonValue(w, doc));
  auto back = parse(w.str());
  ASSERT_TRUE(back.has_value());
  ASSERT_EQ(back->object.size(), 2u);
  EXPECT_EQ(back->object[0].key, allBytes);
  EXPECT_EQ(back->object[0].value.string, allBytes);
  EXPECT_EQ(back->get("f")->number, 0.1 + 0.2);
}

// The JSONTestSuite corpus: y_ must parse (repeated keys aside), n_ must
// fail, i_ must not crash.
TEST(JsonParse, ConformanceSuite) {
  namespace fs = std::filesystem;
  fs::path dir = fs::path(vyx::test::sharedDir()) / "testdata" / "jsontestsuite" / "test_parsing";
  if (!fs::is_directory(dir)) GTEST_SKIP() << "no conformance suite at " << dir;
  size_t checked = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".json") continue;
    std::string text = vyx::test::readFile(entry.path().string());
    auto result = parse(text);
    if (name.starts_with("y_object_duplicated_key")) {
      // Valid by the grammar, refused by the program's rule on repeated keys.
      ASSERT_FALSE(result.has_value()) << name;
      EXPECT_EQ(result.error().error, Error::DuplicateField) << name;
    } else if (name.starts_with("y_")) {
      EXPECT_TRUE(result.has_value()) << name << " failed at " << (result ? 0 : result.error().offset);
    } else if (name.starts_with("n_")) {
      EXPECT_FALSE(result.has_value()) << name << " was accepted";
    }
    ++checked;
  }
  EXPECT_GT(checked, 300u);
}

}  // namespace
}  // namespace vyx::json
