#pragma once
// The program-wide set of named failures, their public classification and
// the exit status the entry point derives from them.

#include <expected>
#include <string_view>

namespace vyx {

enum class Error : int {
#define VYX_ERROR(name) name,
#define VYX_ERROR_NAMED(id, name) id,
#include "core/error_list.hpp"
#undef VYX_ERROR
#undef VYX_ERROR_NAMED
};

template <class T>
using Expected = std::expected<T, Error>;
using Status = std::expected<void, Error>;

inline std::unexpected<Error> fail(Error e) { return std::unexpected<Error>(e); }

// Returns the failure of an Expected or Status expression from the enclosing
// function, whatever that function's Expected type.
#define VYX_TRY(expr)                                                             \
  do {                                                                            \
    if (auto vyx_try_ = (expr); !vyx_try_) return ::vyx::fail(vyx_try_.error()); \
  } while (0)

// The error's name as it appears in traces, manifests and summaries.
std::string_view errorName(Error e);

// Looks an error up by its public name (the first identity that carries it).
bool errorFromName(std::string_view name, Error& out);

struct ErrorClassification {
  std::string_view code;
  std::string_view message;
};

ErrorClassification classify(Error e);

// 2 for the usage errors, 1 for every other error.
int exitCodeForError(Error e);

// Writes "error[<code>]: <message>" and the optional hint to standard error.
void writeTopLevelError(Error e);

// Maps an errno value to the error name the program uses for it.
Error errorFromErrno(int err);
// The same, with `fallback` where the errno value names nothing more specific.
Error errorFromErrno(int err, Error fallback);

}  // namespace vyx
