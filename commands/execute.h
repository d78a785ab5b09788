// The command frame: reads the command the GUI named in "Command", logs it,
// refuses to work without an open VMR, and runs exactly one handler.
#pragma once

#include "model/pluginstate.h"

namespace ppi::commands {

bool executeCommand(model::PluginState& state);

}  // namespace ppi::commands
