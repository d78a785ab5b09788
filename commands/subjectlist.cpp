#include "commands/subjectlist.h"

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "commands/choosesubject.h"
#include "commands/conditioncheck.h"
#include "host/hostapi.h"
#include "formats/listfile.h"

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
      !extendListParameter("VTCFileNameList", timeCourse.vtcPath.view(), vtcFileNameList)) {
    return false;
  }
  const std::string voiFileListBefore =
      fromList ? std::string() : host::getStringParameter("VOIFileList");
  if (!chooseVOI(fromList, voiPath, voiFileList, chosenVOI, subject.region)) return false;
  // A region file the list cannot hold is found once it is chosen: its entry
  // in the GUI's list is taken back.
  if (!fromList && !model::listCanHoldPath(voiPath.view())) {
    host::setStringParameter("VOIFileList", voiFileListBefore.c_str());
    host::logLine("Plugin> A list file cannot hold this path (it holds a tab or a line break): %s",
                  voiPath.c_str());
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
  const std::string number = "subject " + std::to_string(state.subjects.size() + 1);
  const auto refused = [&](const std::string& where, const char* todo) {
    state.report.setSummary("AddSubject: no subject added; " +
                            counted(state.subjects.size(), "subject") + " in the list");
    state.report.error(where, state.report.lastLogLine(), todo);
    return true;
  };
  if (!chooseTimeCourseAndProtocol(state.saveWeights, false, vtcPath, timeCourse)) {
    return refused(number + (vtcPath.view().empty() ? "" : " (" + vtcPath.str() + ")"),
                   "Choose a time course (.vtc) the host can open, with its protocol, and add "
                   "the subject again.");
  }
  if (!model::listCanHoldPath(vtcPath.view())) {
    host::logLine("Plugin> A list file cannot hold this path (it holds a tab or a line break): %s",
                  vtcPath.c_str());
    return refused(number, "Rename the file or its folder and add the subject again.");
  }
  if (!completeSubject(state, false, timeCourse, voiPath, chosenVOI)) {
    return refused(number + " (" + vtcPath.str() + ")",
                   "Choose a region file (.voi) and one of its regions, and add the subject "
                   "again.");
  }
  state.autosave.subjectAdded(state.subjects);
  state.report.setSummary("AddSubject: " + number + " added (" + fileNameOf(vtcPath.view()) +
                          "); " + counted(state.subjects.size(), "subject") + " in the list");
  noteConditionNamesDiffer(state, state.subjects.size() - 1);
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
    state.report.setSummary("Load: no list file chosen; the subject list is empty");
    return false;
  }
  if (!acceptPath(chosen, "PPI", listPath)) {
    state.autosave.mirror(state.subjects);
    state.report.setSummary("Load: list file refused; the subject list is empty");
    return false;
  }
  const std::string listName = fileNameOf(listPath.view());

  // The whole file is read before the autosave list is rewritten, which may
  // be the very file being loaded.
  std::string text;
  std::vector<model::ListFileLine> lines;
  if (model::readWholeFile(listPath.str(), text)) lines = model::readListFileText(text);
  if (lines.empty()) {
    host::logText("Unable to open the PPI file.");
    state.autosave.mirror(state.subjects);
    state.report.setSummary("Load: 0 subjects loaded from " + listName);
    state.report.error(listName, "cannot be opened or holds no subject line.",
                       "Choose a list file saved by the plug-in's Save.");
    return true;
  }

  std::vector<std::string> conditionNames;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const model::ListFileLine& line = lines[i];
    const std::string where = listName + " line " + std::to_string(line.lineNumber);
    if (line.rejected()) {
      host::logLine("Plugin> Line %d of the PPI file rejected: it %s.", line.lineNumber,
                    line.problem.c_str());
      state.report.error(where, "rejected: it " + line.problem + ".",
                         "Write the line as <time course> TAB <region file> TAB <region index>.");
      continue;
    }
    int chosenVOI = *line.chosenVOI;
    host::logLine("\tSubject \t%i\n\t%s\n\t%s\n\t%i", static_cast<int>(i), line.vtcPath.c_str(),
                  line.voiPath.c_str(), chosenVOI);
    PathText vtcPath, voiPath;
    model::SubjectRecord timeCourse;
    if (!acceptPath(line.vtcPath, "VTC", vtcPath) || !acceptPath(line.voiPath, "VOI", voiPath)) {
      state.report.error(where, state.report.lastLogLine(), "Shorten the path.");
      continue;
    }
    if (!chooseTimeCourseAndProtocol(state.saveWeights, true, vtcPath, timeCourse)) {
      state.report.error(where + " (" + line.vtcPath + ")", state.report.lastLogLine(),
                         "Check that the time course exists and has a protocol, or correct the "
                         "line.");
      continue;
    }
    if (!completeSubject(state, true, timeCourse, voiPath, chosenVOI)) {
      state.report.error(
          where + " (" + line.voiPath + ", region " + std::to_string(chosenVOI) + ")",
          state.report.lastLogLine(),
          "Check that the region file exists and holds the region index, or "
          "correct the line.");
      continue;
    }
    noteConditionNamesDiffer(state, state.subjects.size() - 1);
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
  state.report.setSummary("Load: " + std::to_string(state.subjects.size()) + " of " +
                          counted(lines.size(), "subject") + " loaded from " + listName);
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
    state.report.setSummary("Save: no file chosen; nothing saved");
    return false;
  }
  if (!acceptPath(chosen, "PPI", target)) {
    state.report.setSummary("Save: nothing saved");
    return false;
  }
  const std::string targetName = fileNameOf(target.view());
  const std::string saved =
      "Save: " + counted(state.subjects.size(), "subject") + " saved to " + targetName;

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
    state.report.setSummary("Save: nothing saved");
    return false;
  }
  if (sameFile(target.str(), model::kAutosaveFileName)) {
    if (ownList) state.autosave.mirror(state.subjects);  // it holds the list, now for certain
    state.report.setSummary(ownList ? saved : "Save: the autosave list is kept as it is");
    return true;
  }
  // The list is written as text; an earlier session's file is copied byte for byte.
  if (!(ownList ? model::writeListFile(target.str(), lines)
                : model::writeWholeFile(target.str(), lines))) {
    host::logLine("PPI Plugin> Could not write %s. Please retry.", target.c_str());
    state.report.setSummary("Save: nothing saved");
    state.report.error(target.str(), "cannot be written.",
                       "Choose a folder you may write to, or free some disk space.");
    return false;
  }
  state.report.setSummary(ownList ? saved
                                  : "Save: the list of an earlier session copied to " + targetName);
  return true;
}

}  // namespace ppi::commands
