#include "devices/android_shell.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vyx_test.hpp"

namespace vyx::android_shell {
namespace {

using Argv = std::vector<std::string>;

// What a POSIX shell makes of the word: `printf %s <word>` run by /bin/sh,
// the way the device's shell parses the command line adb joins.
std::string shellParses(const std::string& word) {
  auto r = test::runProgram({"/bin/sh", "-c", "printf %s " + word});
  EXPECT_EQ(r.status, 0) << r.err;
  return r.out;
}

TEST(AndroidShellTest, EscapeInputText) {
  struct Case {
    std::string text, escaped;
  };
  const Case cases[] = {
      {"", ""},
      {"hello world", "hello%sworld"},
      {"it's", "it\\'s"},
      {"\"&'()*;<>\\|~", "\\\"\\&\\'\\(\\)\\*\\;\\<\\>\\\\\\|\\~"},
      {"user@example.com/a:b=c_d-e+f,g.h%", "user@example.com/a:b=c_d-e+f,g.h%"},
      {"$HOME `id` ?[]{}#!", "\\$HOME%s\\`id\\`%s\\?\\[\\]\\{\\}\\#\\!"},
      {"h\xc3\xa9llo \xe2\x82\xac", "h\xc3\xa9llo%s\xe2\x82\xac"},
      {std::string("a\tb\x01\x7f", 5), std::string("a\\\tb\\\x01\\\x7f", 8)},
  };
  for (const Case& c : cases) EXPECT_EQ(escapeInputText(c.text), c.escaped) << c.text;
}

TEST(AndroidShellTest, DeviceShellReadsEveryQuotedArgumentBackUnchanged) {
  const std::string nasty[] = {
      "$(touch /tmp/vyx-pwned)", "`reboot`", "a;b&&c||d|e", "'\"'\"", "*?[a-z]{1,2}~#!", "x > /tmp/f < /tmp/g",
      "tab\there", "h\xc3\xa9", "50% + 1,2.3/4:5=6@7_8-9",
  };
  for (const std::string& text : nasty) {
    std::string typed = text;
    for (size_t p = typed.find(' '); p != std::string::npos; p = typed.find(' ', p + 2)) typed.replace(p, 1, "%s");
    EXPECT_EQ(shellParses(escapeInputText(text)), typed) << text;
    EXPECT_EQ(shellParses(singleQuote(text)), text) << text;
    EXPECT_EQ(shellParses(shellAppId(text)), text) << text;
  }
  // A line feed is escaped too (the shell drops the pair as a continuation).
  EXPECT_EQ(escapeInputText("a\nb"), "a\\\nb");
  EXPECT_EQ(shellParses(escapeInputText("a\n;id")), "a;id");
}

TEST(AndroidShellTest, QuotingOfUrlsAndAppIds) {
  EXPECT_EQ(singleQuote("https://x.test/a?b=1&c=2"), "'https://x.test/a?b=1&c=2'");
  EXPECT_EQ(singleQuote("it's"), "'it'\\''s'");
  EXPECT_EQ(singleQuote(""), "''");
  EXPECT_EQ(shellAppId("com.example.app_1"), "com.example.app_1");
  EXPECT_EQ(shellAppId("com.example;reboot"), "'com.example;reboot'");
  EXPECT_EQ(shellAppId(""), "''");
}

TEST(AndroidShellTest, EraseScriptIsOneSingleQuotedShellWord) {
  const std::string body = "input keyevent KEYCODE_MOVE_END; i=0; while [ $i -lt 0 ]; do input keyevent "
                           "KEYCODE_DEL; i=$((i+1)); done";
  EXPECT_EQ(eraseScript(0), "'" + body + "'");
  EXPECT_EQ(shellParses(eraseScript(4294967295u)),
            "input keyevent KEYCODE_MOVE_END; i=0; while [ $i -lt 4294967295 ]; do input keyevent KEYCODE_DEL; "
            "i=$((i+1)); done");
}

TEST(AndroidShellTest, ArgumentVectors) {
  struct Case {
    Args args;
    Argv want;
  };
  const Case cases[] = {
      {launch("com.app"), {"shell", "monkey", "-p", "com.app", "-c", "android.intent.category.LAUNCHER", "1"}},
      {launch("a b"), {"shell", "monkey", "-p", "'a b'", "-c", "android.intent.category.LAUNCHER", "1"}},
      {stop("com.app"), {"shell", "am", "force-stop", "com.app"}},
      {clearState("$x"), {"shell", "pm", "clear", "'$x'"}},
      {install("/tmp/my app.apk"), {"install", "-r", "/tmp/my app.apk"}},
      {openLink("app://x'y", "com.app"),
       {"shell", "am", "start", "-a", "android.intent.action.VIEW", "-d", "'app://x'\\''y'", "com.app"}},
      {typeText(""), {"shell", "input", "text", ""}},
      {eraseText(3), {"shell", "sh", "-c", eraseScript(3)}},
      {pressBack(), {"shell", "input", "keyevent", "BACK"}},
      {swipe(-1, 2, 2147483647, -2147483647 - 1, 300),
       {"shell", "input", "swipe", "-1", "2", "2147483647", "-2147483648", "300"}},
      {tap(60, -45), {"shell", "input", "tap", "60", "-45"}},
  };
  for (const Case& c : cases) EXPECT_EQ(c.args.argv(), c.want);
}

}  // namespace
}  // namespace vyx::android_shell
