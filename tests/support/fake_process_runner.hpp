#pragma once
// A ProcessRunner for unit tests: records every call and answers from a
// queue of prepared results (then with `fallback`).

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "core/command.hpp"

namespace vyx::test {

class FakeProcessRunner final : public command::ProcessRunner {
 public:
  enum class Entry { Run, RunWithTimeout, RunWithInputTimeout };
  struct Call {
    Entry entry;
    std::vector<std::string> argv;
    std::string input;
    size_t maxBytes;
    uint64_t timeoutMs;  // 0 for run
  };

  // A result for a child that exited with `code` after writing `out`/`err`.
  static command::ExecResult exited(uint32_t code, std::string out = {}, std::string err = {}) {
    return {std::move(out), std::move(err), {command::Term::Kind::Exited, code}, false};
  }
  static command::ExecResult timedOut() { return {{}, {}, {command::Term::Kind::Unknown, 0}, true}; }

  void push(Expected<command::ExecResult> result) { answers.push_back(std::move(result)); }

  Expected<command::ExecResult> run(const std::vector<std::string>& argv, size_t maxBytes) override {
    return answer({Entry::Run, argv, {}, maxBytes, 0});
  }
  Expected<command::ExecResult> runWithTimeout(const std::vector<std::string>& argv, size_t maxBytes,
                                               uint64_t timeoutMs) override {
    return answer({Entry::RunWithTimeout, argv, {}, maxBytes, timeoutMs});
  }
  Expected<command::ExecResult> runWithInputTimeout(const std::vector<std::string>& argv,
                                                    std::string_view input, size_t maxBytes,
                                                    uint64_t timeoutMs) override {
    return answer({Entry::RunWithInputTimeout, argv, std::string(input), maxBytes, timeoutMs});
  }

  std::vector<Call> calls;
  std::deque<Expected<command::ExecResult>> answers;
  Expected<command::ExecResult> fallback = exited(0);

 private:
  Expected<command::ExecResult> answer(Call call) {
    calls.push_back(std::move(call));
    if (answers.empty()) return fallback;
    Expected<command::ExecResult> next = std::move(answers.front());
    answers.pop_front();
    return next;
  }
};

}  // namespace vyx::test
