#include "commands/handlers.h"

#include "host/hostapi.h"

namespace ppi::commands {

bool handleClear(model::PluginState& state, const char* command) {
  if (!host::requireHostFunctions({host::HostFunction::nkLogText})) return false;
  host::logLine("Plugin> Received command: \"%s\".", command);
  state.clearSubjects();
  // The GUI's lists and condition parameters are left as they are.
  state.autosave.mirror(state.subjects, state.report);
  state.report.setSummary("Clear: the subject list is empty");
  return true;
}

}  // namespace ppi::commands
