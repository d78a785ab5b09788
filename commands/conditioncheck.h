// The condition names of the subjects in the list, compared with the first
// subject's: the GUI shows one protocol's names, so the plug-in itself notices
// a protocol whose names differ (letter case included), before Start.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "model/pluginstate.h"

namespace ppi::commands {

// The first difference between two protocols' condition names, as a text
// ("has \"attend\" where the first has \"Attend\""); empty when they agree.
std::string conditionNamesDifference(const std::vector<std::string>& first,
                                     const std::vector<std::string>& other);

// Adds a warning to the report when subject `index` (from 0) has other
// condition names than the list's first subject.
void noteConditionNamesDiffer(model::PluginState& state, std::size_t index);

}  // namespace ppi::commands
