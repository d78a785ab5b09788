#include "commands/subjectlist.h"

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "commands/choosesubject.h"
#include "commands/listfile.h"
#include "host/hostapi.h"
#include "plugin/ppiplugin.h"

namespace ppi {
namespace {

using host::HostFunction;

constexpr const char* kSecondSubjectNote =
    "Note: you are about to select multiple VTC's. \n\nWeights chosen in the standard approach "
    "are applied to all loaded VTC's.\nPlease make sure that the protocols are the same for each "
    "VTC.";

// Once the time course is in the list: settles the region, then publishes the
// subject in the GUI lists and counts it. On false the time course's record
// has been taken off again and no GUI list has changed.
bool completeSubject(ppiplugin& plugin, bool fromList, const PathText& vtcPath, PathText& voiPath,
                     int& chosenVOI) {
  const std::string vtcName = splitPath(vtcPath.view()).fileName;
  ListText vtcFileList, vtcFileNameList, voiFileList;
  // The lists are extended before any is set, so that they stay in step.
  if (!extendListParameter("VTCFileList", vtcName, vtcFileList) ||
      !extendListParameter("VTCFileNameList", vtcPath.view(), vtcFileNameList) ||
      !chooseVOI(plugin, fromList, voiPath, voiFileList, chosenVOI)) {
    plugin.subjects.pop_back();
    return false;
  }
  host::logLine("Plugin> VTC file: %s", vtcName.c_str());
  host::setStringParameter("VTCFileList", vtcFileList.c_str());
  host::setStringParameter("VTCFileNameList", vtcFileNameList.c_str());
  ++plugin.subjectCount;
  return true;
}

void logAutosaveFailure() {
  host::logLine("Plugin> Could not write %s: it does not hold the current subject list.",
                kAutosaveFileName);
}

bool sameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}

// The subject list as list-file lines: what the autosave list must hold.
std::string subjectListText(const ppiplugin& plugin) {
  std::string text;
  for (std::size_t i = 0; i < plugin.subjects.size() && i < plugin.subjectVOIs.size(); ++i) {
    text += formatListLine(plugin.subjects[i].vtcPath.view(), plugin.subjectVOIs[i].voiPath.view(),
                           plugin.subjectVOIs[i].chosenVOI);
  }
  return text;
}

}  // namespace

void clearSubjectList(ppiplugin& plugin) {
  plugin.subjects.clear();
  plugin.subjectVOIs.clear();
  plugin.savedDesignFiles.clear();
  plugin.subjectCount = 0;
}

void keepAutosaveList(ppiplugin& plugin, std::string_view lines) {
  if (!ownsAutosaveList(plugin.autosaveStream) && lines.empty()) return;
  if (!replaceAutosaveList(plugin.autosaveStream, lines)) logAutosaveFailure();
}

bool handleAddSubject(ppiplugin& plugin, const char*) {
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
  if (host::getIntParameter("whichapproach") == 0 && plugin.subjectCount > 0) {
    if (plugin.subjectCount == 1) host::messageBox(kSecondSubjectNote);
    plugin.saveWeights = true;
  }

  PathText vtcPath, voiPath;
  int chosenVOI = -1;
  if (!chooseTimeCourseAndProtocol(plugin, false, vtcPath)) return true;
  if (!completeSubject(plugin, false, vtcPath, voiPath, chosenVOI)) return true;

  // The new line is appended; the list's first subject, or a line that did
  // not reach the file, rewrites the file whole from the list.
  const std::string line = formatListLine(vtcPath.view(), voiPath.view(), chosenVOI);
  if (!ownsAutosaveList(plugin.autosaveStream) ||
      !appendAutosaveLine(plugin.autosaveStream, line)) {
    keepAutosaveList(plugin, subjectListText(plugin));
  }
  return true;
}

bool handleLoad(ppiplugin& plugin, const char* command) {
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
  clearSubjectList(plugin);

  std::string chosen;
  PathText listPath;
  if (!host::getOpenFileName("Select a PPI file ", ".", "*.ppi", chosen)) {
    host::logText("Plugin> No PPI file loaded. Please retry.");
    keepAutosaveList(plugin, "");
    return false;
  }
  if (!acceptPath(chosen, "PPI", listPath)) {
    keepAutosaveList(plugin, "");
    return false;
  }

  // The whole file is read before the autosave list is rewritten, which may
  // be the very file being loaded.
  std::string text;
  std::vector<ListFileLine> lines;
  if (readWholeFile(listPath.str(), text)) lines = readListFileText(text);
  if (lines.empty()) {
    host::logText("Unable to open the PPI file.");
    keepAutosaveList(plugin, "");
    return true;
  }

  std::vector<std::string> conditionNames;
  int chosenVOI = -1;  // carried to a line whose index cannot be read
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const ListFileLine& line = lines[i];
    if (line.chosenVOI) chosenVOI = *line.chosenVOI;
    host::logLine("\tSubject \t%i\n\t%s\n\t%s\n\t%i", static_cast<int>(i), line.vtcPath.c_str(),
                  line.voiPath.c_str(), chosenVOI);
    PathText vtcPath, voiPath;
    if (!acceptPath(line.vtcPath, "VTC", vtcPath) || !acceptPath(line.voiPath, "VOI", voiPath) ||
        !chooseTimeCourseAndProtocol(plugin, true, vtcPath) ||
        !completeSubject(plugin, true, vtcPath, voiPath, chosenVOI)) {
      continue;
    }
    // Taken now, while this subject's protocol is the host's current one: a
    // later line that fails may leave another protocol behind.
    if (!plugin.saveWeights) {
      conditionNames = currentConditionNames(plugin.subjects.back().protocol.nrOfConditions());
    }
  }
  keepAutosaveList(plugin, subjectListText(plugin));

  // The GUI's conditions are the last accepted subject's; with none accepted
  // they stay as they were.
  if (plugin.subjectCount > 0) {
    host::setIntParameter("NrOfConditions", plugin.subjects.back().protocol.nrOfConditions());
    host::setIntParameter("saveWeights", plugin.saveWeights ? 1 : 0);
    if (!plugin.saveWeights) publishConditionNames(conditionNames);
  }
  return true;
}

bool handleSave(ppiplugin& plugin, const char*) {
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
  const bool ownList = ownsAutosaveList(plugin.autosaveStream);
  std::string lines;
  std::error_code error;
  if (ownList) {
    lines = subjectListText(plugin);
  } else if (!readWholeFile(kAutosaveFileName, lines) &&
             std::filesystem::exists(kAutosaveFileName, error)) {
    host::logLine("PPI Plugin> Could not read %s; the list was not saved.", kAutosaveFileName);
    return false;
  }
  if (sameFile(target.str(), kAutosaveFileName)) {
    if (ownList) keepAutosaveList(plugin, lines);  // it holds the list, now for certain
    return true;
  }
  // The list is written as text; an earlier session's file is copied byte for byte.
  if (!(ownList ? writeListFile(target.str(), lines) : writeWholeFile(target.str(), lines))) {
    host::logLine("PPI Plugin> Could not write %s. Please retry.", target.c_str());
    return false;
  }
  return true;
}

}  // namespace ppi
