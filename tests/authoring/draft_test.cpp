// Drafting a scenario file from a trace directory: which snapshot is used,
// the selectors chosen, the name and app id, the document byte for byte, the
// warnings, and what is (and is not) left on disk.
#include "authoring/draft.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>

#include "vyx_test.hpp"

namespace dr = vyx::draft;
using vyx::Error;
using vyx::test::readFile;
using vyx::test::TempDir;
using vyx::test::writeFile;

namespace {

std::string node(std::string_view fields, bool visible = true, bool enabled = true) {
  std::string out = "{";
  out += fields;
  if (!fields.empty()) out += ",";
  out += std::string(R"("visible":)") + (visible ? "true" : "false") + R"(,"enabled":)" + (enabled ? "true" : "false");
  return out + "}";
}

std::string snapshot(const std::vector<std::string>& nodes) {
  std::string out = R"({"id":"snapshot-1","timestampMs":1,"nodes":[)";
  for (size_t i = 0; i < nodes.size(); ++i) out += (i ? "," : "") + nodes[i];
  return out + "]}";
}

class Draft : public ::testing::Test {
 public:
  std::string trace() const { return dir.file("trace"); }
  std::string out() const { return dir.file("out/draft.json"); }

  void manifest(const std::string& json) { writeFile(trace() + "/trace.json", json); }
  void artifact(const std::string& name, const std::string& json) { writeFile(trace() + "/artifacts/" + name, json); }
  void events(const std::string& text) { writeFile(trace() + "/events.jsonl", text); }

  dr::DraftOptions options() const {
    dr::DraftOptions o;
    o.traceDir = trace();
    o.out = out();
    return o;
  }

  vyx::Expected<dr::OwnedDraft> draft(dr::DraftOptions o) { return dr::draftFromTrace(o); }
  vyx::Expected<dr::OwnedDraft> draft() { return draft(options()); }

  TempDir dir;
};

}  // namespace

TEST_F(Draft, DocumentWithoutReplay) {
  manifest(R"({"scenarioName":"Login","appId":"com.example.app","snapshotCount":1})");
  artifact("snapshot-1.json", snapshot({node(R"("resourceId":"com.example.app:id/email")"),
                                        node(R"("className":"android.view.View")"),
                                        node(R"("resourceId":"","text":"Sign \"in\"")")}));
  auto d = draft();
  ASSERT_TRUE(d) << vyx::errorName(d.error());
  EXPECT_EQ(readFile(out()),
            R"({"name":"draft from Login","appId":"com.example.app","steps":[{"action":"launch"},{"action":"snapshot"},)"
            R"({"action":"assertVisible","selector":{"resourceId":"com.example.app:id/email"}},)"
            R"({"action":"assertVisible","selector":{"text":"Sign \"in\""}}]})"
            "\n");
  EXPECT_TRUE(d->ok);
  EXPECT_EQ(d->out, out());
  EXPECT_EQ(d->traceDir, trace());
  EXPECT_EQ(d->sourceSnapshot, trace() + "/artifacts/snapshot-1.json");
  EXPECT_EQ(d->name, "draft from Login");
  EXPECT_EQ(d->appId, "com.example.app");
  EXPECT_EQ(d->selectorCount, 2u);
  EXPECT_EQ(d->stepCount, 4u);
  EXPECT_FALSE(d->replay.enabled);
  EXPECT_EQ(d->warnings, (std::vector<std::string>{std::string(dr::kTextSelectorWarning),
                                                   std::string(dr::kClassOnlyWarning),
                                                   std::string(dr::kReviewWarning)}));
}

TEST_F(Draft, ReplayedStepsTakeThePlaceOfLaunch) {
  manifest(R"({"scenarioName":"Login","eventsPath":"log/ev.jsonl","artifactsDir":"/shots/","snapshotCount":1})");
  writeFile(trace() + "/shots/snapshot-1.json", snapshot({node(R"("contentDesc":"Menu")")}));
  writeFile(trace() + "/log/ev.jsonl",
            R"({"kind":"app.launch","payload":{"status":"ok"}})" "\n"
            R"({"kind":"ui.tap","payload":{"selector":{"text":"Go"}}})" "\n"
            R"({"kind":"app.stop","payload":{"status":"ok"}})" "\n");
  dr::DraftOptions o = options();
  o.includeActions = true;
  o.name = "";
  o.appId = "com.other";
  auto d = draft(o);
  ASSERT_TRUE(d) << vyx::errorName(d.error());
  EXPECT_EQ(readFile(out()),
            R"({"name":"","appId":"com.other","steps":[{"action":"launch"},{"action":"tap","selector":{"text":"Go"}},)"
            R"({"action":"snapshot"},{"action":"assertVisible","selector":{"contentDesc":"Menu"}}]})"
            "\n");
  EXPECT_EQ(d->sourceSnapshot, trace() + "/shots/snapshot-1.json");
  EXPECT_EQ(d->stepCount, 4u);
  EXPECT_EQ(d->replay.eventCount, 3u);
  EXPECT_EQ(d->replay.stepCount, 2u);
  EXPECT_EQ(d->replay.skippedEventCount, 1u);
  EXPECT_EQ(d->warnings, (std::vector<std::string>{"unsupported trace action was skipped: app.stop",
                                                   std::string(dr::kReviewWarning)}));
}

TEST_F(Draft, MissingEventLogAndEmptySnapshot) {
  manifest(R"({"scenarioName":"","appId":""})");
  artifact("snapshot-1.json", snapshot({}));
  dr::DraftOptions o = options();
  o.includeActions = true;
  auto d = draft(o);
  ASSERT_TRUE(d) << vyx::errorName(d.error());
  EXPECT_EQ(readFile(out()), R"({"name":"draft from trace","steps":[{"action":"launch"},{"action":"snapshot"}]})" "\n");
  EXPECT_FALSE(d->appId);
  EXPECT_TRUE(d->replay.enabled);
  EXPECT_EQ(d->stepCount, 2u);
  EXPECT_EQ(d->warnings, (std::vector<std::string>{"trace events were not found; action replay was skipped",
                                                   std::string(dr::kReviewWarning),
                                                   std::string(dr::kNoSelectorsWarning)}));
}

TEST_F(Draft, SelectorCandidates) {
  manifest("{}");
  artifact("snapshot-1.json",
           snapshot({
               node(R"("resourceId":"hidden")", false),
               node(R"("resourceId":"disabled")", true, false),
               R"({"resourceId":"no-enabled-flag","visible":true})",
               R"({"resourceId":"string-flags","visible":"true","enabled":"true"})",
               node(R"("selector":{"resourceId":"sel-id"},"resourceId":"own-id")"),
               node(R"("selector":{"stableId":"gen-1"},"source":{"contentDesc":"Src"},"text":"own")"),
               node(R"("selector":{"stableId":"gen-2"},"text":"Src")"),  // same text as a description: new
               node(R"("text":"Src")"),                                  // repeated text: passed over
               node(R"("resourceId":"fourth")"),
               node(R"("className":"after-the-third")"),
           }));
  auto d = draft();
  ASSERT_TRUE(d) << vyx::errorName(d.error());
  EXPECT_EQ(readFile(out()),
            R"({"name":"draft from trace","steps":[{"action":"launch"},{"action":"snapshot"},)"
            R"({"action":"assertVisible","selector":{"resourceId":"sel-id"}},)"
            R"({"action":"assertVisible","selector":{"contentDesc":"Src"}},)"
            R"({"action":"assertVisible","selector":{"text":"Src"}}]})"
            "\n");
  EXPECT_EQ(d->selectorCount, 3u);
  // No class-only node was looked at before the third candidate.
  EXPECT_EQ(d->warnings,
            (std::vector<std::string>{std::string(dr::kTextSelectorWarning), std::string(dr::kReviewWarning)}));
}

TEST_F(Draft, WhichSnapshotIsUsed) {
  struct Case {
    std::string countJson;
    std::vector<std::string> files;
    std::string expected;  // file name, or "" for SemanticSnapshotMissing
  };
  const Case cases[] = {
      {"3", {"snapshot-1.json", "snapshot-2.json"}, "snapshot-2.json"},
      {"2", {"snapshot-1.json", "snapshot-2.json", "snapshot-7.json"}, "snapshot-2.json"},
      {"null", {"snapshot-9.json", "snapshot-10.json"}, "snapshot-10.json"},
      {"-1", {"snapshot-1.json", "snapshot-+1_0.json"}, "snapshot-+1_0.json"},
      {"\"4\"",
       {"snapshot-3.json", "snapshot-.json", "snapshot-x.json", "snapshot-4.JSON", "snapshot-_5.json",
        "snapshot-6_.json", "snapshot-18446744073709551616.json", "snapshot--7.json", "other-8.json"},
       "snapshot-3.json"},
      {"0", {"snapshot-18446744073709551615.json", "snapshot-99.json"}, "snapshot-18446744073709551615.json"},
      {"0", {"snapshot-x.json", "snapshot-.json", "notes.txt"}, ""},
      {"0", {}, ""},
  };
  for (const Case& c : cases) {
    std::filesystem::remove_all(trace());
    std::filesystem::remove_all(dir.file("out"));
    manifest(R"({"snapshotCount":)" + c.countJson + "}");
    std::filesystem::create_directories(trace() + "/artifacts");
    for (const std::string& f : c.files) artifact(f, snapshot({}));
    auto d = draft();
    if (c.expected.empty()) {
      ASSERT_FALSE(d) << c.countJson;
      EXPECT_EQ(d.error(), Error::SemanticSnapshotMissing);
      EXPECT_FALSE(vyx::test::fileExists(out()));
    } else {
      ASSERT_TRUE(d) << c.countJson << " " << vyx::errorName(d.error());
      EXPECT_EQ(d->sourceSnapshot, trace() + "/artifacts/" + c.expected) << c.countJson;
    }
  }
}

TEST_F(Draft, DirectoriesAndLinksNamedLikeSnapshotsAreIgnored) {
  manifest("{}");
  artifact("snapshot-1.json", snapshot({}));
  std::filesystem::create_directories(trace() + "/artifacts/snapshot-5.json");
  std::filesystem::create_symlink(trace() + "/artifacts/snapshot-1.json", trace() + "/artifacts/snapshot-6.json");
  auto d = draft();
  ASSERT_TRUE(d) << vyx::errorName(d.error());
  EXPECT_EQ(d->sourceSnapshot, trace() + "/artifacts/snapshot-1.json");
}

TEST_F(Draft, ErrorsLeaveNothingOnDisk) {
  struct Case {
    std::string name;
    std::function<void(Draft&)> setUp;
    Error error;
  };
  const std::string big(1024 * 1024 + 1, ' ');
  const std::vector<Case> cases = {
      {"no trace directory", [](Draft&) {}, Error::FileNotFound},
      {"manifest is an array", [](Draft& t) { t.manifest("[]"); }, Error::InvalidTraceManifest},
      {"manifest cut short", [](Draft& t) { t.manifest(R"({"scenarioName":"x)"); }, Error::UnexpectedEndOfInput},
      {"manifest too large", [&](Draft& t) { t.manifest("{}" + big); }, Error::StreamTooLong},
      {"no artifacts directory", [](Draft& t) { t.manifest("{}"); }, Error::FileNotFound},
      {"artifacts is a file",
       [](Draft& t) {
         t.manifest("{}");
         writeFile(t.trace() + "/artifacts", "");
       },
       Error::NotDir},
      {"snapshot nodes not an array",
       [](Draft& t) {
         t.manifest("{}");
         t.artifact("snapshot-1.json", R"({"nodes":{}})");
       },
       Error::InvalidSemanticSnapshot},
      {"snapshot is a string",
       [](Draft& t) {
         t.manifest("{}");
         t.artifact("snapshot-1.json", R"("nodes")");
       },
       Error::InvalidSemanticSnapshot},
      {"snapshot not JSON",
       [](Draft& t) {
         t.manifest(R"({"snapshotCount":1})");
         t.artifact("snapshot-1.json", "{nodes}");
       },
       Error::SyntaxError},
      {"event log unreadable",
       [](Draft& t) {
         t.manifest(R"({"eventsPath":"artifacts"})");
         t.artifact("snapshot-1.json", snapshot({}));
       },
       Error::IsDir},
  };
  for (const Case& c : cases) {
    std::filesystem::remove_all(trace());
    c.setUp(*this);
    dr::DraftOptions o = options();
    o.includeActions = true;
    auto d = draft(o);
    ASSERT_FALSE(d) << c.name;
    EXPECT_EQ(d.error(), c.error) << c.name << ": " << vyx::errorName(d.error());
    EXPECT_FALSE(vyx::test::fileExists(dir.file("out"))) << c.name;
  }

  dr::DraftOptions noTrace;
  noTrace.out = out();
  EXPECT_EQ(draft(noTrace).error(), Error::MissingTraceDir);
  dr::DraftOptions noOut;
  noOut.traceDir = trace();
  EXPECT_EQ(draft(noOut).error(), Error::MissingDraftOut);
}

TEST_F(Draft, ExistingOutputNeedsForce) {
  manifest(R"({"scenarioName":"New"})");
  artifact("snapshot-1.json", snapshot({}));
  writeFile(out(), "precious");
  auto refused = draft();
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error(), Error::PathAlreadyExists);
  EXPECT_EQ(readFile(out()), "precious");

  dr::DraftOptions o = options();
  o.force = true;
  ASSERT_TRUE(draft(o));
  EXPECT_EQ(readFile(out()), R"({"name":"draft from New","steps":[{"action":"launch"},{"action":"snapshot"}]})" "\n");
  // Only the output is left in its directory: the temporary file is gone.
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.file("out"))) ++entries;
  EXPECT_EQ(entries, 1u);

  // The temporary file's name does not grow with the output's.
  o.out = dir.file("out/" + std::string(250, 'n') + ".json");
  writeFile(*o.out, "old");
  ASSERT_TRUE(draft(o));
  EXPECT_NE(readFile(*o.out), "old");
}

TEST_F(Draft, FailedOutputRemovesTheDirectoriesItMade) {
  manifest("{}");
  artifact("snapshot-1.json", snapshot({}));
  dr::DraftOptions o = options();
  o.out = dir.file("new/deeper/");  // a directory name: the file cannot be created
  auto d = draft(o);
  ASSERT_FALSE(d);
  EXPECT_EQ(d.error(), Error::IsDir);
  EXPECT_FALSE(vyx::test::fileExists(dir.file("new")));

  o.out = dir.file("new/deeper/draft.json");
  o.force = true;
  ASSERT_TRUE(draft(o));
  EXPECT_TRUE(vyx::test::fileExists(dir.file("new/deeper/draft.json")));
}

TEST_F(Draft, WriteThatFailsPartWayLeavesNoFile) {
  manifest("{}");
  std::string many;
  for (int i = 0; i < 3; ++i) many += node(R"("resourceId":")" + std::string(3000, 'a' + i) + "\"") + (i < 2 ? "," : "");
  artifact("snapshot-1.json", R"({"nodes":[)" + many + "]}");
  writeFile(dir.file("out/old.json"), "old");
  writeFile(out(), "previous");

  // Files of this process may not grow beyond 4 KiB for the two drafts.
  dr::DraftOptions fresh = options();
  fresh.out = dir.file("out/sub/new.json");
  dr::DraftOptions replacing = options();
  replacing.force = true;
  vyx::Expected<dr::OwnedDraft> created = vyx::fail(Error::Unexpected);
  vyx::Expected<dr::OwnedDraft> replaced = vyx::fail(Error::Unexpected);
  {
    vyx::test::FileSizeLimit limit(4096);
    created = draft(fresh);
    replaced = draft(replacing);
  }

  // The error names the cause of the failed write.
  ASSERT_FALSE(created);
  EXPECT_EQ(created.error(), Error::FileTooBig);
  EXPECT_FALSE(vyx::test::fileExists(dir.file("out/sub")));
  ASSERT_FALSE(replaced);
  EXPECT_EQ(replaced.error(), Error::FileTooBig);
  EXPECT_EQ(readFile(out()), "previous");
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.file("out"))) ++entries;
  EXPECT_EQ(entries, 2u);  // old.json and draft.json, no temporary file
}
