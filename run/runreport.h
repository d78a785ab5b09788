// The run's lines in the command's report: which subject stopped the run and
// why, and the first line with its numbers.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "model/pluginstate.h"

namespace ppi::analysis {

// Subject `number` (from 1) stopped the run for `reason` (the step's result);
// unless its step reported an error of its own (the report held
// `errorsBefore` errors when it began), the reason becomes the error.
void reportSubjectStopped(model::PluginState& state, std::size_t number, std::size_t errorsBefore,
                          const std::string& reason);

// "Start: 4 of 4 design matrices saved, 2 warnings"; with subjects whose
// design has an error, "…, 1 error; not in the list: subject 2 (s02.vtc)".
void summarizeRun(model::PluginState& state, std::size_t saved,
                  const std::vector<std::string>& notListed = {});

}  // namespace ppi::analysis
