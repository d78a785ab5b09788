#include "commands/subjectlist.h"

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "commands/choosesubject.h"
#include "host/hostapi.h"
#include "model/listfile.h"

namespace ppi::commands {
namespace {

using host::HostFunction;

constexpr const char* kSecondSubjectNote =
    "Note: you are about to select multiple VTC's. \n\nWeights chosen in the standard approach "
    "are applied to all loaded VTC's.\nPlease make sure that the protocols are the same for each "
    "VTC.";

// Once the time course is settled: settles the region, then publishes the
// subject in the GUI lists and adds it to the list. On false neither the list
// nor any GUI list has changed.
bool completeSubject(model::PluginState& state, bool fromList,
                     const model::SubjectRecord& timeCourse, PathText& voiPath, int& chosenVOI) {
  const std::string vtcName = splitPath(timeCourse.vtcPath.view()).fileName;
  ListText vtcFileList, vtcFileNameList, voiFileList;
  model::Subject subject{timeCourse, {}};
  // The lists are extended before any is set, so that they stay in step.
  if (!extendListParameter("VTCFileList", vtcName, vtcFileList) ||
      !extendListParameter("VTCFileNameList", timeCourse.vtcPath.view(), vtcFileNameList) ||
      !chooseVOI(fromList, voiPath, voiFileList, chosenVOI, subject.region)) {
    return false;
  }
  host::logLine("Plugin> VTC file: %s", vtcName.c_str());
  host::setStringParameter("VTCFileList", vtcFileList.c_str());
  host::setStringParameter("VTCFileNameList", vtcFileNameList.c_str());
  state.subjects.add(subject);
  return true;
}

bool sameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}

}  // namespace

bool handleAddSubject(model::PluginState& state, const char*) {
  if (!host::requireHostFunctions(
          {HostFunction::nkLogText, HostFunction::nkGetIntParameter, HostFunction::nkMessageBox,
           HostFunction::nkGetOpenFileName, HostFunction::nkLinkVTCToCurrentVMR,
           HostFunction::nkGetHeaderOfVTCOfCurrentVMR, HostFunction::nkLoadProtocol,
           HostFunction::nkGetProtocol, HostFunction::nkGetProtocolCondition,
           HostFunction::nkSetIntParameter, HostFunction::nkGetStringParameter,
           HostFunction::nkSetStringParameter, HostFunction::nkLoadVOIs, HostFunction::nkGetVOIs,
           HostFunction::nkGetVOI, HostFunction::nkGetIntegerInput})) {
    return false;
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
  if (!chooseTimeCourseAndProtocol(state.saveWeights, false, vtcPath, timeCourse)) return true;
  if (!completeSubject(state, false, timeCourse, voiPath, chosenVOI)) return true;
  state.autosave.subjectAdded(state.subjects);
  return true;
}

bool handleLoad(model::PluginState& state, const char* command) {
  if (!host::requireHostFunctions(
          {HostFunction::nkLogText, HostFunction::nkGetOpenFileName,
           HostFunction::nkLinkVTCToCurrentVMR, HostFunction::nkGetHeaderOfVTCOfCurrentVMR,
           HostFunction::nkLoadProtocol, HostFunction::nkGetProtocol,
           HostFunction::nkGetProtocolCondition, HostFunction::nkSetIntParameter,
           HostFunction::nkGetStringParameter, HostFunction::nkSetStringParameter,
           HostFunction::nkLoadVOIs, HostFunction::nkGetVOIs, HostFunction::nkGetVOI})) {
    return false;
  }
  host::logLine("Plugin> Received command: \"%s\".", command);
  // A cancelled "Load" leaves an empty list too.
  state.clearSubjects();

  std::string chosen;
  PathText listPath;
  if (!host::getOpenFileName("Select a PPI file ", ".", "*.ppi", chosen)) {
    host::logText("Plugin> No PPI file loaded. Please retry.");
    state.autosave.mirror(state.subjects);
    return false;
  }
  if (!acceptPath(chosen, "PPI", listPath)) {
    state.autosave.mirror(state.subjects);
    return false;
  }

  // The whole file is read before the autosave list is rewritten, which may
  // be the very file being loaded.
  std::string text;
  std::vector<model::ListFileLine> lines;
  if (model::readWholeFile(listPath.str(), text)) lines = model::readListFileText(text);
  if (lines.empty()) {
    host::logText("Unable to open the PPI file.");
    state.autosave.mirror(state.subjects);
    return true;
  }

  std::vector<std::string> conditionNames;
  int chosenVOI = -1;  // carried to a line whose index cannot be read
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const model::ListFileLine& line = lines[i];
    if (line.chosenVOI) chosenVOI = *line.chosenVOI;
    host::logLine("\tSubject \t%i\n\t%s\n\t%s\n\t%i", static_cast<int>(i), line.vtcPath.c_str(),
                  line.voiPath.c_str(), chosenVOI);
    PathText vtcPath, voiPath;
    model::SubjectRecord timeCourse;
    if (!acceptPath(line.vtcPath, "VTC", vtcPath) || !acceptPath(line.voiPath, "VOI", voiPath) ||
        !chooseTimeCourseAndProtocol(state.saveWeights, true, vtcPath, timeCourse) ||
        !completeSubject(state, true, timeCourse, voiPath, chosenVOI)) {
      continue;
    }
    // This subject's, as read while its protocol was the host's current one:
    // a later line that fails may leave another protocol behind.
    if (!state.saveWeights) conditionNames = state.subjects.back().timeCourse.conditionNames;
  }
  state.autosave.mirror(state.subjects);

  // The GUI's conditions are the last accepted subject's; with none accepted
  // they stay as they were.
  if (state.subjectCount() > 0) {
    host::setIntParameter("NrOfConditions",
                          state.subjects.back().timeCourse.protocol.nrOfConditions());
    host::setIntParameter("saveWeights", state.saveWeights ? 1 : 0);
    if (!state.saveWeights) publishConditionNames(conditionNames);
  }
  return true;
}

bool handleSave(model::PluginState& state, const char*) {
  if (!host::requireHostFunctions({HostFunction::nkLogText, HostFunction::nkGetSaveFileName})) {
    return false;
  }
  std::string chosen;
  PathText target;
  if (!host::getSaveFileName("Choose a filename to save the ppi list(.*ppi)", ".", "*.ppi",
                             chosen)) {
    host::logText("PPI Plugin> Could not save file. Please retry.");
    return false;
  }
  if (!acceptPath(chosen, "PPI", target)) return false;

  // Once this object has a list, the list itself is saved: the autosave file
  // mirrors it, but a file can be removed or fail to be written. Before that,
  // the file may be what an earlier session left: it is copied as it is, the
  // way to recover a list after a crash. No file yet means an empty list.
  const bool ownList = state.autosave.owned();
  std::string lines;
  if (ownList) {
    lines = state.subjects.listText();
  } else if (!state.autosave.recoveredText(lines)) {
    host::logLine("PPI Plugin> Could not read %s; the list was not saved.",
                  model::kAutosaveFileName);
    return false;
  }
  if (sameFile(target.str(), model::kAutosaveFileName)) {
    if (ownList) state.autosave.mirror(state.subjects);  // it holds the list, now for certain
    return true;
  }
  // The list is written as text; an earlier session's file is copied byte for byte.
  if (!(ownList ? model::writeListFile(target.str(), lines)
                : model::writeWholeFile(target.str(), lines))) {
    host::logLine("PPI Plugin> Could not write %s. Please retry.", target.c_str());
    return false;
  }
  return true;
}

}  // namespace ppi::commands
