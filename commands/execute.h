// The command frame: reads the command the GUI named in "Command", logs it,
// refuses to work without an open VMR, and runs exactly one handler.
#pragma once

#include "model/pluginstate.h"

namespace ppi::commands {

bool executeCommand(model::PluginState& state);

// "Clear": empties the subject list, the saved design matrices and, once the
// object holds one, the autosave list; the GUI's parameters stay as they are.
bool handleClear(model::PluginState& state, const char* command);

}  // namespace ppi::commands
