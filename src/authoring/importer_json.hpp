#pragma once
// Writing an imported flow as a scenario file: the document's own layout
// (one step per line) around compact step and selector objects.

#include "authoring/importer_model.hpp"
#include "core/writer.hpp"

namespace vyx::importer_json {

// The set fields only, in the order "id", "text", "textContains",
// "contentDesc", compact.
Status writeSelectorJson(Writer& w, const importer::SelectorSpec& selector);

// One step as a compact object, "action" first.
Status writeStepJson(Writer& w, const importer::ImportedStep& step);

// The whole scenario file, ending in a line feed.
Status writeScenarioJson(Writer& w, const importer::ImportedScenario& scenario);

}  // namespace vyx::importer_json
