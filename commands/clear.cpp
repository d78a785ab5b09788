#include "commands/handlers.h"

#include "host/hostapi.h"

namespace ppi::commands {

Outcome handleClear(model::PluginState& state, const char* command) {
  if (Outcome offered = host::requireHostFunctions({host::HostFunction::nkLogText});
      !offered.ok()) {
    return offered;
  }
  host::logLine("Plugin> Received command: \"%s\".", command);
  state.clearSubjects();
  // The GUI's lists and condition parameters are left as they are.
  state.autosave.mirror(state.subjects, state.report);
  state.report.setSummary("Clear: the subject list is empty");
  return {};
}

}  // namespace ppi::commands
