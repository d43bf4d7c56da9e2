// The semantic snapshot: roles, names, selectors, recommended actions, the
// summary, and centres that leave the 32-bit range.
#include "server/semantic.hpp"

#include <gtest/gtest.h>

#include <climits>

#include "core/writer.hpp"
#include "vyx_test.hpp"

namespace {

using vyx::ObservationSnapshot;
using vyx::UiNode;

UiNode node(std::string className, std::optional<std::string> text = std::nullopt, bool visible = true,
            bool enabled = true) {
  UiNode n;
  n.stableId = "n1";
  n.className = vyx::test::kept(className);
  n.text = vyx::test::keptOrNone(text);
  n.visible = visible;
  n.enabled = enabled;
  return n;
}

std::string document(const ObservationSnapshot& s) {
  vyx::StringWriter w;
  EXPECT_TRUE(vyx::semantic::writeSemanticSnapshotJson(w, s));
  return w.take();
}

TEST(SemanticRole, ClassNamePatternsInOrder) {
  struct Case {
    const char* className;
    std::optional<std::string> text;
    const char* role;
    const char* action;  // nullptr: none
  };
  const Case cases[] = {
      {"android.widget.RadioButton", {}, "radio", "tap"},
      {"android.widget.ImageButton", {}, "button", "tap"},
      {"android.widget.ToggleButton", {}, "button", "tap"},
      {"android.widget.EditText", {}, "textbox", "type"},
      {"XCUIElementTypeSecureTextField", {}, "textbox", "type"},
      {"android.widget.Switch", {}, "switch", "tap"},
      {"android.widget.CheckBox", {}, "checkbox", "tap"},
      {"Checkbox", {}, "checkbox", "tap"},
      {"android.widget.ImageView", {}, "image", nullptr},
      {"android.widget.TextView", {}, "text", nullptr},
      {"XCUIElementTypeStaticText", {}, "text", nullptr},
      {"android.view.View", std::string(), "text", nullptr},
      {"android.view.View", {}, "node", nullptr},
  };
  for (const Case& c : cases) {
    UiNode n = node(c.className, c.text);
    EXPECT_EQ(vyx::semantic::roleForNode(n), c.role) << c.className;
    auto action = vyx::semantic::recommendedAction(n);
    if (c.action == nullptr) {
      EXPECT_FALSE(action) << c.className;
    } else {
      EXPECT_EQ(action.value_or(""), c.action) << c.className;
    }
  }
  EXPECT_FALSE(vyx::semantic::recommendedAction(node("android.widget.RadioButton", {}, true, false)));
  EXPECT_FALSE(vyx::semantic::recommendedAction(node("android.widget.Button", {}, false, true)));
}

TEST(SemanticSnapshot, WholeDocument) {
  ObservationSnapshot s;
  s.id = "snapshot-3";
  s.timestampMs = 1700000000123;
  s.viewport = {1080, 2400};
  s.activePackage = "com.example.app";
  UiNode field = node("android.widget.EditText", std::string());
  field.stableId = "n0";
  field.resourceId = "com.example.app:id/email";
  field.contentDesc = "Email";
  field.bounds = {40, 100, 1001, -5};
  UiNode button = node("android.widget.Button", std::string("Sign in"), true, false);
  button.stableId = "n1";
  UiNode hidden = node("android.widget.TextView", std::string("Sign in"), false);
  hidden.stableId = "n2";
  UiNode twin = node("android.widget.TextView", std::string("Sign in"));
  twin.stableId = "n3";
  UiNode bare = node("android.view.View");
  bare.stableId = "n4";
  s.nodes = {field, button, hidden, twin, bare};
  EXPECT_EQ(document(s),
            R"({"id":"snapshot-3","timestampMs":1700000000123,"viewport":{"width":1080,"height":2400},)"
            R"("activePackage":"com.example.app","activeActivity":null,"focusedNodeId":null,"nodes":[)"
            R"({"id":"n0","role":"textbox","name":"Email","selector":{"resourceId":"com.example.app:id/email"},)"
            R"("source":{"className":"android.widget.EditText","resourceId":"com.example.app:id/email","text":"",)"
            R"("contentDesc":"Email"},"bounds":{"x":40,"y":100,"width":1001,"height":-5,"centerX":540,"centerY":98},)"
            R"("enabled":true,"visible":true,"selected":false,"interactive":true,"recommendedAction":"type"},)"
            R"({"id":"n1","role":"button","name":"Sign in","selector":{"text":"Sign in"},)"
            R"("source":{"className":"android.widget.Button","resourceId":null,"text":"Sign in","contentDesc":null},)"
            R"("bounds":{"x":0,"y":0,"width":0,"height":0,"centerX":0,"centerY":0},)"
            R"("enabled":false,"visible":true,"selected":false,"interactive":false,"recommendedAction":null},)"
            R"({"id":"n2","role":"text","name":"Sign in","selector":{"text":"Sign in"},)"
            R"("source":{"className":"android.widget.TextView","resourceId":null,"text":"Sign in","contentDesc":null},)"
            R"("bounds":{"x":0,"y":0,"width":0,"height":0,"centerX":0,"centerY":0},)"
            R"("enabled":true,"visible":false,"selected":false,"interactive":false,"recommendedAction":null},)"
            R"({"id":"n3","role":"text","name":"Sign in","selector":{"text":"Sign in"},)"
            R"("source":{"className":"android.widget.TextView","resourceId":null,"text":"Sign in","contentDesc":null},)"
            R"("bounds":{"x":0,"y":0,"width":0,"height":0,"centerX":0,"centerY":0},)"
            R"("enabled":true,"visible":true,"selected":false,"interactive":false,"recommendedAction":null},)"
            R"({"id":"n4","role":"node","name":"n4","selector":{"stableId":"n4"},)"
            R"("source":{"className":"android.view.View","resourceId":null,"text":null,"contentDesc":null},)"
            R"("bounds":{"x":0,"y":0,"width":0,"height":0,"centerX":0,"centerY":0},)"
            R"("enabled":true,"visible":true,"selected":false,"interactive":false,"recommendedAction":null}],)"
            R"("summary":{"nodeCount":5,"interactiveCount":1,"visibleText":["Email","Sign in","Sign in"]}})");
}

TEST(SemanticSnapshot, EmptyAndClampedCentres) {
  ObservationSnapshot empty;
  empty.id = "s";
  EXPECT_EQ(document(empty),
            R"({"id":"s","timestampMs":0,"viewport":{"width":0,"height":0},"activePackage":null,)"
            R"("activeActivity":null,"focusedNodeId":null,"nodes":[],)"
            R"("summary":{"nodeCount":0,"interactiveCount":0,"visibleText":[]}})");

  ObservationSnapshot far;
  UiNode n = node("View");
  n.bounds = {INT32_MAX - 1, INT32_MIN + 1, INT32_MAX, INT32_MIN};
  far.nodes = {n};
  std::string text = document(far);
  EXPECT_NE(text.find(R"("centerX":2147483647,"centerY":-2147483648})"), std::string::npos) << text;
}

}  // namespace
