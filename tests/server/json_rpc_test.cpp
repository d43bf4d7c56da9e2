// The JSON-RPC line protocol and method table over an in-process device:
// request checks, ids, envelopes, every method's parameters, results and
// trace events, and the error replies with their public codes.
#include "server/json_rpc.hpp"

#include <gtest/gtest.h>

#include "fake_device.hpp"
#include "server/json_rpc_methods.hpp"
#include "fake_clock.hpp"

namespace {

using vyx::Error;
using vyx::test::FakeDevice;
using vyx::test::TraceFixture;

class JsonRpc : public ::testing::Test {
 protected:
  std::string reply(std::string_view line, vyx::TraceWriter* trace = nullptr) {
    vyx::json_rpc::Session session{device, trace, clock};
    vyx::StringWriter out;
    EXPECT_TRUE(vyx::json_rpc::dispatchLineWithTrace(session, line, out)) << line;
    return out.take();
  }

  static std::string error(std::string_view id, int code, std::string_view message, std::string_view publicCode = {}) {
    std::string s = R"({"jsonrpc":"2.0","id":)" + std::string(id) + R"(,"error":{"code":)" + std::to_string(code) +
                    R"(,"message":")" + std::string(message) + "\"";
    if (!publicCode.empty()) s += R"(,"publicCode":")" + std::string(publicCode) + "\"";
    return s + "}}\n";
  }
  static std::string result(std::string_view id, std::string_view value) {
    return R"({"jsonrpc":"2.0","id":)" + std::string(id) + R"(,"result":)" + std::string(value) + "}\n";
  }

  vyx::FakeClock clock;
  FakeDevice device{vyx::Platform::android, &clock};
};

TEST_F(JsonRpc, RequestChecksAndIds) {
  struct Case {
    const char* line;
    std::string reply;
  };
  const Case cases[] = {
      {"[1,2]", error("null", -32600, "request must be an object")},
      {"\"x\"", error("null", -32600, "request must be an object")},
      {"7", error("null", -32600, "request must be an object")},
      {R"({"id":4})", error("4", -32600, "missing method")},
      {R"({"id":"a","method":5})", error("\"a\"", -32600, "method must be a string")},
      {R"({"id":1,"method":null})", error("1", -32600, "method must be a string")},
      {R"({"id":1,"method":"x","params":{"a":1,"a":2}})", error("null", -32700, "DuplicateField")},
      {R"({"id":1,"method":)", error("null", -32700, "UnexpectedEndOfInput")},
      {"hello", error("null", -32700, "SyntaxError")},
      {R"({"id":1,"method":"session.close"} {"id":2})", error("null", -32700, "SyntaxError")},
      {R"({"id":1.0,"method":"session.close"})", result("null", "true")},
      {R"({"id":true,"method":"session.close"})", result("null", "true")},
      {R"({"id":{},"method":"session.close"})", result("null", "true")},
      {R"({"method":"session.close"})", result("null", "true")},
      {R"({"id":"1","method":"session.close","jsonrpc":"1.0"})", result("\"1\"", "true")},
      {R"({"id":9223372036854775807,"method":"session.close"})", result("9223372036854775807", "true")},
      {R"({"id":9223372036854775808,"method":"session.close"})", result("null", "true")},
      {R"({"id":-3,"method":"Session.Close"})", error("-3", -32601, "method not found")},
      {R"({"id":1,"method":"session.create"})", result("1", R"({"sessionId":"default"})")},
  };
  for (const Case& c : cases) EXPECT_EQ(reply(c.line), c.reply) << c.line;
  EXPECT_TRUE(device.calls.empty());
}

TEST_F(JsonRpc, CapabilitiesDocument) {
  std::string_view doc = vyx::json_rpc_methods::capabilitiesJson();
  EXPECT_EQ(doc.size(), 1060u);
  EXPECT_EQ(doc.substr(0, 78), R"({"name":"vyx","version":"0.2.9","protocolVersion":"2026-04-28","protocol":{"ve)");
  EXPECT_NE(doc.find(R"("methods":["runner.capabilities","device.list",)"), std::string_view::npos);
  EXPECT_EQ(doc.substr(doc.size() - 32), R"("trace.explain","trace.export"]})");
  EXPECT_EQ(reply(R"({"id":1,"method":"runner.capabilities"})"), result("1", doc));
}

TEST_F(JsonRpc, DeviceAndSessionMethods) {
  device.snapshots = {vyx::test::screen({vyx::test::node("n1", std::string("OK"))}, {1080, 2400})};
  struct Case {
    std::string params;  // "" for none
    const char* method;
    std::string reply;   // for id 1
    const char* calls;   // device calls joined by "|"
  };
  const std::string t = result("1", "true");
  const std::string f = result("1", "false");
  auto failure = [](const char* name, const char* code) { return error("1", -32000, name, code); };
  const Case cases[] = {
      {R"({"path":"a.apk"})", "app.install", t, "install a.apk"},
      {"", "app.install", failure("MissingParam", "cli.missing_param"), ""},
      {"[\"a.apk\"]", "app.install", failure("MissingParam", "cli.missing_param"), ""},
      {R"({"path":3})", "app.install", failure("ParamMustBeString", "internal.error"), ""},
      {"", "app.launch", t, "launch"},
      {"", "app.stop", t, "stop"},
      {"", "app.clearState", t, "clearState"},
      {"", "ui.hideKeyboard", t, "hideKeyboard"},
      {"", "ui.pressBack", t, "pressBack"},
      {R"({"url":"app://x"})", "app.openLink", t, "openLink app://x"},
      {R"({"text":"hi"})", "ui.type", t, "typeText hi"},
      {R"({"text":"hi","selector":null})", "ui.type", failure("SelectorMustBeObject", "internal.error"), ""},
      {R"({"selector":{}})", "ui.type", failure("MissingParam", "cli.missing_param"), ""},
      {R"({"text":"hi","selector":{}})", "ui.type", t, "snapshot|tapPoint 50 25|settle|typeText hi|settle"},
      {"", "ui.eraseText", t, "eraseText 80"},
      {R"({"maxChars":4294967295})", "ui.eraseText", t, "eraseText 4294967295"},
      {R"({"maxChars":4294967296})", "ui.eraseText", failure("ParamMustBeInteger", "internal.error"), ""},
      {R"({"maxChars":-1})", "ui.eraseText", failure("ParamMustBeInteger", "internal.error"), ""},
      {R"({"y1":"a"})", "ui.swipe", failure("MissingParam", "cli.missing_param"), ""},
      {R"({"x1":1,"y1":2,"x2":3,"y2":4})", "ui.swipe", t, "swipe 1 2 3 4 300"},
      {R"({"x1":-2147483648,"y1":2,"x2":3,"y2":4,"durationMs":0})", "ui.swipe", t, "swipe -2147483648 2 3 4 0"},
      {R"({"x1":2147483648,"y1":2,"x2":3,"y2":4})", "ui.swipe", failure("ParamMustBeInteger", "internal.error"), ""},
      {R"({"x1":1,"y1":2,"x2":3,"y2":4,"durationMs":-5})", "ui.swipe", failure("ParamMustBeInteger", "internal.error"), ""},
      {"", "ui.tap", failure("MissingSelector", "selector.invalid"), ""},
      {R"({"selector":"OK"})", "ui.tap", failure("SelectorMustBeObject", "internal.error"), ""},
      {R"({"selector":{"text":5}})", "ui.tap", failure("SelectorFieldMustBeString", "internal.error"), ""},
      {R"({"selector":{"text":"OK"}})", "ui.tap", t, "snapshot|tapPoint 50 25|settle"},
      {"", "wait.until", failure("WaitUntilNeedsVisibleSelector", "internal.error"), ""},
      {R"({"visible":{"text":"OK"}})", "wait.until", t, "snapshot"},
      {R"({"visible":{"text":"Nope"},"timeoutMs":0})", "wait.until", f, "snapshot"},
      {R"({"visible":{"text":"OK"},"timeoutMs":1.5})", "wait.until", failure("ParamMustBeInteger", "internal.error"), ""},
      {R"({"visible":{"text":"OK"},"timeoutMs":-1})", "wait.until", failure("ParamMustBeInteger", "internal.error"), ""},
      {R"({"visible":{"text":"OK"},"timeoutMs":9223372036854775807})", "wait.until",
       failure("ParamMustBeInteger", "internal.error"), ""},
      {"", "wait.any", failure("MissingSelectors", "selector.invalid"), ""},
      {R"({"selectors":{}})", "wait.any", failure("SelectorsMustBeArray", "selector.invalid"), ""},
      {R"({"selectors":[]})", "wait.any", failure("SelectorsMustNotBeEmpty", "selector.invalid"), ""},
      {R"({"selectors":[{"text":"Nope"},{"text":"OK"}]})", "wait.any", result("1", R"({"matchedIndex":1})"), "snapshot"},
      {R"({"selectors":[{"text":"Nope"}],"timeoutMs":0})", "wait.any", f, "snapshot"},
      {R"({"selector":{"text":"Nope"}})", "wait.gone", t, "snapshot"},
      {R"({"selector":{"text":"OK"},"timeoutMs":0})", "wait.gone", f, "snapshot"},
      {R"({"selector":{"text":"OK"}})", "assert.visible", t, "snapshot"},
      {R"({"selector":{"text":"Nope"},"timeoutMs":0})", "assert.visible",
       failure("AssertionFailed", "runner.assertion_failed"), "snapshot"},
      {R"({"selector":{"text":"OK"},"timeoutMs":0})", "assert.notVisible",
       failure("AssertionFailed", "runner.assertion_failed"), "snapshot"},
      {"", "assert.healthy", t, "snapshot"},
      {R"({"selector":{"text":"OK"},"direction":"UP"})", "ui.scrollUntilVisible",
       failure("unknownScrollDirection", "scenario.invalid"), ""},
      {R"({"selector":{"text":"OK"},"direction":3})", "ui.scrollUntilVisible",
       failure("ParamMustBeString", "internal.error"), ""},
      {R"({"selector":{"text":"OK"},"direction":"up"})", "ui.scrollUntilVisible", t, "snapshot"},
      {"", "session.close", t, ""},
  };
  for (const Case& c : cases) {
    device.calls.clear();
    std::string line = std::string(R"({"jsonrpc":"2.0","id":1,"method":")") + c.method + "\"";
    if (!c.params.empty()) line += ",\"params\":" + c.params;
    line += "}";
    EXPECT_EQ(reply(line), c.reply) << line;
    std::string calls;
    for (const std::string& call : device.calls) calls += (calls.empty() ? "" : "|") + call;
    EXPECT_EQ(calls, c.calls) << line;
  }
}

TEST_F(JsonRpc, DeviceFailuresListingAndSnapshots) {
  device.failNext("launch", Error::CommandFailed);
  EXPECT_EQ(reply(R"({"id":2,"method":"app.launch"})"),
            error("2", -32000, "CommandFailed", "device.command_failed"));
  device.snapshots = {vyx::test::screen({})};
  EXPECT_EQ(reply(R"({"id":2,"method":"ui.tap","params":{"selector":{"text":"OK"}}})"),
            error("2", -32000, "SelectorNotFound", "runner.selector_not_found"));

  EXPECT_EQ(reply(R"({"id":3,"method":"device.list"})"), result("3", "[]"));
  device.devices = std::vector<vyx::DeviceInfo>{{"emulator-5554", "device"}, {"ABC", "offline"}, {"sim", "Booted"}};
  EXPECT_EQ(reply(R"({"id":3,"method":"device.list"})"),
            result("3", R"([{"serial":"emulator-5554","state":"device","ready":true},)"
                        R"({"serial":"ABC","state":"offline","ready":false},)"
                        R"({"serial":"sim","state":"Booted","ready":true}])"));
  device.devices = vyx::fail(Error::CommandTimedOut);
  EXPECT_EQ(reply(R"({"id":3,"method":"device.list"})"), error("3", -32000, "CommandTimedOut", "internal.error"));

  device.snapshots = {vyx::test::screen({vyx::test::node("n1", std::string("OK"))}, {1080, 2400})};
  std::string plain = reply(R"({"id":4,"method":"observe.snapshot"})");
  EXPECT_EQ(plain.substr(0, 58), R"({"jsonrpc":"2.0","id":4,"result":{"id":"snapshot-fake-12",)");
  std::string semantic = reply(R"({"id":5,"method":"observe.semanticSnapshot"})");
  EXPECT_NE(semantic.find(R"("summary":{"nodeCount":1,"interactiveCount":0,"visibleText":["OK"]}}})"),
            std::string::npos)
      << semantic;
}

TEST_F(JsonRpc, TraceEventsOfTheLineLayerAndMethods) {
  TraceFixture fx;
  device.snapshots = {vyx::test::screen({vyx::test::node("n1", std::string("OK"))}, {1080, 2400})};
  for (const char* line : {"[]", R"({"id":1})", "nope"}) reply(line, &fx.trace);
  EXPECT_TRUE(fx.events().empty());

  reply(R"({"id":1,"method":"app.launch"})", &fx.trace);
  reply(R"({"id":"x","method":"nope"})", &fx.trace);
  reply(R"({"id":2,"method":"ui.type","params":{"text":"hi"}})", &fx.trace);
  reply(R"({"id":3,"method":"ui.eraseText"})", &fx.trace);
  reply(R"({"id":4,"method":"ui.swipe","params":{"x1":1,"y1":2,"x2":3,"y2":4}})", &fx.trace);
  reply(R"({"id":5,"method":"app.openLink","params":{"url":"app://x"}})", &fx.trace);
  reply(R"({"id":6,"method":"app.install","params":{"path":"a.apk"}})", &fx.trace);
  reply(R"({"id":7,"method":"ui.tap","params":{"selector":{"text":"Nope"}}})", &fx.trace);
  std::vector<std::string> events = fx.events();
  std::vector<std::string> expected = {
      R"(rpc.request {"method":"app.launch","id":1})",
      R"(app.launch {"status":"ok"})",
      R"(rpc.response {"method":"app.launch","id":1})",
      R"(rpc.request {"method":"nope","id":"x"})",
      R"(rpc.response {"method":"nope","id":"x"})",
      R"(rpc.request {"method":"ui.type","id":2})",
      R"(ui.type {"text":"hi"})",
      R"(rpc.response {"method":"ui.type","id":2})",
      R"(rpc.request {"method":"ui.eraseText","id":3})",
      R"(ui.eraseText {"maxChars":80})",
      R"(rpc.response {"method":"ui.eraseText","id":3})",
      R"(rpc.request {"method":"ui.swipe","id":4})",
      R"(ui.swipe {"status":"ok","x1":1,"y1":2,"x2":3,"y2":4,"durationMs":300})",
      R"(rpc.response {"method":"ui.swipe","id":4})",
      R"(rpc.request {"method":"app.openLink","id":5})",
      R"(app.openLink {"status":"ok","url":"app://x"})",
      R"(rpc.response {"method":"app.openLink","id":5})",
      R"(rpc.request {"method":"app.install","id":6})",
      R"(app.install {"path":"a.apk"})",
      R"(rpc.response {"method":"app.install","id":6})",
      R"(rpc.request {"method":"ui.tap","id":7})",
  };
  ASSERT_GE(events.size(), expected.size() + 1);
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(events[i], expected[i]);
  EXPECT_EQ(events.back(), R"(rpc.error {"method":"ui.tap","id":7,"error":"SelectorNotFound"})");

  // The failed tap observed 11 times; the next snapshot is the twelfth.
  std::string snap = reply(R"({"id":8,"method":"observe.semanticSnapshot"})", &fx.trace);
  EXPECT_NE(snap.find(R"("result":{"id":"snapshot-12")"), std::string::npos) << snap;
  events = fx.events();
  EXPECT_EQ(events[events.size() - 2], "observe.semanticSnapshot {\"path\":\"" + fx.dir.path() +
                                           "/artifacts/snapshot-12.json\",\"snapshotId\":\"snapshot-12\"}");
  EXPECT_TRUE(vyx::test::fileExists(fx.dir.file("artifacts/snapshot-12.json")));
}

TEST_F(JsonRpc, TraceEventsPaging) {
  EXPECT_EQ(reply(R"({"id":1,"method":"trace.events","params":{"afterSeq":7}})"),
            result("1", R"({"traceDir":null,"afterSeq":7,"nextSeq":7,"latestSeq":0,"events":[]})"));
  EXPECT_EQ(reply(R"({"id":1,"method":"trace.events","params":{"afterSeq":-1}})"),
            error("1", -32000, "ParamMustBeInteger", "internal.error"));
  EXPECT_EQ(reply(R"({"id":1,"method":"trace.events","params":{"limit":"3"}})"),
            error("1", -32000, "ParamMustBeInteger", "internal.error"));

  // The request's own rpc.request event is already in the log.
  TraceFixture fx;
  std::string page = reply(R"({"id":1,"method":"trace.events"})", &fx.trace);
  EXPECT_NE(page.find(R"("afterSeq":0,"nextSeq":1,"latestSeq":1,"events":[{"seq":1,)"), std::string::npos) << page;
  EXPECT_NE(page.find(R"("kind":"rpc.request","payload":{"method":"trace.events","id":1}}]})"), std::string::npos)
      << page;

  // A hand-written log: junk lines are skipped and not counted.
  std::string log = "not json\n{\"seq\":\"2\"}\n{\"seq\":0}\n\n";
  for (int i = 1; i <= 10; ++i) log += "  {\"seq\":" + std::to_string(i) + ",\"kind\":\"k\"}\t\n";
  vyx::test::writeFile(fx.dir.file("events.jsonl"), log);
  page = reply(R"({"id":1,"method":"trace.events","params":{"afterSeq":4,"limit":3}})", &fx.trace);
  EXPECT_NE(page.find(R"("afterSeq":4,"nextSeq":7,"latestSeq":3,"events":[{"seq":5,"kind":"k"},{"seq":6,"kind":"k"},{"seq":7,"kind":"k"}]})"),
            std::string::npos)
      << page;
  page = reply(R"({"id":1,"method":"trace.events","params":{"afterSeq":4,"limit":0}})", &fx.trace);
  EXPECT_NE(page.find(R"("nextSeq":4,)"), std::string::npos) << page;

  std::string many;
  for (int i = 1; i <= 1200; ++i) many += "{\"seq\":" + std::to_string(i) + "}\n";
  vyx::test::writeFile(fx.dir.file("events.jsonl"), many);
  page = reply(R"({"id":1,"method":"trace.events","params":{"limit":5000}})", &fx.trace);
  EXPECT_NE(page.find(R"("nextSeq":1000,)"), std::string::npos);
}

TEST_F(JsonRpc, TraceMethodsWithoutATrace) {
  auto failure = [](const char* name, const char* code) { return error("1", -32000, name, code); };
  const std::pair<const char*, std::string> cases[] = {
      {R"({"id":1,"method":"trace.export"})",
       result("1", R"({"traceDir":null,"message":"start vyx serve with --trace-dir to enable live RPC trace export"})")},
      {R"({"id":1,"method":"trace.explain"})",
       result("1", R"({"traceDir":null,"message":"start vyx serve with --trace-dir to enable live RPC trace explanation"})")},
      {R"({"id":1,"method":"trace.discover","params":{"out":"a.json"}})",
       result("1", R"({"ok":false,"mode":"discover","traceDir":null,"message":"start vyx serve with --trace-dir to enable live trace discovery"})")},
      {R"({"id":1,"method":"trace.explore","params":{"out":"a.json","goal":"sign in"}})",
       result("1", R"({"ok":false,"mode":"explore","traceDir":null,"message":"start vyx serve with --trace-dir to enable live trace exploration"})")},
      {R"({"id":1,"method":"trace.discover"})", failure("MissingParam", "cli.missing_param")},
      {R"({"id":1,"method":"trace.explore","params":{"out":"a.json"}})", failure("MissingParam", "cli.missing_param")},
      {R"({"id":1,"method":"trace.explore","params":{"out":"a.json","goal":"g","validate":"yes"}})",
       failure("ParamMustBeBool", "internal.error")},
      {R"({"id":1,"method":"trace.discover","params":{"out":"a.json","name":5}})",
       failure("ParamMustBeString", "internal.error")},
  };
  for (const auto& [line, expected] : cases) EXPECT_EQ(reply(line), expected) << line;
}

TEST_F(JsonRpc, TraceMethodsOnTheLiveTrace) {
  TraceFixture fx;
  ASSERT_TRUE(fx.trace.startManifest("json-rpc session", "com.example.app"));
  vyx::test::TempDir out;
  device.snapshots = {vyx::test::screen({vyx::test::node("n1", std::string("OK"))}, {1080, 2400})};
  reply(R"({"id":1,"method":"app.launch"})", &fx.trace);
  reply(R"({"id":2,"method":"observe.snapshot"})", &fx.trace);

  std::string drafted = out.file("drafted.json");
  std::string discovered =
      reply(R"({"id":3,"method":"trace.discover","params":{"out":")" + drafted + R"(","validate":true}})", &fx.trace);
  EXPECT_EQ(discovered.substr(0, 69), R"({"jsonrpc":"2.0","id":3,"result":{"ok":true,"mode":"discover","schema)") << discovered;
  EXPECT_TRUE(vyx::test::fileExists(drafted));
  std::string explored = reply(R"({"id":4,"method":"trace.explore","params":{"out":")" + drafted +
                                   R"(","goal":"sign in","force":true}})",
                               &fx.trace);
  EXPECT_NE(explored.find(R"("mode":"explore")"), std::string::npos) << explored;
  EXPECT_NE(explored.find(R"("goal":"sign in")"), std::string::npos) << explored;

  std::string explained = reply(R"({"id":5,"method":"trace.explain"})", &fx.trace);
  EXPECT_NE(explained.find(R"("traceDir":")" + fx.dir.path() + "\""), std::string::npos) << explained;

  std::string bundle = out.file("live.vyxtrace");
  EXPECT_EQ(reply(R"({"id":6,"method":"trace.export","params":{"out":")" + bundle + R"(","omitScreenshots":true}})",
                  &fx.trace),
            result("6", R"({"traceDir":")" + fx.dir.path() + R"(","out":")" + bundle +
                            R"(","redacted":true,"omitScreenshots":true})"));
  EXPECT_TRUE(vyx::test::fileExists(bundle));

  std::vector<std::string> kinds = fx.kinds();
  auto has = [&](const std::string& event) {
    for (const std::string& e : fx.events()) {
      if (e.rfind(event, 0) == 0) return true;
    }
    return false;
  };
  EXPECT_TRUE(has("trace.discover {\"status\":\"ok\",\"out\":\"" + drafted + "\",\"includeActions\":false,\"validated\":true}"));
  EXPECT_TRUE(has("trace.explore {\"status\":\"ok\",\"out\":\"" + drafted + "\",\"goal\":\"sign in\""));
  EXPECT_TRUE(has(R"(trace.explain {"status":"ok"})"));
  EXPECT_TRUE(has(R"(trace.export {"status":"started"})"));
  // The export event comes before the export and nothing after it but the
  // line layer's response.
  ASSERT_GE(kinds.size(), 2u);
  EXPECT_EQ(kinds[kinds.size() - 2], "trace.export");
  EXPECT_EQ(kinds.back(), "rpc.response");
}

}  // namespace
