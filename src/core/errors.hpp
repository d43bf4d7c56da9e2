#pragma once
// The program-wide set of named failures, their public classification and
// the exit status the entry point derives from them.

#include <concepts>
#include <expected>
#include <string_view>
#include <utility>

namespace vyx {

enum class Error : int {
#define VYX_ERROR(name) name,
#define VYX_ERROR_NAMED(id, name) id,
#include "core/error_list.hpp"
#undef VYX_ERROR
#undef VYX_ERROR_NAMED
};

// A result or the failure. The class is std::expected and nothing more; it
// exists so that the result of every function that returns one must be used
// (libstdc++ does not mark std::expected itself [[nodiscard]]).
template <class T>
class [[nodiscard]] Expected : public std::expected<T, Error> {
 public:
  using std::expected<T, Error>::expected;

  // Compares as std::expected does (with another result, a value or an
  // std::unexpected). Without it the standard's comparisons, which are
  // written for std::expected itself, are ambiguous for this class.
  template <class A, class B>
    requires std::same_as<A, Expected>
  friend constexpr bool operator==(const A& a, const B& b) {
    const std::expected<T, Error>& base = a;
    if constexpr (std::same_as<B, Expected>) {
      return base == static_cast<const std::expected<T, Error>&>(b);
    } else {
      return base == b;
    }
  }
};
using Status = Expected<void>;

inline std::unexpected<Error> fail(Error e) { return std::unexpected<Error>(e); }

// Returns the failure of an Expected or Status expression from the enclosing
// function, whatever that function's Expected type.
#define VYX_TRY(expr)                                                             \
  do {                                                                            \
    if (auto vyx_try_ = (expr); !vyx_try_) return ::vyx::fail(vyx_try_.error()); \
  } while (0)

// Evaluates an Expected expression once; on failure returns the failure from
// the enclosing function, otherwise initialises or assigns `decl` (say
// `auto name` or `options.field`) from the value, moved out of the result.
#define VYX_TRY_ASSIGN(decl, ...) VYX_TRY_ASSIGN_(VYX_TRY_CONCAT_(vyx_try_, __LINE__), decl, (__VA_ARGS__))
#define VYX_TRY_CONCAT_(a, b) VYX_TRY_CONCAT2_(a, b)
#define VYX_TRY_CONCAT2_(a, b) a##b
#define VYX_TRY_ASSIGN_(tmp, decl, expr)     \
  auto tmp = expr;                           \
  if (!tmp) return ::vyx::fail(tmp.error()); \
  decl = std::move(*tmp)

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

// Writes the text to standard error whole, retrying interrupted writes; a
// failing write drops the rest, for there is nowhere left to report it.
void writeAllStderr(std::string_view text);

// Maps an errno value to the error name the program uses for it.
Error errorFromErrno(int err);
// The same, with `fallback` where the errno value names nothing more specific.
Error errorFromErrno(int err, Error fallback);

}  // namespace vyx
