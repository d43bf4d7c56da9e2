// The result documents of draft, discover and explore byte for byte, and
// validation of the drafted file.
#include "authoring/discover.hpp"

#include <gtest/gtest.h>

#include "core/writer.hpp"
#include "vyx_test.hpp"

namespace dc = vyx::discover;
using vyx::test::TempDir;
using vyx::test::writeFile;

namespace {

dc::OwnedDraft sampleDraft() {
  dc::OwnedDraft d;
  d.out = "out dir/smoke.json";
  d.traceDir = "traces/run";
  d.sourceSnapshot = "traces/run/artifacts/snapshot-2.json";
  d.name = "draft from \"Login\"";
  d.appId = "com.example.app";
  d.selectorCount = 1;
  d.stepCount = 3;
  d.replay = {true, 4, 1, 3};
  d.warnings = {"draft requires human review before commit"};
  return d;
}

const std::string kDraftMembers =
    R"("out":"out dir/smoke.json","traceDir":"traces/run","sourceSnapshot":"traces/run/artifacts/snapshot-2.json",)"
    R"("name":"draft from \"Login\"","appId":"com.example.app","selectorCount":1,"stepCount":3,)"
    R"("replay":{"enabled":true,"eventCount":4,"stepCount":1,"skippedEventCount":3},)"
    R"("warnings":["draft requires human review before commit"],)";

const std::string kNext =
    R"("nextCommands":["vyx validate --json 'out dir/smoke.json'","vyx run 'out dir/smoke.json' --json --trace-dir traces/run"]})"
    "\n";

const std::string kHead = R"("schemaVersion":1,"runnerVersion":"0.2.9","protocolVersion":"2026-04-28",)";

std::string render(const dc::OwnedDiscover& r, const dc::DiscoverJsonOptions& o) {
  vyx::StringWriter w;
  EXPECT_TRUE(dc::writeJsonWithOptions(w, r, o));
  return w.str();
}

}  // namespace

TEST(DiscoverJson, DiscoverFormWithoutValidation) {
  dc::OwnedDiscover r;
  r.draft = sampleDraft();
  EXPECT_EQ(render(r, dc::kDiscoverForm),
            R"({"ok":true,"mode":"discover",)" + kHead + kDraftMembers + R"("validated":false,"validation":null,)" + kNext);
}

TEST(DiscoverJson, ExploreFormWithGoalAndValidation) {
  dc::OwnedDiscover r;
  r.draft = sampleDraft();
  r.draft.appId.reset();
  r.validated = true;
  r.validation = vyx::validation::Result{};
  r.validation->ok = true;
  r.validation->name = "n";
  r.validation->stepCount = 3;
  std::string members = kDraftMembers;
  members.replace(members.find(R"("com.example.app")"), 17, "null");
  EXPECT_EQ(render(r, dc::exploreForm("sign in")),
            R"({"ok":true,"mode":"explore",)" + kHead +
                R"("goal":"sign in","autonomous":false,"reviewRequired":true,"guardrails":["writes from existing trace evidence only",)"
                R"("does not crawl the app","does not discover credentials or secrets","requires human review before commit"],)" +
                members +
                R"("validated":true,"validation":{"ok":true,"path":"out dir/smoke.json","name":"n","appId":null,"stepCount":3},)" +
                kNext);
  // No goal: no member.
  EXPECT_EQ(render(r, dc::exploreForm(std::nullopt)).find("\"goal\""), std::string::npos);
}

TEST(DiscoverJson, FailedValidation) {
  dc::OwnedDiscover r;
  r.draft = sampleDraft();
  r.validated = true;
  r.ok = false;
  r.validation = vyx::validation::Result{};
  r.validation->code = "scenario.invalid";
  r.validation->message = "scenario is invalid";
  r.validation->path = "$.steps[0]";
  r.validation->line = 1;
  r.validation->column = 30;
  EXPECT_EQ(render(r, dc::kDiscoverForm),
            R"({"ok":false,"mode":"discover",)" + kHead + kDraftMembers +
                R"("validated":true,"validation":{"ok":false,"path":"out dir/smoke.json","errorCode":"scenario.invalid",)"
                R"("message":"scenario is invalid","fieldPath":"$.steps[0]","line":1,"column":30},)" +
                kNext);
}

TEST(DiscoverJson, DraftDocumentAndNextLine) {
  vyx::StringWriter w;
  ASSERT_TRUE(dc::writeDraftJson(w, sampleDraft()));
  EXPECT_EQ(w.str(), R"({"ok":true,"mode":"draft",)" + kHead + kDraftMembers + kNext);
  w.clear();
  ASSERT_TRUE(dc::writeNextLine(w, "it's.json"));
  EXPECT_EQ(w.str(), "next: vyx validate --json 'it'\\''s.json'\n");
}

TEST(Discover, ValidatesTheWrittenFile) {
  TempDir dir;
  writeFile(dir.file("t/trace.json"), R"({"scenarioName":"Smoke","appId":"com.example.app"})");
  writeFile(dir.file("t/artifacts/snapshot-1.json"), R"({"nodes":[{"text":"Hi","visible":true,"enabled":true}]})");
  dc::DraftOptions o;
  o.traceDir = dir.file("t");
  o.out = dir.file("s.json");
  auto plain = dc::discoverFromTrace(o);
  ASSERT_TRUE(plain);
  EXPECT_TRUE(plain->ok);
  EXPECT_FALSE(plain->validated);
  EXPECT_FALSE(plain->validation);

  o.validate = true;
  o.force = true;
  auto checked = dc::discoverFromTrace(o);
  ASSERT_TRUE(checked);
  EXPECT_TRUE(checked->ok);
  EXPECT_TRUE(checked->validated);
  ASSERT_TRUE(checked->validation);
  EXPECT_TRUE(checked->validation->ok);
  EXPECT_EQ(checked->validation->name, "draft from Smoke");
  EXPECT_EQ(checked->validation->stepCount, 3u);

  o.out = dir.file("t");  // the trace directory: drafting fails
  auto failed = dc::discoverFromTrace(o);
  ASSERT_FALSE(failed);
}
