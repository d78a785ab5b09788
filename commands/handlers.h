// The handlers of the GUI's commands, one file each: "AddSubject"
// (addsubject.cpp), "Load" (loadlist.cpp), "Save" (savelist.cpp), "Clear"
// (clear.cpp) and "Start" (start.cpp). The autosave list mirrors the subject
// list after each command that changes it. Each handler's result says whether
// the command completed and, when not, why (its log line), for the report.
#pragma once

#include <cstddef>

#include "common/outcome.h"
#include "model/pluginstate.h"

namespace ppi::commands {

Outcome handleAddSubject(model::PluginState& state, const char* command);
Outcome handleLoad(model::PluginState& state, const char* command);
Outcome handleSave(model::PluginState& state, const char* command);

// "Clear": empties the subject list, the saved design matrices and, once the
// object holds one, the autosave list; the GUI's parameters stay as they are.
Outcome handleClear(model::PluginState& state, const char* command);

// "Start", the analysis run: reads the run settings, asks the run-wide
// questions, checks the GUI's list against the subject list, builds and saves
// every subject's design matrix in list order, and publishes "SDMFileList" and
// "nr_subs". Ok when every subject was processed and the results were
// published; fails, after one log line, when the run stopped.
Outcome handleStart(model::PluginState& state);

}  // namespace ppi::commands
