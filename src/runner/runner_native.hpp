#pragma once
// The two events of the native road on iOS, where the shim acts on an
// element chosen by selector itself.

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/errors.hpp"
#include "core/trace.hpp"
#include "core/types.hpp"

namespace vyx::runner_native {

// {"status":"ok","strategy":"nativeSelector","selector":..[,"maxChars":n]}
Status recordSelectorAction(TraceWriter& trace, std::string_view kind, const Selector& selector,
                            std::optional<uint32_t> maxChars);

// {"status":"failed","strategy":"nativeSelector","error":<name>,"selector":..}
Status recordSelectorActionFailure(TraceWriter& trace, std::string_view kind, const Selector& selector,
                                   Error error);

}  // namespace vyx::runner_native
