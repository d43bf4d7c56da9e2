#include "core/errors.hpp"

#include <unistd.h>

#include <cerrno>
#include <string>

namespace vyx {

namespace {

constexpr std::string_view kNames[] = {
#define VYX_ERROR(name) #name,
#define VYX_ERROR_NAMED(id, name) name,
#include "core/error_list.hpp"
#undef VYX_ERROR
#undef VYX_ERROR_NAMED
};

struct Row {
  Error error;
  std::string_view code;
  std::string_view message;
};

constexpr std::string_view kScenarioInvalid = "scenario.invalid";
constexpr std::string_view kSelectorInvalid = "selector.invalid";

constexpr Row kTable[] = {
    {Error::MissingPlatform, "cli.missing_platform", "missing platform"},
    {Error::UnsupportedPlatform, "cli.unsupported_platform", "unsupported platform"},
    {Error::MissingAdbPath, "cli.missing_adb_path", "missing adb path"},
    {Error::MissingXcrunPath, "cli.missing_xcrun_path", "missing xcrun path"},
    {Error::unknownFlag, "cli.unknown_flag", "unknown flag"},
    {Error::FileNotFound, "scenario.file_not_found", "scenario file was not found"},
    {Error::CommandFailed, "device.command_failed", "device command failed"},
    {Error::MissingZigPath, "cli.missing_zig_path", "missing zig path"},
    {Error::ScenarioMustBeObject, kScenarioInvalid, "scenario is invalid"},
    {Error::ScenarioMissingSteps, kScenarioInvalid, "scenario is invalid"},
    {Error::ScenarioStepsMustBeArray, kScenarioInvalid, "scenario is invalid"},
    {Error::unknownScrollDirection, kScenarioInvalid, "scenario is invalid"},
    {Error::StepMissingUrl, kScenarioInvalid, "scenario is invalid"},
    {Error::StepMissingText, kScenarioInvalid, "scenario is invalid"},
    {Error::StepMissingX1, kScenarioInvalid, "scenario is invalid"},
    {Error::StepMissingY1, kScenarioInvalid, "scenario is invalid"},
    {Error::StepMissingX2, kScenarioInvalid, "scenario is invalid"},
    {Error::StepMissingY2, kScenarioInvalid, "scenario is invalid"},
    {Error::StepMissingAction, kScenarioInvalid, "scenario is invalid"},
    {Error::StepActionMustBeString, kScenarioInvalid, "scenario is invalid"},
    {Error::unknownAction, kScenarioInvalid, "scenario is invalid"},
    {Error::unknownScenarioAction, kScenarioInvalid, "scenario is invalid"},
    {Error::StepMustBeObject, kScenarioInvalid, "scenario is invalid"},
    {Error::MissingSelector, kSelectorInvalid, "selector is invalid"},
    {Error::StepMissingSelector, kSelectorInvalid, "selector is invalid"},
    {Error::SelectorMustNotBeEmpty, kSelectorInvalid, "selector is invalid"},
    {Error::MissingSelectors, kSelectorInvalid, "selector is invalid"},
    {Error::StepMissingSelectors, kSelectorInvalid, "selector is invalid"},
    {Error::SelectorsMustBeArray, kSelectorInvalid, "selector is invalid"},
    {Error::SelectorsMustNotBeEmpty, kSelectorInvalid, "selector is invalid"},
    {Error::MissingTraceDir, "cli.missing_trace_dir", "missing trace directory"},
    {Error::MissingDraftOut, "cli.missing_draft_out", "missing draft output path"},
    {Error::MissingParam, "cli.missing_param", "missing parameter"},
    {Error::MissingAppId, "cli.missing_app_id", "missing app id"},
    {Error::InvalidTraceManifest, "trace.invalid_manifest", "trace manifest is invalid"},
    {Error::SemanticSnapshotMissing, "draft.no_snapshot", "no semantic snapshot was found in the trace"},
    {Error::InvalidSemanticSnapshot, "trace.invalid_semantic_snapshot", "semantic snapshot is invalid"},
    {Error::MissingScenarioPath, "cli.missing_scenario", "missing scenario path"},
    {Error::MissingDeviceSerial, "cli.missing_device", "missing device serial"},
    {Error::MissingDiscoverOut, "cli.missing_discover_out", "missing discover output path"},
    {Error::SelectorNotFound, "runner.selector_not_found", "selector not found"},
    {Error::WaitTimeout, "runner.wait_timeout", "wait timed out"},
    {Error::AssertionFailed, "runner.assertion_failed", "assertion failed"},
    {Error::IosXCTestShimRequired, "ios.xctest_shim_required", "iOS selector interaction requires the XCTest shim"},
    {Error::MissingReportOutput, "cli.missing_report_output", "missing report output path"},
    {Error::MissingJUnitOutput, "cli.missing_junit_output", "missing JUnit output path"},
    {Error::MissingReportInput, "cli.missing_report_input", "missing report input path"},
    {Error::MissingTraceBundleOutput, "cli.missing_trace_bundle_output", "missing trace bundle output path"},
    {Error::UnsupportedTransport, "cli.unsupported_transport", "unsupported transport"},
    {Error::unknownCommand, "cli.unknown_command", "unknown command"},
};

constexpr Error kUsageErrors[] = {
    Error::MissingPlatform,      Error::UnsupportedPlatform,   Error::MissingIosDeviceType,
    Error::UnsupportedIosDeviceType, Error::MissingAdbPath,    Error::MissingXcrunPath,
    Error::unknownFlag,          Error::MissingZigPath,        Error::MissingTraceDir,
    Error::MissingDraftOut,      Error::MissingParam,          Error::MissingAppId,
    Error::MissingScenarioPath,  Error::MissingDeviceSerial,   Error::MissingDiscoverOut,
    Error::MissingReportOutput,  Error::MissingJUnitOutput,    Error::MissingReportInput,
    Error::MissingTraceBundleOutput, Error::UnsupportedTransport, Error::unknownCommand,
};

}  // namespace

std::string_view errorName(Error e) {
  auto index = static_cast<size_t>(e);
  if (index >= std::size(kNames)) return "Unexpected";
  return kNames[index];
}

bool errorFromName(std::string_view name, Error& out) {
  for (size_t i = 0; i < std::size(kNames); ++i) {
    if (kNames[i] == name) {
      out = static_cast<Error>(i);
      return true;
    }
  }
  return false;
}

ErrorClassification classify(Error e) {
  for (const Row& row : kTable) {
    if (row.error == e) return {row.code, row.message};
  }
  return {"internal.error", errorName(e)};
}

int exitCodeForError(Error e) {
  for (Error usage : kUsageErrors) {
    if (usage == e) return 2;
  }
  return 1;
}

void writeTopLevelError(Error e) {
  ErrorClassification c = classify(e);
  std::string line;
  line.reserve(128);
  line += "error[";
  line += c.code;
  line += "]: ";
  line += c.message;
  line += '\n';
  if (e == Error::unknownFlag) {
    line += "hint: run `vyx help` for each command's flags and arguments.\n";
  } else if (e == Error::CommandFailed) {
    line += "hint: run `vyx doctor --json` for setup diagnostics.\n";
  }
  writeAllStderr(line);
}

Error errorFromErrno(int err) {
  switch (err) {
    case ENOENT: return Error::FileNotFound;
    case EACCES: return Error::AccessDenied;
    case EPERM: return Error::PermissionDenied;
    case EISDIR: return Error::IsDir;
    case ENOTDIR: return Error::NotDir;
    case ENOSPC: return Error::NoSpaceLeft;
    case EPIPE: return Error::BrokenPipe;
    case EEXIST: return Error::PathAlreadyExists;
    case ENAMETOOLONG: return Error::NameTooLong;
    case ELOOP: return Error::SymLinkLoop;
    case EFBIG: return Error::FileTooBig;
    case ETXTBSY: return Error::FileBusy;
    case EBUSY: return Error::DeviceBusy;
    case EROFS: return Error::ReadOnlyFileSystem;
    case EDQUOT: return Error::DiskQuota;
    case EMFILE: return Error::ProcessFdQuotaExceeded;
    case ENFILE: return Error::SystemFdQuotaExceeded;
    case ENOMEM: return Error::OutOfMemory;
    case EAGAIN: return Error::SystemResources;
    case ENOEXEC: return Error::InvalidExe;
    case EIO: return Error::InputOutput;
    case ECONNRESET: return Error::ConnectionResetByPeer;
    case EADDRINUSE: return Error::AddressInUse;
    case ETIMEDOUT: return Error::Timeout;
    case ECANCELED: return Error::Canceled;
    default: return Error::Unexpected;
  }
}

Error errorFromErrno(int err, Error fallback) {
  Error e = errorFromErrno(err);
  return e == Error::Unexpected ? fallback : e;
}

void writeAllStderr(std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(2, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    text.remove_prefix(static_cast<size_t>(n));
  }
}

}  // namespace vyx
