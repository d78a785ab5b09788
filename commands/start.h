// The analysis run: the handler of "Start". Reads the run settings, asks the
// run-wide questions, checks the GUI's list against the subject list, builds
// and saves every subject's design matrix in list order, and publishes
// "SDMFileList" and "nr_subs".
#pragma once

#include <cstddef>

#include "model/pluginstate.h"

namespace ppi::analysis {

// The most entries a run's list may hold.
constexpr std::size_t kMaxListEntries = 256;

// True when every subject was processed and the results were published; false,
// after one log line, when the run stopped.
bool runAnalysis(model::PluginState& state);

}  // namespace ppi::analysis
