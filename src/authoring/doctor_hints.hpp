#pragma once
// The remediation text shown with every doctor check that is not ok.

#include <string_view>

#include "authoring/doctor.hpp"

namespace vyx::doctor_hints {

// The hint for a check name; only the two smoke-scenario checks also depend
// on the status. Unknown names get the generic hint.
std::string_view hintForCheck(std::string_view name, doctor::CheckStatus status);

}  // namespace vyx::doctor_hints
