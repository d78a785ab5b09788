#include "commands/execute.h"

#include <string>

#include "analysis/runanalysis.h"
#include "commands/subjectlist.h"
#include "host/hostapi.h"

namespace ppi::commands {

bool executeCommand(model::PluginState& state) {
  using host::HostFunction;
  if (!host::requireHostFunctions({HostFunction::nkLogText, HostFunction::nkGetStringParameter,
                                   HostFunction::nkGetCurrentVMR, HostFunction::nkMessageBox})) {
    return false;
  }
  // A text longer than the command name's limit names no command; it is kept
  // whole so that it is never cut into one.
  const std::string command = host::getStringParameter("Command");
  host::logLine("Plugin> Command received: %s", command.c_str());

  if (!host::hasCurrentVMR()) {
    host::messageBox(
        "This plugin requires a VMR to operate. Make sure that a VMR is open and that its window "
        "is selected.");
    return false;
  }

  if (command == "AddSubject") return handleAddSubject(state, command.c_str());
  if (command == "Start") return analysis::runAnalysis(state);
  if (command == "Load") return handleLoad(state, command.c_str());
  if (command == "Save") return handleSave(state, command.c_str());
  if (command == "Clear") return handleClear(state, command.c_str());

  host::logLine("Plugin> Received unknown command: \"%s\".", command.c_str());
  return true;
}

bool handleClear(model::PluginState& state, const char* command) {
  if (!host::requireHostFunctions({host::HostFunction::nkLogText})) return false;
  host::logLine("Plugin> Received command: \"%s\".", command);
  state.clearSubjects();
  // The GUI's lists and condition parameters are left as they are.
  state.autosave.mirror(state.subjects);
  return true;
}

}  // namespace ppi::commands
