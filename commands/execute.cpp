#include "commands/execute.h"

#include <cstring>
#include <string>

#include "analysis/runanalysis.h"
#include "commands/subjectlist.h"
#include "common/boundedtext.h"
#include "host/hostapi.h"
#include "plugin/ppiplugin.h"

namespace ppi {

bool executeCommand(ppiplugin& plugin) {
  using host::HostFunction;
  if (!host::requireHostFunctions({HostFunction::nkLogText, HostFunction::nkGetStringParameter,
                                   HostFunction::nkGetCurrentVMR, HostFunction::nkMessageBox})) {
    return false;
  }
  FixedText<kCommandLimit> command;
  command.assignCut(host::getStringParameter("Command"));
  host::logLine("Plugin> Command received: %s", command.c_str());

  if (!host::hasCurrentVMR()) {
    host::messageBox(
        "This plugin requires a VMR to operate. Make sure that a VMR is open and that its window "
        "is selected.");
    return false;
  }

  const std::string_view name = command.view();
  if (name == "AddSubject") return handleAddSubject(plugin, command.c_str());
  if (name == "Start") return runAnalysis(plugin);
  if (name == "Load") return handleLoad(plugin, command.c_str());
  if (name == "Save") return handleSave(plugin, command.c_str());
  if (name == "Clear") return handleClear(plugin, command.c_str());

  host::logLine("Plugin> Received unknown command: \"%s\".", command.c_str());
  return true;
}

bool handleClear(ppiplugin& plugin, const char* command) {
  host::logLine("Plugin> Received command: \"%s\".", command);
  plugin.subjects.clear();
  plugin.subjectVOIs.clear();
  plugin.savedDesignFiles.clear();
  plugin.subjectCount = 0;
  return true;
}

}  // namespace ppi
