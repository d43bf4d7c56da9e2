// Trace directories from elsewhere, through every command that reads one:
// manifest paths that climb out of the trace or are absolute, symbolic links
// in place of each file and folder, a FIFO, an unreadable file and a
// read-only trace. Each reader treats what lies outside as missing, shows no
// byte of it, and leaves every output file either untouched or whole.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "programs.hpp"
#include "vyx_test.hpp"

namespace fs = std::filesystem;
using vyx::test::ProcResult;
using vyx::test::readFile;
using vyx::test::runProgram;
using vyx::test::runVyx;
using vyx::test::TempDir;
using vyx::test::writeFile;

namespace {

// Every outside file carries this, so a single search finds any of its bytes
// in an output.
const std::string kSecret = "OUTSIDE-SECRET";
const std::string kEarlier = "earlier output";

const std::string kManifest =
    R"({"scenarioName":"inside","status":"failed","appId":"com.example.app","eventsPath":"events.jsonl",)"
    R"("artifactsDir":"artifacts","eventCount":2,"snapshotCount":1})" "\n";
const std::string kEvents =
    R"({"seq":1,"kind":"ui.tap","payload":{"selector":{"text":"Go"}}})" "\n"
    R"({"seq":2,"kind":"scenario.end","payload":{"status":"failed","error":"WaitTimeout"}})" "\n";
const std::string kSnapshot =
    R"({"id":"snapshot-1","nodes":[{"resourceId":"inside:id/ok","visible":true,"enabled":true}]})";

void writeInside(const std::string& t) {
  writeFile(t + "/trace.json", kManifest);
  writeFile(t + "/events.jsonl", kEvents);
  writeFile(t + "/artifacts/snapshot-1.json", kSnapshot);
}

// The same files, each full of the secret, beside the trace.
void writeOutside(const std::string& s) {
  writeFile(s + "/trace.json", R"({"scenarioName":")" + kSecret + R"(","status":"passed","eventsPath":"events.jsonl"})");
  writeFile(s + "/events.jsonl", R"({"seq":1,"kind":"ui.tap","payload":{"selector":{"text":")" + kSecret + "\"}}}\n" +
                                      R"({"seq":2,"kind":"scenario.end","payload":{"status":"failed","error":")" +
                                      kSecret + "\"}}\n");
  writeFile(s + "/artifacts/snapshot-1.json",
            R"({"id":"snapshot-1","nodes":[{"resourceId":")" + kSecret + R"(","visible":true,"enabled":true}]})");
}

void setManifest(const std::string& t, const std::string& from, const std::string& to) {
  std::string m = readFile(t + "/trace.json");
  size_t at = m.find(from);
  ASSERT_NE(at, std::string::npos) << m;
  m.replace(at, from.size(), to);
  writeFile(t + "/trace.json", m);
}

void replaceWithLink(const std::string& path, const std::string& target) {
  fs::remove_all(path);
  fs::create_symlink(target, path);
}

// What one reader does with a hostile trace.
struct Outcome {
  int status;
  std::string err;        // standard error exactly
  std::string outPart;    // a part standard output must hold ("" for none)
};

struct Reader {
  std::string name;
  std::vector<std::string> args;  // run in the sandbox; the trace is "h"
  std::vector<std::string> outputs;  // files the command writes
};

const std::vector<Reader> kReaders = {
    {"report", {"report", "h", "--out", "out/r.html", "--junit", "out/j.xml"}, {"out/r.html", "out/j.xml"}},
    {"explain", {"explain", "h", "--json"}, {}},
    {"draft", {"draft", "--from-trace", "h", "--out", "out/d.json", "--include-actions", "--force", "--json"}, {"out/d.json"}},
    {"discover", {"discover", "--from-trace", "h", "--out", "out/v.json", "--include-actions", "--force", "--json"},
     {"out/v.json"}},
    {"export", {"export", "h", "--out", "out/b.vyxtrace"}, {"out/b.vyxtrace"}},
};

const std::string kNotFound = "error[scenario.file_not_found]: scenario file was not found\n";
const std::string kNotRegular = "error[internal.error]: NotRegularFile\n";
const std::string kLinkLoop = "error[internal.error]: SymLinkLoop\n";
const std::string kNoSnapshot = "error[draft.no_snapshot]: no semantic snapshot was found in the trace\n";
const std::string kEventsMissing = "trace events were not found; action replay was skipped";

const Outcome kOk{0, "", ""};
const Outcome kOkNoEvents{0, "", kEventsMissing};

// The whole document, so a half-written one shows.
bool looksWhole(const std::string& name, const std::string& bytes) {
  if (name.ends_with(".html")) return bytes.ends_with("</html>\n");
  if (name.ends_with(".xml")) return bytes.ends_with("</testsuite>\n");
  if (name.ends_with(".json")) return bytes.ends_with("]}\n");
  if (name.ends_with(".vyxtrace")) return bytes.size() % 512 == 0 && bytes.size() >= 1024;
  return false;
}

void expectOutputsSound(const vyx::test::TempDir& box, const Reader& reader) {
  for (const std::string& name : reader.outputs) {
    std::string bytes = readFile(box.file(name));
    EXPECT_TRUE(bytes == kEarlier || looksWhole(name, bytes)) << name << " half-replaced:\n" << bytes.substr(0, 200);
    EXPECT_EQ(bytes.find(kSecret), std::string::npos) << name;
  }
  // No temporary file is left beside an output.
  for (const auto& entry : fs::directory_iterator(box.file("out"))) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
  }
}

}  // namespace

TEST(HostileTrace, EveryReaderStaysInsideTheTrace) {
  struct Case {
    std::string what;
    std::function<void(const std::string& trace, const std::string& outside)> hostile;
    // One outcome per reader, in kReaders order.
    std::vector<Outcome> outcomes;
  };
  const std::vector<Case> cases = {
      {"eventsPath climbing out",
       [](const std::string& t, const std::string&) {
         setManifest(t, R"("eventsPath":"events.jsonl")", R"("eventsPath":"../sec/events.jsonl")");
       },
       {kOk, kOk, kOkNoEvents, kOkNoEvents, kOk}},
      {"eventsPath absolute",
       [](const std::string& t, const std::string& s) {
         setManifest(t, R"("eventsPath":"events.jsonl")", R"("eventsPath":")" + s + R"(/events.jsonl")");
       },
       {kOk, kOk, kOkNoEvents, kOkNoEvents, kOk}},
      {"artifactsDir climbing out",
       [](const std::string& t, const std::string&) {
         setManifest(t, R"("artifactsDir":"artifacts")", R"("artifactsDir":"artifacts/../../sec/artifacts")");
       },
       {kOk, kOk, {1, kNotFound, ""}, {1, kNotFound, ""}, kOk}},
      {"artifactsDir absolute",
       [](const std::string& t, const std::string& s) {
         setManifest(t, R"("artifactsDir":"artifacts")", R"("artifactsDir":")" + s + R"(/artifacts")");
       },
       {kOk, kOk, {1, kNotFound, ""}, {1, kNotFound, ""}, kOk}},
      {"events.jsonl a link",
       [](const std::string& t, const std::string& s) { replaceWithLink(t + "/events.jsonl", s + "/events.jsonl"); },
       {{1, kNotFound, ""}, kOk, kOkNoEvents, kOkNoEvents, {1, kLinkLoop, ""}}},
      {"artifacts a link",
       [](const std::string& t, const std::string& s) { replaceWithLink(t + "/artifacts", s + "/artifacts"); },
       {kOk, kOk, {1, kNotFound, ""}, {1, kNotFound, ""}, kOk}},
      {"snapshot a link",
       [](const std::string& t, const std::string& s) {
         replaceWithLink(t + "/artifacts/snapshot-1.json", s + "/artifacts/snapshot-1.json");
       },
       {kOk, kOk, {1, kNoSnapshot, ""}, {1, kNoSnapshot, ""}, kOk}},
      {"trace.json a link",
       [](const std::string& t, const std::string& s) { replaceWithLink(t + "/trace.json", s + "/trace.json"); },
       {{1, kNotFound, "wrote out/r.html\n"}, {1, kNotFound, ""}, {1, kNotFound, ""}, {1, kNotFound, ""},
        {1, kLinkLoop, ""}}},
      {"events.jsonl a FIFO",
       [](const std::string& t, const std::string&) {
         fs::remove(t + "/events.jsonl");
         ASSERT_EQ(::mkfifo((t + "/events.jsonl").c_str(), 0666), 0);
       },
       {{1, kNotRegular, ""}, {1, kNotRegular, ""}, {1, kNotRegular, ""}, {1, kNotRegular, ""},
        {1, kNotRegular, ""}}},
  };

  for (const Case& c : cases) {
    for (size_t r = 0; r < kReaders.size(); ++r) {
      const Reader& reader = kReaders[r];
      const Outcome& want = c.outcomes[r];
      SCOPED_TRACE(c.what + " / " + reader.name);
      TempDir box;
      writeInside(box.file("h"));
      writeOutside(box.file("sec"));
      fs::create_directories(box.file("out"));
      for (const std::string& name : reader.outputs) writeFile(box.file(name), kEarlier);
      c.hostile(box.file("h"), box.file("sec"));
      vyx::test::RunOptions in;
      in.cwd = box.path();
      in.timeoutMs = 20000;
      ProcResult p = runVyx(reader.args, in);
      ASSERT_FALSE(p.timedOut);
      EXPECT_EQ(p.status, want.status) << p.err;
      EXPECT_EQ(p.err, want.err);
      EXPECT_NE(p.out.find(want.outPart), std::string::npos) << p.out;
      EXPECT_EQ(p.out.find(kSecret), std::string::npos) << p.out;
      EXPECT_EQ(p.err.find(kSecret), std::string::npos) << p.err;
      expectOutputsSound(box, reader);
      // The outside files are never changed, and nothing of them is copied in.
      EXPECT_EQ(readFile(box.file("sec/events.jsonl")).find("inside"), std::string::npos);
      EXPECT_EQ(runProgram({"/bin/grep", "-r", "-l", kSecret, box.file("h")}).out.find(box.file("h/")),
                std::string::npos);
    }
  }
}

TEST(HostileTrace, ReportNeverWritesThroughALinkedManifest) {
  TempDir box;
  writeInside(box.file("h"));
  writeOutside(box.file("sec"));
  const std::string target = readFile(box.file("sec/trace.json"));
  replaceWithLink(box.file("h/trace.json"), box.file("sec/trace.json"));
  vyx::test::RunOptions in;
  in.cwd = box.path();
  ProcResult p = runVyx({"report", "h", "--out", "h/report.html"}, in);
  EXPECT_EQ(p.status, 0) << p.err;
  EXPECT_EQ(p.out, "wrote h/report.html\n");
  EXPECT_TRUE(fs::is_symlink(box.file("h/trace.json")));
  EXPECT_EQ(readFile(box.file("sec/trace.json")), target);
  // Export then packs no copy of the target.
  ProcResult e = runVyx({"export", "h", "--out", "b.vyxtrace"}, in);
  EXPECT_EQ(e.err, kLinkLoop);
  EXPECT_FALSE(vyx::test::fileExists(box.file("b.vyxtrace")));
}

// Permission bits do not stop root, so as root the readers run as the
// unprivileged user "nobody" (through setpriv), in a box that user may
// write to.
TEST(HostileTrace, UnreadableEventLog) {
  std::vector<std::string> prefix;
  if (::geteuid() == 0) {
    const std::string setpriv = vyx::test::findProgram("setpriv");
    if (setpriv.empty()) GTEST_SKIP() << "running as root without setpriv: file permissions do not stop reads";
    prefix = {setpriv, "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
  }
  TempDir box;
  writeInside(box.file("h"));
  for (const auto& entry : fs::recursive_directory_iterator(box.path())) {
    fs::permissions(entry.path(), entry.is_directory() ? fs::perms(0755) : fs::perms(0644));
  }
  fs::permissions(box.path(), fs::perms(0777));
  ASSERT_EQ(::chmod(box.file("h/events.jsonl").c_str(), 0), 0);
  vyx::test::RunOptions in;
  in.cwd = box.path();
  auto run = [&](std::vector<std::string> args) {
    std::vector<std::string> argv = prefix;
    argv.push_back(vyx::test::vyxBinary());
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(argv, in);
  };
  if (!prefix.empty()) {
    ProcResult probe = run({"version"});
    if (probe.status != 0) GTEST_SKIP() << "the binary cannot be run as nobody here: " << probe.err;
  }
  const std::string denied = run({"explain", "h"}).err;
  EXPECT_NE(denied.find("AccessDenied"), std::string::npos) << denied;
  ProcResult r = run({"report", "h", "--out", "r.html"});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(vyx::test::fileExists(box.file("r.html")));
  EXPECT_EQ(readFile(box.file("h/trace.json")), kManifest);
}

// A read-only trace: a read-only bind mount in a mount namespace of its own
// (root only; skipped where namespaces or mounts are not allowed).
TEST(HostileTrace, ReadOnlyTraceIsRefusedBeforeAnyOutput) {
  const std::string unshare = vyx::test::findProgram("unshare");
  const std::string mount = vyx::test::findProgram("mount");
  if (unshare.empty() || mount.empty()) GTEST_SKIP() << "unshare or mount is not installed";
  TempDir box;
  writeInside(box.file("h"));
  writeFile(box.file("out/r.html"), kEarlier);
  writeFile(box.file("out/j.xml"), kEarlier);
  const std::string h = box.file("h");
  const std::string script = std::string("set -e; ") + mount + " --bind \"$1\" \"$1\"; " + mount +
                             " -o remount,bind,ro \"$1\" \"$1\" || exit 99; shift; exec \"$@\"";
  auto inNamespace = [&](const std::vector<std::string>& args) {
    std::vector<std::string> argv = {unshare, "-m", "--propagation", "private", "/bin/sh", "-c", script, "sh", h,
                                     vyx::test::vyxBinary()};
    argv.insert(argv.end(), args.begin(), args.end());
    vyx::test::RunOptions in;
    in.cwd = box.path();
    in.timeoutMs = 20000;
    return runProgram(argv, in);
  };
  ProcResult probe = inNamespace({"version"});
  if (probe.status != 0) GTEST_SKIP() << "no read-only bind mount here: " << probe.err;

  ProcResult r = inNamespace({"report", "h", "--out", "out/r.html", "--junit", "out/j.xml"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "error[internal.error]: ReadOnlyFileSystem\n");
  EXPECT_EQ(readFile(box.file("out/r.html")), kEarlier);
  EXPECT_EQ(readFile(box.file("out/j.xml")), kEarlier);
  EXPECT_EQ(readFile(h + "/trace.json"), kManifest);

  // The readers that only read work on it as on any other trace.
  ProcResult e = inNamespace({"explain", "h"});
  EXPECT_EQ(e.status, 0) << e.err;
  EXPECT_NE(e.out.find("error: WaitTimeout\n"), std::string::npos) << e.out;
  ProcResult d = inNamespace({"draft", "--from-trace", "h", "--out", "out/d.json"});
  EXPECT_EQ(d.status, 0) << d.err;
  ProcResult b = inNamespace({"export", "h", "--out", "out/b.vyxtrace"});
  EXPECT_EQ(b.status, 0) << b.err;
  EXPECT_EQ(fs::directory_iterator(box.file("out")) == fs::directory_iterator(), false);
}

namespace {

// A `vyx serve` session driven one request at a time, so that the test can
// change the trace directory between two requests.
class ServeSession {
 public:
  ServeSession(const std::vector<std::string>& args, const std::string& cwd) {
    int in[2];
    int out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 2);
      ::close(in[0]);
      ::close(in[1]);
      ::close(out[0]);
      ::close(out[1]);
      if (::chdir(cwd.c_str()) != 0) ::_exit(127);
      std::vector<char*> argv;
      std::string binary = vyx::test::vyxBinary();
      argv.push_back(binary.data());
      std::vector<std::string> copy = args;
      for (std::string& a : copy) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(binary.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    toServer_ = in[1];
    fromServer_ = out[0];
  }
  ~ServeSession() {
    if (toServer_ >= 0) ::close(toServer_);
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (fromServer_ >= 0) ::close(fromServer_);
  }
  ServeSession(const ServeSession&) = delete;
  ServeSession& operator=(const ServeSession&) = delete;

  // One reply line, or "" when none came within ten seconds.
  std::string request(const std::string& line) {
    std::string sent = line + "\n";
    if (::write(toServer_, sent.data(), sent.size()) != static_cast<ssize_t>(sent.size())) return "";
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
      size_t end = buffer_.find('\n');
      if (end != std::string::npos) {
        std::string reply = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return reply;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return "";
      pollfd p{fromServer_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
      char chunk[4096];
      ssize_t n = ::read(fromServer_, chunk, sizeof chunk);
      if (n <= 0) return "";
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }

 private:
  pid_t pid_ = -1;
  int toServer_ = -1;
  int fromServer_ = -1;
  std::string buffer_;
};

}  // namespace

TEST(HostileTrace, ServerStaysInsideItsTrace) {
  TempDir box;
  writeOutside(box.file("sec"));
  ServeSession serve({"serve", "--trace-dir", "h", "--adb", vyx::test::fakesDir() + "/adb"}, box.path());
  std::string first = serve.request(R"({"jsonrpc":"2.0","id":1,"method":"trace.explain"})");
  ASSERT_NE(first.find(R"("ok":true)"), std::string::npos) << first;
  ASSERT_TRUE(vyx::test::fileExists(box.file("h/events.jsonl")));

  // A linked artifacts folder reads as missing: no snapshot to draft from.
  replaceWithLink(box.file("h/artifacts"), box.file("sec/artifacts"));
  std::string drafted = serve.request(R"({"jsonrpc":"2.0","id":2,"method":"trace.discover","params":{"out":"d.json"}})");
  EXPECT_EQ(drafted, R"({"jsonrpc":"2.0","id":2,"error":{"code":-32000,"message":"FileNotFound","publicCode":"scenario.file_not_found"}})");
  EXPECT_FALSE(vyx::test::fileExists(box.file("d.json")));

  // The session's log swapped for a link is not written through: recording
  // the request fails, which ends the server with that error, and the file
  // behind the link is left as it was.
  const std::string outsideLog = readFile(box.file("sec/events.jsonl"));
  replaceWithLink(box.file("h/events.jsonl"), box.file("sec/events.jsonl"));
  std::string linked = serve.request(R"({"jsonrpc":"2.0","id":3,"method":"trace.explain"})");
  EXPECT_EQ(linked, "");
  EXPECT_EQ(readFile(box.file("sec/events.jsonl")), outsideLog);
}
