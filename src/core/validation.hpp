#pragma once
// Checking one scenario file and describing the outcome for a person or an
// agent: name, app id and step count, or public code, message, JSON path,
// line and column.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/errors.hpp"

namespace vyx::validation {

struct Result {
  bool ok = false;
  std::optional<std::string> name{};   // success only
  std::optional<std::string> appId{};  // success only, when the scenario has one
  size_t stepCount = 0;              // top-level steps; 0 on failure
  std::string code{};                  // public error code; empty on success
  std::string message{};               // public error message; empty on success
  std::optional<std::string> path{};   // JSON path of the offending field
  std::optional<size_t> line{};        // 1-based
  std::optional<size_t> column{};      // 1-based, in bytes
};

struct PathDiagnostic {
  std::string path{};
  std::optional<size_t> line{};
  std::optional<size_t> column{};
};

// Reads the file (limit 16 MiB) and parses it as a scenario. Every fault
// (unreadable, too large, malformed, invalid) becomes a failure Result.
Result validateFile(const std::string& path);

// The failure Result for `failure`; `text` is the file's content, absent when
// reading the file failed.
Result failure(std::optional<std::string_view> text, Error failure);

// The path with the position of the first `"key"` in the text, or, without a
// key, of the first byte that is not a blank, tab, line feed or carriage return.
PathDiagnostic pathDiagnostic(std::string_view text, std::string_view path,
                              std::optional<std::string_view> key);

// 1-based line and byte column of a byte offset in the text.
void lineColumnAt(std::string_view text, size_t offset, size_t& line, size_t& column);

}  // namespace vyx::validation
