#include "commands/choosesubject.h"

#include <string>
#include <vector>

#include "commands/guilists.h"
#include "formats/listfile.h"
#include "host/hostapi.h"

namespace ppi::commands {
namespace {

// Asks for a file to open; fails after the log line when the user cancelled
// (`cancelled`, the line's text after "Plugin> ") or chose a path the plug-in
// cannot hold.
Outcome askForFile(const char* title, const char* filter, const char* what, const char* cancelled,
                   PathText& path) {
  std::string chosen;
  if (!host::getOpenFileName(title, ".", filter, chosen)) {
    return host::logFailure("Plugin> ", "%s", cancelled);
  }
  return acceptPath(chosen, what, path);
}

// The prompt of the VOI question, cut at the end of the message line when the
// regions are many or their names long.
MessageText voiQuestion(int nrOfVOIs) {
  std::string prompt = formatLimited(
      kMessageLimit, nullptr, "Which VOI do you want to use? Enter a number between 0 and %d .\n",
      nrOfVOIs - 1);
  for (int i = 0; i < nrOfVOIs; ++i) {
    host::VOIRecord voi;
    host::getVOI(i, voi);
    prompt += formatLimited(kMessageLimit, nullptr, "%d : %s \n", i, voi.name().c_str());
  }
  MessageText message;
  message.assignCut(prompt);
  return message;
}

bool isIndexOf(int index, int count) { return index >= 0 && index < count; }

}  // namespace

bool currentConditionNames(int nrOfConditions, std::vector<std::string>& names) {
  names.clear();
  for (int i = 0; i < nrOfConditions; ++i) {
    host::ConditionRecord condition;
    if (!host::getProtocolCondition(i, condition)) return false;
    names.push_back(condition.name());
  }
  return true;
}

void publishConditionNames(const std::vector<std::string>& names) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    FixedText<kPathLimit> key;
    key.format("CondName-%d", static_cast<int>(i) + 1);
    host::setStringParameter(key.c_str(), names[i].c_str());
  }
}

Outcome acceptPath(const std::string& text, const char* what, PathText& path) {
  if (path.assign(text)) return {};
  const std::size_t nul = text.find('\0');
  if (nul != std::string::npos) {
    return host::logFailure("Plugin> ", "%s path holding a NUL character refused: %s", what,
                            text.substr(0, nul).c_str());
  }
  return host::logFailure("Plugin> ", "%s path longer than %zu characters refused: %s", what,
                          kPathLimit, text.c_str());
}

Outcome chooseTimeCourseAndProtocol(bool saveWeights, bool fromList, PathText& vtcPath,
                                    model::SubjectRecord& chosen) {
  if (!fromList) {
    if (Outcome asked = askForFile("Select a VTC file ", "*.vtc", "VTC",
                                   "No VTC file loaded. Please retry.", vtcPath);
        !asked.ok()) {
      return asked;
    }
  }
  if (!host::linkVTCToCurrentVMR(vtcPath.c_str())) {
    return host::logFailure("Plugin> ", "Failed to load VTC file. Please retry.");
  }
  model::SubjectRecord subject;
  if (!host::getHeaderOfVTCOfCurrentVMR(subject.header)) {
    return host::logFailure("Plugin> ", "Trouble with VTC file. Please retry.");
  }
  subject.nrOfVolumes = subject.header.nrOfVolumes();

  // The list file names no protocol, so one is asked for whenever the time
  // course comes without one.
  if (subject.header.protocolLinkCount() < 1) {
    PathText protocolPath;
    if (Outcome asked = askForFile("Select a PRT file ", "*.prt", "PRT",
                                   "No PRT file loaded. Please retry.", protocolPath);
        !asked.ok()) {
      return asked;
    }
    host::logLine("Plugin> PRT file: %s", protocolPath.c_str());
    if (!host::loadProtocol(protocolPath.c_str())) {
      return host::logFailure("Plugin> ", "Unable to load PRT file. Please retry.");
    }
    subject.protocolPath = protocolPath;
  }
  if (!host::getProtocol(subject.protocol)) {
    return host::logFailure("Plugin> ", "Trouble with PRT. Please retry.");
  }
  const int nrOfConditions = subject.protocol.nrOfConditions();
  if (!currentConditionNames(nrOfConditions, subject.conditionNames)) {
    return host::logFailure(
        "Plugin> ", "The protocol of %s does not hand out its condition %d of %d. Please retry.",
        vtcPath.c_str(), static_cast<int>(subject.conditionNames.size()) + 1, nrOfConditions);
  }

  // From a list, "Load" publishes the last accepted subject's protocol once the
  // whole file is read: a line that fails later on, at its region, must not
  // leave its conditions in the GUI.
  if (!fromList) {
    host::setIntParameter("NrOfConditions", nrOfConditions);
    host::setIntParameter("saveWeights", saveWeights ? 1 : 0);
    // Once the weights are kept for all subjects, the GUI keeps showing the
    // first protocol's condition names.
    if (!saveWeights) publishConditionNames(subject.conditionNames);
  }

  subject.vtcPath = vtcPath;
  chosen = subject;
  host::logLine("Plugin> Number of volumes in VTC: %i", chosen.nrOfVolumes);
  return {};
}

Outcome chooseVOI(bool fromList, PathText& voiPath, std::string& voiLine, int& chosenVOI,
                  model::SubjectVOIRecord& region) {
  model::SubjectVOIRecord subjectVOI;
  subjectVOI.chosenVOI = -1;
  if (!fromList) {
    if (Outcome asked = askForFile("Select a VOI file ", "*.voi", "VOI",
                                   "No VOI file loaded. Please retry.", voiPath);
        !asked.ok()) {
      return asked;
    }
  }
  if (!host::loadVOIs(voiPath.c_str())) {
    return host::logFailure("Plugin> ", "Could not load VOI file. Please retry.");
  }
  if (!host::getVOIs(subjectVOI.voiSet)) {
    return host::logFailure("Plugin> ", "Trouble with VOI. Please retry.");
  }

  const int nrOfVOIs = subjectVOI.voiSet.nrOfVOIs();
  if (nrOfVOIs > 1 && !fromList) {
    MessageText question = voiQuestion(nrOfVOIs);
    subjectVOI.chosenVOI = host::getIntegerInput(question.c_str(), 0, 0, nrOfVOIs - 1);
  } else if (nrOfVOIs > 1) {
    subjectVOI.chosenVOI = chosenVOI;
  } else if (nrOfVOIs == 1) {
    subjectVOI.chosenVOI = 0;
  }
  // An answer or a stored index that names no region of the file is no choice.
  if (!isIndexOf(subjectVOI.chosenVOI, nrOfVOIs)) {
    return host::logFailure("Plugin> ", "No condition selected. Please retry.");
  }

  host::getVOI(subjectVOI.chosenVOI, subjectVOI.voi);
  const std::string voiName = subjectVOI.voi.name();
  host::logLine("Plugin> VOI selected: %s", voiName.c_str());

  voiLine = splitPath(voiPath.view()).fileName + " - " + voiName;
  chosenVOI = subjectVOI.chosenVOI;
  subjectVOI.voiPath = voiPath;
  region = subjectVOI;
  return {};
}

// Once the time course is settled: settles the region, then publishes the
// subject in the GUI lists and adds it to the list. On false neither the list
// nor any GUI list has changed, and `todo` says what to do about the cause.
Outcome completeSubject(model::PluginState& state, bool fromList,
                        const model::SubjectRecord& timeCourse, PathText& voiPath, int& chosenVOI,
                        std::string& todo) {
  const std::string vtcName = splitPath(timeCourse.vtcPath.view()).fileName;
  model::Subject subject{timeCourse, {}, {}};
  std::string voiLine;
  if (Outcome chosen = chooseVOI(fromList, voiPath, voiLine, chosenVOI, subject.region);
      !chosen.ok()) {
    todo = fromList ? "Check that the region file exists and holds the region index, or correct "
                      "the line."
                    : "Choose a region file (.voi) and one of its regions, and add the subject "
                      "again.";
    return chosen;
  }
  if (!fromList && !model::listCanHoldPath(voiPath.view())) {
    todo = "Rename the region file or its folder and add the subject again.";
    return host::logFailure(
        "Plugin> ", "A list file cannot hold this path (it holds a tab or a line break): %s",
        voiPath.c_str());
  }
  // The lists are extended in step: each is planned before any is set.
  GuiListAppend vtcFileList, vtcFileNameList, voiFileList;
  Outcome planned = vtcFileList.plan("VTCFileList", vtcName);
  if (planned.ok()) planned = vtcFileNameList.plan("VTCFileNameList", timeCourse.vtcPath.view());
  if (planned.ok()) planned = voiFileList.plan("VOIFileList", voiLine);
  if (!planned.ok()) {
    todo = "Give the region a shorter name in its region file, then add the subject again.";
    return planned;
  }
  voiFileList.apply();
  host::logLine("Plugin> VTC file: %s", vtcName.c_str());
  vtcFileList.apply();
  vtcFileNameList.apply();
  state.subjects.add(subject);
  return {};
}

}  // namespace ppi::commands
