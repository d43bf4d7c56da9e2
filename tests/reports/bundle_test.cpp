// Exporting a trace directory as a bundle: entry order and selection, what
// redaction stores, and the failures that leave nothing behind.
#include "reports/bundle.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "core/json.hpp"
#include "core/memory.hpp"
#include "reports/bundle_redaction.hpp"
#include "vyx_test.hpp"

using vyx::Error;
using vyx::bundle::BundleExportOptions;
using vyx::test::readFile;
using vyx::test::TempDir;
using vyx::test::writeFile;
namespace fs = std::filesystem;

namespace {

struct Entry {
  std::string name;
  std::string data;
};

// Reads back the archive the way any ustar reader does.
std::vector<Entry> readArchive(const std::string& bytes) {
  std::vector<Entry> entries;
  size_t at = 0;
  while (at + 512 <= bytes.size()) {
    std::string header = bytes.substr(at, 512);
    if (header == std::string(512, '\0')) break;
    auto text = [&](size_t offset, size_t length) {
      std::string s = header.substr(offset, length);
      return s.substr(0, s.find('\0'));
    };
    std::string prefix = text(345, 155);
    std::string name = prefix.empty() ? text(0, 100) : prefix + "/" + text(0, 100);
    size_t size = std::stoull(text(124, 12), nullptr, 8);
    entries.push_back({name, bytes.substr(at + 512, size)});
    at += 512 + (size + 511) / 512 * 512;
  }
  EXPECT_EQ(bytes.size(), at + 1024) << "two zero blocks end the archive";
  EXPECT_EQ(bytes.substr(at), std::string(bytes.size() - at, '\0'));
  return entries;
}

std::vector<std::string> names(const std::vector<Entry>& entries) {
  std::vector<std::string> out;
  for (const Entry& e : entries) out.push_back(e.name);
  return out;
}

std::vector<std::string> listDir(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

void writeMinimalTrace(const std::string& dir) {
  writeFile(dir + "/trace.json", R"({"scenarioName":"s","status":"passed"})" "\n");
  writeFile(dir + "/events.jsonl", R"({"seq":1,"kind":"scenario.end","payload":{"status":"passed"}})" "\n");
}

void expectFailure(const vyx::Status& s, Error error) {
  ASSERT_FALSE(s.has_value());
  EXPECT_EQ(s.error(), error) << vyx::errorName(s.error());
}

}  // namespace

TEST(Bundle, MinimalTraceHoldsTwoEntries) {
  TempDir dir;
  writeMinimalTrace(dir.file("t"));
  ASSERT_TRUE(vyx::bundle::exportTraceBundleWithOptions(dir.file("t"), dir.file("b.vyxtrace"), {}).has_value());
  std::string bytes = readFile(dir.file("b.vyxtrace"));
  auto entries = readArchive(bytes);
  EXPECT_EQ(names(entries), (std::vector<std::string>{"trace.json", "events.jsonl"}));
  EXPECT_EQ(entries[0].data, readFile(dir.file("t/trace.json")));
  EXPECT_EQ(bytes.size(), 4u * 512 + 1024);
  EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{"b.vyxtrace", "t"}));
}

TEST(Bundle, EntryOrderAndSelection) {
  TempDir dir;
  std::string t = dir.file("t");
  writeMinimalTrace(t);
  writeFile(t + "/report.html", "<html></html>");
  writeFile(t + "/notes.txt", "not packed");
  writeFile(t + "/artifacts/snapshot-2.json", "{}");
  writeFile(t + "/artifacts/snapshot-10.json", "{}");
  writeFile(t + "/artifacts/snapshot-1.png", "png");
  writeFile(t + "/artifacts/.hidden", "h");
  writeFile(t + "/artifacts/sub/deeper/x.xml", "<x/>");
  writeFile(t + "/artifacts/snapshot-1/y.txt", "y");
  writeFile(t + "/artifacts/empty.log", "");
  writeFile(dir.file("outside/secret.txt"), "outside");
  fs::create_directories(t + "/artifacts/emptydir");
  fs::create_symlink(dir.file("outside/secret.txt"), t + "/artifacts/link.txt");
  fs::create_directory_symlink(dir.file("outside"), t + "/artifacts/linkdir");
  ASSERT_EQ(::mkfifo((t + "/artifacts/fifo").c_str(), 0644), 0);

  ASSERT_TRUE(vyx::bundle::exportTraceBundleWithOptions(t, dir.file("b.vyxtrace"), {}).has_value());
  auto entries = readArchive(readFile(dir.file("b.vyxtrace")));
  EXPECT_EQ(names(entries), (std::vector<std::string>{"trace.json", "events.jsonl", "report.html",
                                                      "artifacts/.hidden", "artifacts/empty.log",
                                                      "artifacts/snapshot-1.png", "artifacts/snapshot-1/y.txt",
                                                      "artifacts/snapshot-10.json", "artifacts/snapshot-2.json",
                                                      "artifacts/sub/deeper/x.xml"}));
  for (const Entry& e : entries) EXPECT_NE(e.data, "outside");
}

TEST(Bundle, RedactedExport) {
  TempDir dir;
  std::string t = dir.file("t");
  writeFile(t + "/trace.json", R"({"scenarioName":"s","redaction":null,"appId":"a@b.cd","status":"passed"})");
  writeFile(t + "/events.jsonl",
            R"({"seq":1,"payload":{"password":"p"}})" "\n" R"({"seq":2,"payload":{"to":"joe@example.com"}})" "\n");
  writeFile(t + "/artifacts/snapshot-1.json", R"({"nodes":[{"text":"joe@example.com","token":"t"}]})");
  writeFile(t + "/artifacts/snapshot-1.png", "real screenshot");
  writeFile(t + "/artifacts/photo.jpg", "jpeg");
  writeFile(t + "/artifacts/screenrecord.mp4", "mp4");
  writeFile(t + "/artifacts/clip.webm", "webm");
  writeFile(t + "/artifacts/snapshot-1.xml", R"(<node text="Hunter2" password="true"/>)");
  writeFile(t + "/artifacts/logcat.log", "Authorization: Bearer abc\n");
  writeFile(t + "/artifacts/blob.bin", "joe@example.com");

  BundleExportOptions redact{.redact = true, .omitScreenshots = false};
  // The allocator settings the program runs with come back after the export.
  vyx::memory::retainFreedMemory();
  const vyx::memory::HeapPolicy before = vyx::memory::currentPolicy();
  ASSERT_TRUE(vyx::bundle::exportTraceBundleWithOptions(t, dir.file("r.vyxtrace"), redact).has_value());
  EXPECT_EQ(vyx::memory::currentPolicy(), before);
  auto entries = readArchive(readFile(dir.file("r.vyxtrace")));
  ASSERT_EQ(names(entries), (std::vector<std::string>{"trace.json", "events.jsonl", "artifacts/blob.bin",
                                                      "artifacts/logcat.log", "artifacts/snapshot-1.json",
                                                      "artifacts/snapshot-1.png", "artifacts/snapshot-1.xml"}));
  EXPECT_EQ(entries[0].data,
            R"({"scenarioName":"s","redaction":{"enabled":true,"screenshots":"placeholder",)"
            R"("screenRecordings":"omitted","textArtifacts":"scrubbed","screenshotsOmitted":false,)"
            R"("screenshotsRedacted":true,"screenRecordingsOmitted":true},"appId":"[REDACTED:email]","status":"passed"})"
            "\n");
  EXPECT_EQ(entries[1].data,
            R"({"seq":1,"payload":{"password":"[REDACTED:secret]"}})" "\n"
            R"({"seq":2,"payload":{"to":"[REDACTED:email]"}})" "\n");
  EXPECT_EQ(entries[2].data, "joe@example.com");
  EXPECT_EQ(entries[3].data, "Authorization: [REDACTED:token]");
  EXPECT_EQ(entries[4].data, R"({"nodes":[{"text":"[REDACTED:email]","token":"[REDACTED:secret]"}]})" "\n");
  EXPECT_EQ(entries[5].data, vyx::bundle_redaction::kRedactedScreenshotPng);
  EXPECT_EQ(entries[6].data, R"(<node text="[REDACTED:secret]" password="true"/>)");

  BundleExportOptions omit{.redact = true, .omitScreenshots = true};
  ASSERT_TRUE(vyx::bundle::exportTraceBundleWithOptions(t, dir.file("o.vyxtrace"), omit).has_value());
  auto omitted = readArchive(readFile(dir.file("o.vyxtrace")));
  EXPECT_EQ(names(omitted), (std::vector<std::string>{"trace.json", "events.jsonl", "artifacts/blob.bin",
                                                      "artifacts/logcat.log", "artifacts/snapshot-1.json",
                                                      "artifacts/snapshot-1.xml"}));
  EXPECT_NE(omitted[0].data.find(R"("redaction":{"enabled":true,"screenshots":"omitted","screenRecordings":"omitted",)"
                                 R"("textArtifacts":"scrubbed","screenshotsOmitted":true,"screenshotsRedacted":false,)"
                                 R"("screenRecordingsOmitted":true})"),
            std::string::npos);
}

TEST(Bundle, FailuresLeaveNothingBehind) {
  struct Case {
    std::string what;
    std::function<void(const std::string&)> prepare;
    BundleExportOptions options;
    Error error;
  };
  const Case cases[] = {
      {"no manifest", [](const std::string& t) { fs::remove(t + "/trace.json"); }, {}, Error::MissingTraceManifest},
      {"no event log", [](const std::string& t) { fs::remove(t + "/events.jsonl"); }, {}, Error::MissingTraceEvents},
      {"no trace directory", [](const std::string& t) { fs::remove_all(t); }, {}, Error::MissingTraceManifest},
      {"two dots in a name", [](const std::string& t) { writeFile(t + "/artifacts/a..b.png", "x"); }, {},
       Error::UnsafeArchivePath},
      {"name part over 100 bytes",
       [](const std::string& t) { writeFile(t + "/artifacts/" + std::string(101, 'n') + ".json", "{}"); }, {},
       Error::ArchivePathTooLong},
      {"directories too deep",
       [](const std::string& t) {
         std::string deep = t + "/artifacts";
         for (int i = 0; i < 60; ++i) deep += "/dddd";
         fs::create_directories(deep);
       },
       {}, Error::ArchivePathTooLong},
      {"manifest that does not parse", [](const std::string& t) { writeFile(t + "/trace.json", "{\"a\":"); },
       {.redact = true}, Error::UnexpectedEndOfInput},
      {"log over 64 MiB to redact",
       [](const std::string& t) { fs::resize_file(t + "/events.jsonl", 64ull * 1024 * 1024); }, {.redact = true},
       Error::StreamTooLong},
      {"file too big for the size field",
       [](const std::string& t) {
         writeFile(t + "/artifacts/huge.bin", "");
         fs::resize_file(t + "/artifacts/huge.bin", 8ull * 1024 * 1024 * 1024);
       },
       {}, Error::FileTooBig},
      {"symbolic link as manifest",
       [](const std::string& t) {
         fs::rename(t + "/trace.json", t + "/real.json");
         fs::create_symlink(t + "/real.json", t + "/trace.json");
       },
       {}, Error::SymLinkLoop},
  };
  for (const Case& c : cases) {
    TempDir dir;
    std::string t = dir.file("t");
    writeMinimalTrace(t);
    writeFile(t + "/artifacts/snapshot-1.json", "{}");
    writeFile(dir.file("out/b.vyxtrace"), "earlier bundle");
    c.prepare(t);
    expectFailure(vyx::bundle::exportTraceBundleWithOptions(t, dir.file("out/b.vyxtrace"), c.options), c.error);
    EXPECT_EQ(listDir(dir.file("out")), std::vector<std::string>{"b.vyxtrace"}) << c.what;
    EXPECT_EQ(readFile(dir.file("out/b.vyxtrace")), "earlier bundle") << c.what;
  }

  TempDir dir;
  writeMinimalTrace(dir.file("t"));
  expectFailure(vyx::bundle::exportTraceBundleWithOptions(dir.file("t"), dir.file("missing/b.vyxtrace"), {}),
                Error::FileNotFound);
  EXPECT_EQ(listDir(dir.path()), std::vector<std::string>{"t"});
}

TEST(Bundle, HugeLogIsStreamedWhenNotRedacted) {
  TempDir dir;
  std::string t = dir.file("t");
  writeMinimalTrace(t);
  fs::resize_file(t + "/events.jsonl", 80ull * 1024 * 1024);
  ASSERT_TRUE(vyx::bundle::exportTraceBundleWithOptions(t, dir.file("b.vyxtrace"), {}).has_value());
  EXPECT_EQ(fs::file_size(dir.file("b.vyxtrace")), 512u * 2 + 512 + 80ull * 1024 * 1024 + 1024);
}

TEST(Bundle, OutputNamingATraceFileIsRefused) {
  TempDir dir;
  std::string t = dir.file("t");
  writeMinimalTrace(t);
  writeFile(t + "/artifacts/snapshot-1.png", "png");
  for (const std::string& victim : {t + "/events.jsonl", t + "/artifacts/snapshot-1.png"}) {
    std::string before = readFile(victim);
    expectFailure(vyx::bundle::exportTraceBundleWithOptions(t, victim, {.redact = true}), Error::PathAlreadyExists);
    EXPECT_EQ(readFile(victim), before);
  }
}

TEST(Bundle, OddNamesArePackedAsTheyAreInBytewiseOrder) {
  TempDir dir;
  std::string t = dir.file("t");
  writeMinimalTrace(t);
  for (std::string name : {"\xff\xfe.bin", "new\nline.txt", "a b.txt", "-dash", "\xc3\xa9t\xc3\xa9.log"}) {
    writeFile(t + "/artifacts/" + name, name);
  }
  ASSERT_TRUE(vyx::bundle::exportTraceBundleWithOptions(t, dir.file("b.vyxtrace"), {}).has_value());
  auto entries = readArchive(readFile(dir.file("b.vyxtrace")));
  EXPECT_EQ(names(entries),
            (std::vector<std::string>{"trace.json", "events.jsonl", "artifacts/-dash", "artifacts/a b.txt",
                                      "artifacts/new\nline.txt", "artifacts/\xc3\xa9t\xc3\xa9.log",
                                      "artifacts/\xff\xfe.bin"}));
  for (size_t i = 2; i < entries.size(); ++i) EXPECT_EQ("artifacts/" + entries[i].data, entries[i].name);
}
