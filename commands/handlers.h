// The handlers of the GUI's commands, one file each: "AddSubject"
// (addsubject.cpp), "Load" (loadlist.cpp), "Save" (savelist.cpp), "Clear"
// (clear.cpp) and "Start" (start.cpp). The autosave list mirrors the subject
// list after each command that changes it.
#pragma once

#include <cstddef>

#include "model/pluginstate.h"

namespace ppi::commands {

bool handleAddSubject(model::PluginState& state, const char* command);
bool handleLoad(model::PluginState& state, const char* command);
bool handleSave(model::PluginState& state, const char* command);

// "Clear": empties the subject list, the saved design matrices and, once the
// object holds one, the autosave list; the GUI's parameters stay as they are.
bool handleClear(model::PluginState& state, const char* command);

// "Start", the analysis run: reads the run settings, asks the run-wide
// questions, checks the GUI's list against the subject list, builds and saves
// every subject's design matrix in list order, and publishes "SDMFileList" and
// "nr_subs". True when every subject was processed and the results were
// published; false, after one log line, when the run stopped.
bool handleStart(model::PluginState& state);

}  // namespace ppi::commands
