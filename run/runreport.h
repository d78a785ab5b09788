// The run's lines in the command's report: which subject stopped the run and
// why, and the first line with its numbers.
#pragma once

#include <cstddef>

#include "model/pluginstate.h"

namespace ppi::analysis {

// Subject `number` (from 1) stopped the run; the reason is the run's latest log line.
void reportSubjectStopped(model::PluginState& state, std::size_t number);

// "Start: 4 of 4 design matrices saved, 2 warnings".
void summarizeRun(model::PluginState& state, std::size_t saved);

}  // namespace ppi::analysis
