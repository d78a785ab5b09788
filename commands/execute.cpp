#include "commands/execute.h"

#include <string>

#include "analysis/runanalysis.h"
#include "commands/subjectlist.h"
#include "host/hostapi.h"
#include "plugin/ppiplugin.h"

namespace ppi {

bool executeCommand(ppiplugin& plugin) {
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

  if (command == "AddSubject") return handleAddSubject(plugin, command.c_str());
  if (command == "Start") return runAnalysis(plugin);
  if (command == "Load") return handleLoad(plugin, command.c_str());
  if (command == "Save") return handleSave(plugin, command.c_str());
  if (command == "Clear") return handleClear(plugin, command.c_str());

  host::logLine("Plugin> Received unknown command: \"%s\".", command.c_str());
  return true;
}

bool handleClear(ppiplugin& plugin, const char* command) {
  if (!host::requireHostFunctions({host::HostFunction::nkLogText})) return false;
  host::logLine("Plugin> Received command: \"%s\".", command);
  clearSubjectList(plugin);
  // The GUI's lists and condition parameters are left as they are.
  keepAutosaveList(plugin, "");
  return true;
}

}  // namespace ppi
