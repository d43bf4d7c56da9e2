#pragma once
// Argument vectors for `adb`, and the quoting that keeps what a scenario or a
// client sends from being run as commands by the device's shell: everything
// after "shell" is joined by adb into one command line that the device's
// shell parses.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vyx::android_shell {

// An argument vector in order. Every argument is its own copy.
class Args {
 public:
  Args() = default;
  Args(std::initializer_list<std::string_view> args) {
    for (std::string_view a : args) append(a);
  }

  void append(std::string_view arg) { argv_.emplace_back(arg); }
  void appendOwned(std::string arg) { argv_.push_back(std::move(arg)); }
  // A signed 32-bit integer in decimal ("-" before negative values).
  void appendFmt(int32_t value) { argv_.push_back(std::to_string(value)); }
  // The same for unsigned values (durations, counts).
  void appendFmt(uint32_t value) { argv_.push_back(std::to_string(value)); }

  const std::vector<std::string>& argv() const { return argv_; }
  size_t size() const { return argv_.size(); }

 private:
  std::vector<std::string> argv_;
};

// The text argument of `input text`: a blank becomes "%s", and a backslash
// goes before every byte that is not a letter, a digit, a byte of 0x80 or
// above, or one of % + , - . / : = @ _.
std::string escapeInputText(std::string_view text);

// The text wrapped in apostrophes, each apostrophe inside written as '\''.
std::string singleQuote(std::string_view text);

// The app id as the device shell must see it: unchanged when every byte is
// shell-safe, otherwise single-quoted.
std::string shellAppId(std::string_view appId);

// The device script that moves to the end of the field and deletes maxChars
// characters, single-quoted as the one argument after "sh" "-c".
std::string eraseScript(uint32_t maxChars);

// The arguments after the common prefix (adb path, "-s" serial) of each
// device command.
Args launch(std::string_view appId);
Args stop(std::string_view appId);
Args clearState(std::string_view appId);
Args install(std::string_view apkPath);
Args openLink(std::string_view url, std::string_view appId);
Args typeText(std::string_view text);
Args eraseText(uint32_t maxChars);
Args pressBack();
Args swipe(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t durationMs);
Args tap(int32_t x, int32_t y);

}  // namespace vyx::android_shell
