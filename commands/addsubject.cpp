#include "commands/handlers.h"

#include <string>

#include "commands/choosesubject.h"
#include "commands/conditioncheck.h"
#include "formats/listfile.h"
#include "host/hostapi.h"

namespace ppi::commands {
namespace {

using host::HostFunction;

constexpr const char* kSecondSubjectNote =
    "Note: you are about to select multiple VTC's. \n\nWeights chosen in the standard approach "
    "are applied to all loaded VTC's.\nPlease make sure that the protocols are the same for each "
    "VTC.";

}  // namespace

Outcome handleAddSubject(model::PluginState& state, const char*) {
  if (Outcome offered = host::requireHostFunctions(
          {HostFunction::nkLogText, HostFunction::nkGetIntParameter, HostFunction::nkMessageBox,
           HostFunction::nkGetOpenFileName, HostFunction::nkLinkVTCToCurrentVMR,
           HostFunction::nkGetHeaderOfVTCOfCurrentVMR, HostFunction::nkLoadProtocol,
           HostFunction::nkGetProtocol, HostFunction::nkGetProtocolCondition,
           HostFunction::nkSetIntParameter, HostFunction::nkGetStringParameter,
           HostFunction::nkSetStringParameter, HostFunction::nkLoadVOIs, HostFunction::nkGetVOIs,
           HostFunction::nkGetVOI, HostFunction::nkGetIntegerInput});
      !offered.ok()) {
    return offered;
  }
  // Under the standard approach the first subject's weights serve them all;
  // this holds even if the user then cancels.
  if (host::getIntParameter("whichapproach") == 0 && state.subjectCount() > 0) {
    if (state.subjectCount() == 1) host::messageBox(kSecondSubjectNote);
    state.saveWeights = true;
  }

  PathText vtcPath, voiPath;
  int chosenVOI = -1;
  model::SubjectRecord timeCourse;
  const std::string number = "subject " + std::to_string(state.subjects.size() + 1);
  // A refusal completes the command: the report says why, from the step's result.
  const auto refused = [&](const std::string& where, const Outcome& why, const char* todo) {
    state.report.setSummary("AddSubject: no subject added; " +
                            counted(state.subjects.size(), "subject") + " in the list");
    state.report.error(where, why.reason(), todo);
    return Outcome();
  };
  if (Outcome chosen = chooseTimeCourseAndProtocol(state.saveWeights, false, vtcPath, timeCourse);
      !chosen.ok()) {
    return refused(number + (vtcPath.view().empty() ? "" : " (" + vtcPath.str() + ")"), chosen,
                   "Choose a time course (.vtc) the host can open, with its protocol, and add "
                   "the subject again.");
  }
  if (!model::listCanHoldPath(vtcPath.view())) {
    return refused(number,
                   host::logFailure("Plugin> ",
                                    "A list file cannot hold this path (it holds a tab or a line "
                                    "break): %s",
                                    vtcPath.c_str()),
                   "Rename the file or its folder and add the subject again.");
  }
  const std::size_t same = state.subjects.findTimeCourse(vtcPath.str());
  if (same < state.subjects.size()) {
    return refused(
        number + " (" + vtcPath.str() + ")",
        host::logFailure("Plugin> ", "The time course %s is in the list already, as subject %zu.",
                         vtcPath.c_str(), same + 1),
        "Each time course may be listed once: choose another subject's time course.");
  }
  std::string todo;
  if (Outcome completed = completeSubject(state, false, timeCourse, voiPath, chosenVOI, todo);
      !completed.ok()) {
    return refused(number + " (" + vtcPath.str() + ")", completed, todo.c_str());
  }
  state.autosave.subjectAdded(state.subjects, state.report);
  state.report.setSummary("AddSubject: " + number + " added (" + fileNameOf(vtcPath.view()) +
                          "); " + counted(state.subjects.size(), "subject") + " in the list");
  noteConditionNamesDiffer(state, state.subjects.size() - 1);
  return {};
}

}  // namespace ppi::commands
