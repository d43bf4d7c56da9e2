#include "devices/android_shell.hpp"

#include "core/cli_output.hpp"

namespace vyx::android_shell {

namespace {

bool isAsciiAlnum(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Bytes the device shell takes literally, so `input text` gets them as typed.
bool passesUnescaped(unsigned char c) {
  if (isAsciiAlnum(c) || c >= 0x80) return true;
  switch (c) {
    case '%':
    case '+':
    case ',':
    case '-':
    case '.':
    case '/':
    case ':':
    case '=':
    case '@':
    case '_':
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string escapeInputText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 4 + 1);
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == ' ') {
      out += "%s";
    } else if (passesUnescaped(c)) {
      out += ch;
    } else {
      out += '\\';
      out += ch;
    }
  }
  return out;
}

std::string singleQuote(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '\'';
  for (char ch : text) {
    if (ch == '\'') {
      out += "'\\''";
    } else {
      out += ch;
    }
  }
  out += '\'';
  return out;
}

std::string shellAppId(std::string_view appId) {
  if (cli_output::isShellSafe(appId)) return std::string(appId);
  return singleQuote(appId);
}

std::string eraseScript(uint32_t maxChars) {
  std::string script = "'input keyevent KEYCODE_MOVE_END; i=0; while [ $i -lt ";
  script += std::to_string(maxChars);
  script += " ]; do input keyevent KEYCODE_DEL; i=$((i+1)); done'";
  return script;
}

Args launch(std::string_view appId) {
  Args args{"shell", "monkey", "-p"};
  args.appendOwned(shellAppId(appId));
  args.append("-c");
  args.append("android.intent.category.LAUNCHER");
  args.append("1");
  return args;
}

Args stop(std::string_view appId) {
  Args args{"shell", "am", "force-stop"};
  args.appendOwned(shellAppId(appId));
  return args;
}

Args clearState(std::string_view appId) {
  Args args{"shell", "pm", "clear"};
  args.appendOwned(shellAppId(appId));
  return args;
}

Args install(std::string_view apkPath) {
  // `adb install` reads the file on this machine; no device shell sees it.
  Args args{"install", "-r"};
  args.append(apkPath);
  return args;
}

Args openLink(std::string_view url, std::string_view appId) {
  Args args{"shell", "am", "start", "-a", "android.intent.action.VIEW", "-d"};
  args.appendOwned(singleQuote(url));
  args.appendOwned(shellAppId(appId));
  return args;
}

Args typeText(std::string_view text) {
  Args args{"shell", "input", "text"};
  args.appendOwned(escapeInputText(text));
  return args;
}

Args eraseText(uint32_t maxChars) {
  Args args{"shell", "sh", "-c"};
  args.appendOwned(eraseScript(maxChars));
  return args;
}

Args pressBack() { return Args{"shell", "input", "keyevent", "BACK"}; }

Args swipe(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t durationMs) {
  Args args{"shell", "input", "swipe"};
  args.appendFmt(x1);
  args.appendFmt(y1);
  args.appendFmt(x2);
  args.appendFmt(y2);
  args.appendFmt(durationMs);
  return args;
}

Args tap(int32_t x, int32_t y) {
  Args args{"shell", "input", "tap"};
  args.appendFmt(x);
  args.appendFmt(y);
  return args;
}

}  // namespace vyx::android_shell
