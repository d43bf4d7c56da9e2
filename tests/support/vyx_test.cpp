#include "vyx_test.hpp"

#include "core/types.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace vyx::test {

namespace {
NodeText& testText() {
  static NodeText text;
  return text;
}
}  // namespace

std::string_view kept(std::string_view bytes) { return testText().keep(bytes); }

std::optional<std::string_view> keptOrNone(const std::optional<std::string>& bytes) {
  if (!bytes) return std::nullopt;
  return kept(std::string_view(*bytes));
}

std::string vyxBinary() { return VYX_BINARY; }
std::string fakesDir() { return VYX_FAKES_DIR; }
std::string sourceDir() { return VYX_SOURCE_DIR; }
std::string sharedDir() { return VYX_SHARED_DIR; }

ProcResult runProgram(const std::vector<std::string>& argv, const RunOptions& options) {
  int inPipe[2], outPipe[2], errPipe[2];
  if (pipe(inPipe) != 0 || pipe(outPipe) != 0 || pipe(errPipe) != 0) throw std::runtime_error("pipe");

  std::map<std::string, std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry(*e);
    auto eq = entry.find('=');
    if (eq == std::string::npos) continue;
    env[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  for (const auto& name : options.unsetEnv) env.erase(name);
  for (const auto& [k, v] : options.env) env[k] = v;
  std::vector<std::string> envStrings;
  for (const auto& [k, v] : env) envStrings.push_back(k + "=" + v);
  std::vector<char*> envp;
  for (auto& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> argStrings(argv);
  std::vector<char*> args;
  for (auto& s : argStrings) args.push_back(s.data());
  args.push_back(nullptr);

  if (options.closeStdoutEarly) {
    // Close the reading end before the child starts, so its first write fails.
    close(outPipe[0]);
    outPipe[0] = -1;
  }
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    dup2(inPipe[0], 0);
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    for (int fd : {inPipe[0], inPipe[1], outPipe[0], outPipe[1], errPipe[0], errPipe[1]})
      if (fd >= 0) close(fd);
    signal(SIGPIPE, SIG_DFL);
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
    execve(args[0], args.data(), envp.data());
    _exit(127);
  }
  close(inPipe[0]);
  close(outPipe[1]);
  close(errPipe[1]);

  // Feed stdin while draining both outputs.
  ProcResult result;
  size_t written = 0;
  int inFd = inPipe[1];
  signal(SIGPIPE, SIG_IGN);
  if (options.stdinData.empty()) {
    close(inFd);
    inFd = -1;
  } else {
    fcntl(inFd, F_SETFL, O_NONBLOCK);
  }
  int outFd = outPipe[0];
  int errFd = errPipe[0];
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.timeoutMs);
  while (outFd >= 0 || errFd >= 0 || inFd >= 0) {
    pollfd fds[3];
    int n = 0;
    if (outFd >= 0) fds[n++] = {outFd, POLLIN, 0};
    if (errFd >= 0) fds[n++] = {errFd, POLLIN, 0};
    if (inFd >= 0) fds[n++] = {inFd, POLLOUT, 0};
    int waitMs = -1;
    if (options.timeoutMs > 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      waitMs = left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }
    int ready = poll(fds, static_cast<nfds_t>(n), waitMs);
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (ready == 0) {
      // Out of time: the program is ended; what it left running may still
      // hold its pipes, so they are no longer read.
      kill(pid, SIGKILL);
      result.timedOut = true;
      break;
    }
    for (int i = 0; i < n; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == inFd) {
        ssize_t w = write(inFd, options.stdinData.data() + written, options.stdinData.size() - written);
        if (w > 0) written += static_cast<size_t>(w);
        if (w < 0 && errno != EAGAIN) written = options.stdinData.size();
        if (written >= options.stdinData.size()) {
          close(inFd);
          inFd = -1;
        }
        continue;
      }
      char buf[65536];
      ssize_t r = read(fds[i].fd, buf, sizeof(buf));
      if (r <= 0) {
        if (r < 0 && errno == EINTR) continue;
        close(fds[i].fd);
        if (fds[i].fd == outFd) outFd = -1; else errFd = -1;
        continue;
      }
      (fds[i].fd == outFd ? result.out : result.err).append(buf, static_cast<size_t>(r));
    }
  }
  for (int fd : {inFd, outFd, errFd})
    if (fd >= 0) close(fd);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  else if (WIFSIGNALED(status)) result.status = 128 + WTERMSIG(status);
  return result;
}

ProcResult runVyx(const std::vector<std::string>& args, const RunOptions& options) {
  std::vector<std::string> argv{vyxBinary()};
  argv.insert(argv.end(), args.begin(), args.end());
  RunOptions opts = options;
  // Leak reports from the sanitizer build must fail loudly but not pollute
  // the byte-exact checks of standard error with false positives at exit.
  return runProgram(argv, opts);
}

TempDir::TempDir() {
  char tmpl[] = "/tmp/vyx-test-XXXXXX";
  char* dir = mkdtemp(tmpl);
  if (dir == nullptr) throw std::runtime_error("mkdtemp");
  path_ = dir;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void writeFile(const std::string& path, const std::string& content) {
  std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(parent, ec);
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

bool fileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    if (nl == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  return lines;
}

}  // namespace vyx::test
