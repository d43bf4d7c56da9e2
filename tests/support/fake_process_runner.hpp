#pragma once
// A ProcessRunner for unit tests: records every call and answers from a
// queue of prepared results (then with `fallback`). Children started in the
// background or detached are recorded in `started` and never run.

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
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

  struct Started {
    std::vector<std::string> argv;
    bool detached;
  };

  Expected<std::unique_ptr<command::BackgroundProcess>> startBackground(
      const std::vector<std::string>& argv) override {
    started.push_back({argv, false});
    if (startError) return fail(*startError);
    return std::unique_ptr<command::BackgroundProcess>(std::make_unique<Background>(*this, argv.at(0)));
  }
  Status startDetached(const std::vector<std::string>& argv) override {
    started.push_back({argv, true});
    if (startError) return fail(*startError);
    return {};
  }

  std::vector<Call> calls;
  std::deque<Expected<command::ExecResult>> answers;
  Expected<command::ExecResult> fallback = exited(0);

  std::vector<Started> started;
  // Set: every start fails with it.
  std::optional<Error> startError;
  // Set: background children ignore interrupt(), so waitFor() finds them
  // still running until kill().
  bool backgroundIgnoresInterrupt = false;
  // What the background children were told, in order: "interrupt <program>",
  // "wait <program>", "wait <ms> <program>" (waitFor), "kill <program>", and
  // "end <program>" when one still running is dropped.
  std::vector<std::string> signals;

 private:
  // A background child that runs until it is waited for.
  class Background final : public command::BackgroundProcess {
   public:
    Background(FakeProcessRunner& runner, std::string program) : runner_(runner), program_(std::move(program)) {}
    ~Background() override {
      if (running_) runner_.signals.push_back("end " + program_);
    }
    bool running() const override { return running_; }
    Status interrupt() override {
      runner_.signals.push_back("interrupt " + program_);
      return running_ ? Status{} : fail(Error::Unexpected);
    }
    Expected<command::Term> wait() override {
      runner_.signals.push_back("wait " + program_);
      if (!running_) return fail(Error::Unexpected);
      running_ = false;
      return command::Term{command::Term::Kind::Signal, killed_ ? 9u : 2u};
    }
    Expected<std::optional<command::Term>> waitFor(uint64_t ms) override {
      runner_.signals.push_back("wait " + std::to_string(ms) + " " + program_);
      if (!running_) return fail(Error::Unexpected);
      if (runner_.backgroundIgnoresInterrupt && !killed_) return std::optional<command::Term>();
      running_ = false;
      return std::optional<command::Term>(command::Term{command::Term::Kind::Signal, killed_ ? 9u : 2u});
    }
    Status kill() override {
      runner_.signals.push_back("kill " + program_);
      if (!running_) return fail(Error::Unexpected);
      killed_ = true;
      return {};
    }

   private:
    FakeProcessRunner& runner_;
    std::string program_;
    bool running_ = true;
    bool killed_ = false;
  };

  Expected<command::ExecResult> answer(Call call) {
    calls.push_back(std::move(call));
    if (answers.empty()) return fallback;
    Expected<command::ExecResult> next = std::move(answers.front());
    answers.pop_front();
    return next;
  }
};

}  // namespace vyx::test
