// The subject list's commands: "AddSubject", "Load" and "Save". The autosave
// list mirrors the subject list after each of them.
#pragma once

#include "model/pluginstate.h"

namespace ppi::commands {

bool handleAddSubject(model::PluginState& state, const char* command);
bool handleLoad(model::PluginState& state, const char* command);
bool handleSave(model::PluginState& state, const char* command);

}  // namespace ppi::commands
