// The MCP server over an in-process device: the four methods, the tools
// document, tool argument errors and replies, and what tools record.
#include "server/mcp.hpp"

#include <gtest/gtest.h>

#include "fake_device.hpp"
#include "core/json.hpp"
#include "fake_clock.hpp"

namespace {

using vyx::test::FakeDevice;
using vyx::test::TraceFixture;

class Mcp : public ::testing::Test {
 protected:
  std::string reply(std::string_view line, vyx::TraceWriter* trace = nullptr) {
    vyx::json_rpc::Session session{device, trace, clock};
    vyx::StringWriter out;
    EXPECT_TRUE(vyx::mcp::dispatchLine(session, line, out)) << line;
    return out.take();
  }
  std::string call(std::string_view tool, std::string_view arguments = {}, vyx::TraceWriter* trace = nullptr) {
    std::string line = R"({"jsonrpc":"2.0","id":7,"method":"tools/call","params":{"name":")" + std::string(tool) + "\"";
    if (!arguments.empty()) line += ",\"arguments\":" + std::string(arguments);
    return reply(line + "}}", trace);
  }
  static std::string text(std::string_view json) {
    std::string escaped;
    for (char c : json) {
      if (c == '"' || c == '\\') escaped += '\\';
      escaped += c;
    }
    return R"({"jsonrpc":"2.0","id":7,"result":{"content":[{"type":"text","text":")" + escaped + "\"}]}}\n";
  }
  static std::string failure(std::string_view name, std::string_view code) {
    return R"({"jsonrpc":"2.0","id":7,"error":{"code":-32000,"message":")" + std::string(name) +
           R"(","publicCode":")" + std::string(code) + "\"}}\n";
  }

  vyx::FakeClock clock;
  FakeDevice device{vyx::Platform::android, &clock};
};

TEST_F(Mcp, MethodsAndRequestChecks) {
  const std::string serverInfo = R"(,"capabilities":{"tools":{}},"serverInfo":{"name":"vyx","version":"0.2.9"}}})";
  EXPECT_EQ(reply(R"({"id":1,"method":"initialize"})"),
            R"({"jsonrpc":"2.0","id":1,"result":{"protocolVersion":"2024-11-05")" + serverInfo + "\n");
  EXPECT_EQ(reply(R"({"id":1,"method":"initialize","params":{"protocolVersion":20250618}})"),
            R"({"jsonrpc":"2.0","id":1,"result":{"protocolVersion":"2024-11-05")" + serverInfo + "\n");
  EXPECT_EQ(reply(R"({"id":"s","method":"initialize","params":{"protocolVersion":"2025-06-18"}})"),
            R"({"jsonrpc":"2.0","id":"s","result":{"protocolVersion":"2025-06-18")" + serverInfo + "\n");
  EXPECT_EQ(reply(R"({"id":2,"method":"ping"})"), R"({"jsonrpc":"2.0","id":2,"result":{}})" "\n");
  // Client notifications get no reply; any other message without id does.
  EXPECT_EQ(reply(R"({"jsonrpc":"2.0","method":"notifications/initialized"})"), "");
  EXPECT_EQ(reply(R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":{"requestId":3}})"), "");
  EXPECT_EQ(reply(R"({"jsonrpc":"2.0","method":"session.create"})"),
            R"({"jsonrpc":"2.0","id":null,"error":{"code":-32601,"message":"method not found"}})" "\n");
  EXPECT_EQ(reply(R"({"jsonrpc":"2.0","id":null,"method":"notifications/initialized"})"),
            R"({"jsonrpc":"2.0","id":null,"error":{"code":-32601,"message":"method not found"}})" "\n");
  EXPECT_EQ(reply(R"({"jsonrpc":"2.0","method":"ping"})"), R"({"jsonrpc":"2.0","id":null,"result":{}})" "\n");
  EXPECT_EQ(reply(R"({"id":3,"method":"runner.capabilities"})"),
            R"({"jsonrpc":"2.0","id":3,"error":{"code":-32601,"message":"method not found"}})" "\n");
  EXPECT_EQ(reply("[]"), R"({"jsonrpc":"2.0","id":null,"error":{"code":-32600,"message":"request must be an object"}})" "\n");
  EXPECT_EQ(reply("{"), R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"UnexpectedEndOfInput"}})" "\n");
  EXPECT_EQ(reply(R"({"id":0.5,"method":7})"),
            R"({"jsonrpc":"2.0","id":null,"error":{"code":-32600,"message":"method must be a string"}})" "\n");
  EXPECT_EQ(reply(R"({"id":7,"method":"tools/call"})"), failure("MissingParam", "cli.missing_param"));
  EXPECT_EQ(reply(R"({"id":7,"method":"tools/call","params":{"name":1}})"),
            failure("ParamMustBeString", "internal.error"));
  EXPECT_EQ(call("Tap"), R"({"jsonrpc":"2.0","id":7,"error":{"code":-32602,"message":"unknown tool"}})" "\n");
}

TEST_F(Mcp, ToolsDocument) {
  std::string_view doc = vyx::mcp::toolsJson();
  EXPECT_EQ(doc.size(), 6394u);
  EXPECT_EQ(reply(R"({"id":1,"method":"tools/list"})"),
            R"({"jsonrpc":"2.0","id":1,"result":)" + std::string(doc) + "}\n");
  auto parsed = vyx::json::parseValue(doc);
  ASSERT_TRUE(parsed);
  const vyx::json::Value* tools = parsed->get("tools");
  ASSERT_TRUE(tools && tools->isArray());
  EXPECT_EQ(tools->array.size(), 26u);
  EXPECT_EQ(doc.substr(0, 207),
            R"({"tools":[{"name":"snapshot","description":"Capture the current mobile observation snapshot as JSON.",)"
            R"("inputSchema":{"type":"object","additionalProperties":false,"properties":{}}},{"name":"semantic_snapshot")");
  for (std::string_view fragment : {
           R"({"name":"swipe","description":"Swipe between absolute screen coordinates.","inputSchema":{"type":"object","additionalProperties":false,"required":["x1","y1","x2","y2"],"properties":{"x1":{"type":"integer"},"y1":{"type":"integer"},"x2":{"type":"integer"},"y2":{"type":"integer"},"durationMs":{"type":"integer","minimum":0}}}})",
           R"("properties":{"selectors":{"type":"array","minItems":1,"items":{"type":"object"}},"timeoutMs":{"type":"integer","minimum":0}}}})",
           R"("properties":{"selector":{"type":"object"},"direction":{"type":"string","enum":["down","up"]},"timeoutMs":{"type":"integer","minimum":0}}}})",
           R"("properties":{"afterSeq":{"type":"integer","minimum":0},"limit":{"type":"integer","minimum":1}}}})",
           R"({"name":"trace_export","description":"Export the active trace directory as a .vyxtrace bundle.","inputSchema":{"type":"object","additionalProperties":false,"required":["out"],"properties":{"out":{"type":"string"},"redact":{"type":"boolean"},"omitScreenshots":{"type":"boolean"}}}}]})",
       }) {
    EXPECT_NE(doc.find(fragment), std::string_view::npos) << fragment;
  }
}

TEST_F(Mcp, ToolArgumentsAndReplies) {
  device.snapshots = {vyx::test::screen({vyx::test::node("n1", std::string("OK"))}, {1080, 2400})};
  const std::string ok = text(R"({"ok":true})");
  struct Case {
    const char* tool;
    const char* arguments;
    std::string reply;
  };
  const Case cases[] = {
      {"tap", "", failure("MissingSelector", "selector.invalid")},
      {"tap", "[1]", failure("MissingSelector", "selector.invalid")},
      {"tap", R"({"selector":{}})", ok},
      {"type", R"({"text":"hi","selector":null})", failure("SelectorMustBeObject", "internal.error")},
      {"erase_text", R"({"selector":null})", failure("SelectorMustBeObject", "internal.error")},
      {"type", R"({"text":"hi"})", ok},
      {"erase_text", "", ok},
      {"wait_any", R"({"selectors":[]})", failure("SelectorsMustNotBeEmpty", "selector.invalid")},
      {"wait_any", R"({"selectors":{}})", failure("SelectorsMustBeArray", "selector.invalid")},
      {"wait_any", R"({"selectors":[{"text":"no"},{"text":"OK"}]})", text(R"({"matchedIndex":1})")},
      {"wait_any", R"({"selectors":[{"text":"no"}],"timeoutMs":0})", text(R"({"matchedIndex":null})")},
      {"scroll_until_visible", R"({"selector":{"text":"OK"},"direction":"sideways"})",
       failure("unknownScrollDirection", "scenario.invalid")},
      {"scroll_until_visible", R"({"selector":{"text":"OK"},"direction":1})",
       failure("ParamMustBeString", "internal.error")},
      {"scroll_until_visible", R"({"selector":{"text":"OK"}})", text(R"({"visible":true})")},
      {"wait_visible", R"({"selector":{"text":"OK"},"timeoutMs":"5"})", failure("ParamMustBeInteger", "internal.error")},
      {"wait_visible", R"({"selector":{"text":"no"},"timeoutMs":0})", text(R"({"visible":false})")},
      {"wait_not_visible", R"({"selector":{"text":"no"}})", text(R"({"visible":false})")},
      {"wait_not_visible", R"({"selector":{"text":"OK"},"timeoutMs":0})", text(R"({"visible":true})")},
      {"assert_visible", R"({"selector":{"text":"no"},"timeoutMs":0})", failure("AssertionFailed", "runner.assertion_failed")},
      {"assert_not_visible", R"({"selector":{"text":"no"}})", ok},
      {"assert_healthy", "", ok},
      {"swipe", R"({"x1":1,"y1":2,"x2":3})", failure("MissingParam", "cli.missing_param")},
      {"swipe", R"({"x1":1,"y1":2,"x2":3,"y2":4,"durationMs":4294967296})", failure("ParamMustBeInteger", "internal.error")},
      {"swipe", R"({"x1":1,"y1":2,"x2":3,"y2":4})", ok},
      {"open_link", R"({"url":"app://x"})", ok},
      {"install_app", R"({"path":true})", failure("ParamMustBeString", "internal.error")},
      {"launch_app", "", ok},
      {"press_back", "", ok},
      {"scenario_validate", R"({"path":"/no/such.json"})",
       text(R"({"ok":false,"path":"/no/such.json","errorCode":"scenario.file_not_found","message":"scenario file was not found"})")},
      {"trace_events", R"({"afterSeq":7})", text(R"({"traceDir":null,"afterSeq":7,"nextSeq":7,"latestSeq":0,"events":[]})")},
      {"trace_events", R"({"limit":-1})", failure("ParamMustBeInteger", "internal.error")},
  };
  for (const Case& c : cases) EXPECT_EQ(call(c.tool, c.arguments), c.reply) << c.tool << " " << c.arguments;
  device.failNext("launch", vyx::Error::CommandTimedOut);
  EXPECT_EQ(call("launch_app"), failure("CommandTimedOut", "internal.error"));
}

TEST_F(Mcp, TracedToolsRecordNoProtocolEvents) {
  TraceFixture fx;
  device.snapshots = {vyx::test::screen({vyx::test::node("n1", std::string("OK"))}, {1080, 2400})};
  call("launch_app", "", &fx.trace);
  call("snapshot", "", &fx.trace);
  std::string semantic = call("semantic_snapshot", "", &fx.trace);
  EXPECT_NE(semantic.find(R"(\"id\":\"snapshot-2\")"), std::string::npos) << semantic;
  call("type", R"({"text":"hi"})", &fx.trace);
  call("erase_text", R"({"maxChars":3})", &fx.trace);
  call("open_link", R"({"url":"app://x"})", &fx.trace);
  call("tools_nope", "", &fx.trace);
  call("tap", "", &fx.trace);
  EXPECT_EQ(fx.events(), (std::vector<std::string>{
                             R"(app.launch {"status":"ok"})",
                             R"(observe.semanticSnapshot {"status":"ok"})",
                             R"(ui.type {"text":"hi"})",
                             R"(ui.eraseText {"maxChars":3})",
                             R"(app.openLink {"status":"ok","url":"app://x"})",
                         }));
  EXPECT_FALSE(vyx::test::fileExists(fx.dir.file("artifacts/snapshot-1.json")));
  EXPECT_TRUE(vyx::test::fileExists(fx.dir.file("artifacts/snapshot-2.json")));
  std::string page = call("trace_events", R"({"afterSeq":1,"limit":1})", &fx.trace);
  EXPECT_NE(page.find(R"(\"afterSeq\":1,\"nextSeq\":2,\"latestSeq\":5,\"events\":[{\"seq\":2,)"), std::string::npos)
      << page;
}

TEST_F(Mcp, TraceToolsWithAndWithoutATrace) {
  EXPECT_EQ(call("trace_export"), failure("MissingParam", "cli.missing_param"));
  EXPECT_EQ(call("trace_export", R"({"out":"x.vyxtrace"})"),
            text(R"({"traceDir":null,"message":"start vyx mcp with --trace-dir to enable export"})"));
  EXPECT_EQ(call("trace_explain"),
            text(R"({"traceDir":null,"message":"start vyx mcp with --trace-dir to enable live trace explanation"})"));
  EXPECT_EQ(call("trace_discover", R"({"out":"a.json","name":5})"),
            text(R"({"ok":false,"mode":"discover","traceDir":null,"message":"start vyx mcp with --trace-dir to enable live trace discovery"})"));
  EXPECT_EQ(call("trace_explore", R"({"out":"a.json"})"), failure("MissingParam", "cli.missing_param"));
  EXPECT_EQ(call("trace_explore", R"({"out":"a.json","goal":"g"})"),
            text(R"({"ok":false,"mode":"explore","traceDir":null,"message":"start vyx mcp with --trace-dir to enable live trace exploration"})"));

  TraceFixture fx;
  ASSERT_TRUE(fx.trace.startManifest("mcp session", "com.example.app"));
  vyx::test::TempDir out;
  device.snapshots = {vyx::test::screen({vyx::test::node("n1", std::string("OK"))}, {1080, 2400})};
  call("semantic_snapshot", "", &fx.trace);
  std::string drafted = out.file("d.json");
  std::string discovered = call("trace_discover", R"({"out":")" + drafted + R"(","name":7})", &fx.trace);
  EXPECT_NE(discovered.find(R"(\"ok\":true,\"mode\":\"discover\")"), std::string::npos) << discovered;
  std::string bundle = out.file("b.vyxtrace");
  EXPECT_EQ(call("trace_export", R"({"out":")" + bundle + R"(","omitScreenshots":true})", &fx.trace),
            text(R"({"traceDir":")" + fx.dir.path() + R"(","out":")" + bundle +
                 R"(","redacted":true,"omitScreenshots":true})"));
  call("trace_explain", "", &fx.trace);
  EXPECT_EQ(fx.kinds(), (std::vector<std::string>{"observe.semanticSnapshot", "trace.discover", "trace.explain"}));
}

}  // namespace
