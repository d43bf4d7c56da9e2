#include "core/usage.hpp"

#include "core/writer.hpp"

namespace vyx {

std::string_view usageText() {
  static constexpr std::string_view kText =
      "vyx - Orvan Mobile Runner\n"
      "\n"
      "Commands:\n"
      "  vyx version [--json]\n"
      "  vyx schemas [--json]\n"
      "  vyx devices [--json] [--platform android|ios] [--ios-device-type simulator|physical|all] [--adb <path>] [--xcrun <path>]\n"
      "  vyx doctor [--json] [--strict] [--config <path>] [--zig <path>] [--adb <path>] [--android-shim <path>] [--xcrun <path>] [--ios-shim <path>]\n"
      "  vyx discover --from-trace <trace-dir> --out <scenario.json> [--include-actions] [--validate] [--name <name>] [--app-id <id>] [--force] [--json]\n"
      "  vyx draft --from-trace <trace-dir> --out <scenario.json> [--include-actions] [--name <name>] [--app-id <id>] [--force] [--json]\n"
      "  vyx explore --from-trace <trace-dir> --out <scenario.json> [--goal <goal>] [--include-actions] [--validate] [--name <name>] [--app-id <id>] [--force] [--json]\n"
      "  vyx validate <scenario.json> [--json]\n"
      "  vyx init [scenario.json] [--app-id <id>] [--force] [--json]\n"
      "  vyx init --app [--dir <app-root>] [--app-id <id>] [--force] [--json]\n"
      "  vyx import flow-yaml <flow.yaml> --out <scenario.json> [--name <name>] [--app-id <id>] [--force] [--json]\n"
      "  vyx inspect [--json] [--dir <app-root>] [--config <path>]\n"
      "  vyx run [scenario.json] [--json] [--config <path>] [--platform android|ios] [--ios-device-type simulator|physical] [--device <serial>] [--app-id <id>] [--trace-dir <path>] [--discover-out <scenario.json>] [--android-avd <name>] [--create-avd-if-missing] [--avd-system-image <pkg>] [--avd-device <profile>] [--restore-snapshot <name>] [--reset-emulator] [--wait-emulator] [--screen-record] [--no-screen-record] [--adb <path>] [--emulator <path>] [--avdmanager <path>] [--android-shim <path>] [--xcrun <path>] [--ios-shim <path>]\n"
      "  vyx report <trace-or-benchmark-dir> --out <report.html> [--junit <report.xml>]\n"
      "  vyx explain <trace-dir> [--json]\n"
      "  vyx export <trace-dir> --out <bundle.vyxtrace> [--redact] [--omit-screenshots]\n"
      "  vyx serve --transport stdio [--config <path>] [--platform android|ios] [--ios-device-type simulator|physical] [--device <serial>] [--app-id <id>] [--trace-dir <path>] [--adb <path>] [--android-shim <path>] [--xcrun <path>] [--ios-shim <path>]\n"
      "  vyx serve --transport tcp [--port <port>] [--config <path>] [--platform android|ios] [--ios-device-type simulator|physical] [--device <serial>] [--app-id <id>] [--trace-dir <path>] [--adb <path>] [--android-shim <path>] [--xcrun <path>] [--ios-shim <path>]\n"
      "  vyx mcp [--config <path>] [--platform android|ios] [--ios-device-type simulator|physical] [--device <serial>] [--app-id <id>] [--trace-dir <path>] [--adb <path>] [--android-shim <path>] [--xcrun <path>] [--ios-shim <path>]\n"
      "\n"
      "Scenario actions: launch, stop, clearState, openLink, tap, typeText,\n"
      "eraseText, hideKeyboard, swipe, pressBack, waitVisible, waitNotVisible,\n"
      "waitAny, whenVisible, repeat, scrollUntilVisible, assertVisible,\n"
      "assertNotVisible, assertNoneVisible, assertHealthy, snapshot, sleep. Any step may use \"optional\": true.\n";
  return kText;
}

Status printUsage() {
  Output out;
  VYX_TRY(out.writeAll(usageText()));
  return out.flush();
}

}  // namespace vyx
