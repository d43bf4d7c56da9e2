#include "runner/android_screen_recording.hpp"

#include "core/files.hpp"
#include "core/json_writer.hpp"
#include "core/trace.hpp"
#include "core/trace_layout.hpp"
#include "core/writer.hpp"

namespace vyx::android_screen_recording {

Status recordRecordingEvent(TraceWriter& trace) {
  StringWriter payload;
  VYX_TRY(JsonObjectWriter(payload).str("artifact", trace_layout::kScreenRecordingArtifact).finish());
  return trace.recordEvent(event_kinds::kTraceScreenRecording, payload.str());
}

void appendAdbBase(std::vector<std::string>& argv, std::string_view adbPath,
                   const std::optional<std::string>& serial) {
  argv.emplace_back(adbPath);
  if (serial) {
    argv.emplace_back("-s");
    argv.push_back(*serial);
  }
}

std::optional<AndroidScreenRecording> AndroidScreenRecording::start(command::ProcessRunner& runner,
                                                                    std::string adbPath,
                                                                    std::optional<std::string> serial,
                                                                    uint64_t stopGraceMs) {
  std::vector<std::string> cleanup;
  appendAdbBase(cleanup, adbPath, serial);
  for (const char* arg : {"shell", "rm", "-f"}) cleanup.emplace_back(arg);
  cleanup.emplace_back(kRemotePath);
  (void)runner.runWithTimeout(cleanup, kSmallCap, kAdbTimeoutMs);

  std::vector<std::string> argv;
  appendAdbBase(argv, adbPath, serial);
  argv.emplace_back("shell");
  argv.emplace_back("screenrecord");
  argv.emplace_back(kRemotePath);
  auto child = runner.startBackground(argv);
  if (!child) return std::nullopt;
  return AndroidScreenRecording(runner, std::move(adbPath), std::move(serial), std::move(*child), stopGraceMs);
}

Expected<command::ExecResult> AndroidScreenRecording::runAdbCommand(const std::vector<std::string>& args,
                                                                    size_t maxBytes) {
  std::vector<std::string> argv;
  appendAdbBase(argv, adbPath_, serial_);
  argv.insert(argv.end(), args.begin(), args.end());
  return runner_->runWithTimeout(argv, maxBytes, kAdbTimeoutMs);
}

Status AndroidScreenRecording::stop() {
  (void)child_->interrupt();
  VYX_TRY_ASSIGN(auto ended, child_->waitFor(stopGraceMs_));
  if (ended) return {};
  // A recorder that does not answer SIGINT would hold the run forever.
  (void)child_->kill();
  VYX_TRY(child_->wait());
  return {};
}

Expected<std::string> AndroidScreenRecording::stopAndPull(const TraceWriter& trace) {
  if (!stopped_ && child_ && child_->running()) {
    VYX_TRY(stop());
    stopped_ = true;
  }
  std::string local = trace_layout::artifactPath(trace.traceDir(), trace_layout::kScreenRecordingFile);
  if (auto s = command::checkResult(runAdbCommand({"pull", remotePath_, local}, kPullCap)); !s) {
    // A pull that failed (a full disk, a lost device) can leave an empty or
    // cut-short video behind.
    (void)files::removeFileIfExists(local);
    return fail(s.error());
  }
  (void)runAdbCommand({"shell", "rm", "-f", remotePath_}, kSmallCap);
  return local;
}

}  // namespace vyx::android_screen_recording
