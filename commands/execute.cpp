#include "commands/execute.h"

#include <string>
#include <utility>

#include "commands/handlers.h"
#include "host/hostapi.h"

namespace ppi::commands {
namespace {

// The command's report, cleared at its start and published in "PPIReport" at
// its end.
class CommandReport {
 public:
  CommandReport(Report& report, std::string command)
      : report_(report), command_(std::move(command)) {
    report_.clear();
    // Never leaves an older report showing, also when the command is refused.
    publish("");
  }
  ~CommandReport() { publish(report_.text().c_str()); }
  CommandReport(const CommandReport&) = delete;
  CommandReport& operator=(const CommandReport&) = delete;

  // A handler that stopped without saying why in its report leaves the reason
  // it returned there.
  bool finish(const Outcome& outcome) {
    const bool completed = outcome.ok();
    if (!completed && report_.count(Report::Kind::error) == 0) {
      report_.error({}, outcome.reason().empty() ? "stopped" : outcome.reason());
    }
    if (report_.summary().empty()) {
      report_.setSummary(command_ + (completed ? ": finished" : ": stopped"));
    }
    return completed;
  }

 private:
  static void publish(const char* text) {
    if (host::hasHostFunction(host::HostFunction::nkSetStringParameter)) {
      host::setStringParameter("PPIReport", text);
    }
  }

  Report& report_;
  std::string command_;
};

Outcome dispatch(model::PluginState& state, const std::string& command) {
  if (command == "AddSubject") return handleAddSubject(state, command.c_str());
  if (command == "Start") return handleStart(state);
  if (command == "Load") return handleLoad(state, command.c_str());
  if (command == "Save") return handleSave(state, command.c_str());
  if (command == "Clear") return handleClear(state, command.c_str());

  host::logLine("Plugin> Received unknown command: \"%s\".", command.c_str());
  state.report.setSummary(command.substr(0, 64) + ": unknown command; nothing done");
  return {};
}

}  // namespace

bool executeCommand(model::PluginState& state) {
  using host::HostFunction;
  // Without these there is no report to publish: the log line says why.
  if (!host::requireHostFunctions({HostFunction::nkLogText, HostFunction::nkGetStringParameter,
                                   HostFunction::nkGetCurrentVMR, HostFunction::nkMessageBox})
           .ok()) {
    return false;
  }
  // A text longer than the command name's limit names no command; it is kept
  // whole so that it is never cut into one.
  const std::string command = host::getStringParameter("Command");
  CommandReport report(state.report, command.substr(0, 64));
  host::logLine("Plugin> Command received: %s", command.c_str());

  if (!host::hasCurrentVMR()) {
    host::messageBox(
        "This plugin requires a VMR to operate. Make sure that a VMR is open and that its window "
        "is selected.");
    state.report.setSummary(command.substr(0, 64) + ": refused");
    state.report.error({}, "No VMR is open.", "Open a VMR, select its window and retry.");
    return report.finish(Outcome::failure("No VMR is open."));
  }
  return report.finish(dispatch(state, command));
}

}  // namespace ppi::commands
