#pragma once
// `vyx doctor`: the project configuration and the environment checks, as
// text lines or one JSON document; with --strict the process ends with
// status 1 when any check is not ok.

#include <optional>
#include <string>
#include <string_view>

#include "authoring/doctor.hpp"
#include "core/args.hpp"
#include "core/errors.hpp"

namespace vyx::cli_doctor {

Status run(ArgIterator& args);

// The "config" record for a configuration at `path` that failed to load
// with `error`: its code, the path and error name, the JSON path of the
// offending field when one can be found, and the configuration hint.
doctor::Check diagnoseConfig(const std::string& path, Error error);

// The public code of a configuration load error.
std::string_view configErrorCode(Error error);

}  // namespace vyx::cli_doctor
