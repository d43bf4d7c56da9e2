#pragma once
// Helpers shared by the tests: temporary directories, file access, and
// running the real vyx binary (or any program) as a child process.

#include <signal.h>
#include <sys/resource.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vyx::test {

// A copy of the bytes that lasts as long as the test program: what the
// string views of a hand-made UI node refer to.
std::string_view kept(std::string_view bytes);
std::optional<std::string_view> keptOrNone(const std::optional<std::string>& bytes);

struct ProcResult {
  std::string out;
  std::string err;
  int status = -1;  // exit status, or 128 + signal
  bool timedOut = false;  // ended by RunOptions::timeoutMs
};

struct RunOptions {
  std::string stdinData;
  std::map<std::string, std::string> env;  // added to (or overriding) the inherited environment
  std::vector<std::string> unsetEnv;
  std::string cwd;                          // empty: inherit
  bool closeStdoutEarly = false;            // read nothing and close stdout at once
  int timeoutMs = 0;                        // > 0: SIGKILL the program after this long (timedOut)
};

// Runs a program and captures everything it prints.
ProcResult runProgram(const std::vector<std::string>& argv, const RunOptions& options = {});

// Runs the vyx binary under test with the given arguments.
ProcResult runVyx(const std::vector<std::string>& args, const RunOptions& options = {});

std::string vyxBinary();
std::string fakesDir();    // tests/fakes in the source tree
std::string sourceDir();   // the project's source root
std::string sharedDir();   // ../shared beside the project (may be absent)

// While it lives, files this process writes may not grow past `bytes`; a
// write beyond fails with EFBIG (SIGXFSZ is ignored meanwhile).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(uint64_t bytes) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &oldAction_);
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    struct rlimit small = saved_;
    small.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &small);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::sigaction(SIGXFSZ, &oldAction_, nullptr);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  struct sigaction oldAction_ {};
  struct rlimit saved_ {};
};

// A fresh directory under /tmp, removed with its contents when destroyed.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string readFile(const std::string& path);
// Writes a file, creating its missing parent directories.
void writeFile(const std::string& path, const std::string& content);
bool fileExists(const std::string& path);
std::vector<std::string> splitLines(const std::string& text);

}  // namespace vyx::test
