#include "analysis/runanalysis.h"

#include <string>
#include <vector>

#include "analysis/designcheck.h"
#include "analysis/designmatrix.h"
#include "analysis/neuralppi.h"
#include "analysis/regiontimecourse.h"
#include "analysis/runrecords.h"
#include "analysis/runreport.h"
#include "analysis/runsettings.h"
#include "analysis/savedesign.h"
#include "common/paths.h"
#include "confounds/mocohandover.h"
#include "host/hostapi.h"

namespace ppi::analysis {
namespace {

using host::HostFunction;

bool requireRunFunctions() {
  return host::requireHostFunctions({
      HostFunction::nkLogText,
      HostFunction::nkGetIntParameter,
      HostFunction::nkGetStringParameter,
      HostFunction::nkSetStringParameter,
      HostFunction::nkSetIntParameter,
      HostFunction::nkGetTextInput,
      HostFunction::nkGetSaveFileName,
      HostFunction::nkGetOpenFileName,
      HostFunction::nkMessageBox,
      HostFunction::nkYesNoMessageBox,
      HostFunction::nkLinkVTCToCurrentVMR,
      HostFunction::nkGetHeaderOfVTCOfCurrentVMR,
      HostFunction::nkLoadVOIs,
      HostFunction::nkGetVOI,
      HostFunction::nkGetVTCIntDataOfCurrentVMR,
      HostFunction::nkGetVTCFloatDataOfCurrentVMR,
      HostFunction::nkLoadProtocol,
      HostFunction::nkGetProtocol,
      HostFunction::nkGetProtocolCondition,
      HostFunction::nkClearDesignMatrix,
      HostFunction::nkAddPredictor,
      HostFunction::nkSetPredictorValuesFromCondition,
      HostFunction::nkApplyTwoGammaHRFToPredictorWithName,
      HostFunction::nkGetPredictorByName,
      HostFunction::nkSaveSingleStudyGLMDesignMatrix,
      HostFunction::nkUpdateActiveWindow,
  });
}

// Settings and run-wide questions, up to and including "mdmFileName".
bool startRun(RunSettings& settings, std::string& vtcList) {
  settings.labelFlag = host::getIntParameter("changePredName") != 0;
  settings.zFlag = host::getIntParameter("zMC");
  settings.mdmMode = host::getIntParameter("saveMDM") != 0;
  settings.motionFlag = host::getIntParameter("addMoCo");
  vtcList = host::getStringParameter("VTCFileList");
  const MethodOptionsRead method = readMethodOptions();
  if (!method.ok) {
    host::logLine("Plugin> %s. Prepare PPI Plugin aborted.", method.why.c_str());
    return false;
  }
  settings.method = method.options;

  if (settings.labelFlag) {
    settings.labelText =
        host::getTextInput("Please specify a string to be added to the predictor name.", "");
    if (settings.labelText.size() > kLabelLimit) {
      host::logLine(
          "Plugin> The label text has %zu characters, more than the %zu that predictor names "
          "allow. Prepare PPI Plugin aborted.",
          settings.labelText.size(), kLabelLimit);
      return false;
    }
  }

  if (settings.mdmMode) {
    std::string chosen;
    if (!host::getSaveFileName("Select a location to store the multistudy file (.*MDM) ",
                               "Multistudy_PPI", "*.mdm", chosen)) {
      host::logText("PPI Plugin> No SDM file name selected. Prepare PPI Plugin aborted.");
      return false;
    }
    if (!settings.mdmPath.assign(chosen)) {
      host::logLine(
          "Plugin> The multi-study path %s is longer than %zu characters. Prepare PPI Plugin "
          "aborted.",
          chosen.c_str(), kPathLimit);
      return false;
    }
  }
  host::setStringParameter("mdmFileName", settings.mdmPath.c_str());
  return true;
}

// The GUI's list must name one time course per subject of the list.
bool listMatchesSubjects(const std::string& vtcList, const model::SubjectList& subjects) {
  if (vtcList.size() > kListLimit) {
    host::logLine(
        "Plugin> \"VTCFileList\" has %zu characters, more than %zu. Prepare PPI Plugin aborted.",
        vtcList.size(), kListLimit);
    return false;
  }
  const std::size_t entries = countListEntries(vtcList);
  if (entries == 0 || entries != subjects.size()) {
    host::messageBox("No files selected.");
    host::logText("Plugin> No files selected, plugin finished.");
    return false;
  }
  if (entries > kMaxListEntries) {
    host::logLine(
        "Plugin> The list holds %zu subjects, more than the %zu a run supports. Prepare PPI "
        "Plugin aborted.",
        entries, kMaxListEntries);
    return false;
  }
  return true;
}

// The time course linked now must be the one the subject was added with: its
// grid and length decide how the host's arrays are read and written.
bool sameTimeCourse(const model::SubjectRecord& subject) {
  host::VTCHeaderRecord now;
  const host::VTCHeaderRecord& then = subject.header;
  const bool same =
      host::getHeaderOfVTCOfCurrentVMR(now) && now.nrOfVolumes() == subject.nrOfVolumes &&
      now.xStart() == then.xStart() && now.xEnd() == then.xEnd() && now.yStart() == then.yStart() &&
      now.yEnd() == then.yEnd() && now.zStart() == then.zStart() && now.zEnd() == then.zEnd() &&
      now.resolution() == then.resolution() && now.dataType() == then.dataType();
  if (!same) {
    host::logLine(
        "Plugin> The VTC file %s is not the one added to the list (its volumes or grid "
        "differ). Prepare PPI Plugin aborted.",
        subject.timeCoursePath().c_str());
  }
  return same;
}

// The subject's protocol back in the host and unchanged: a time course
// without a protocol of its own gets the one chosen for it when it was added
// (the host's current protocol may since be another subject's), and either
// way the protocol must still have the conditions the subject was added with,
// in order. Otherwise its regressors would silently be built from other
// conditions, or from none. `names` gets the conditions' names.
bool checkSubjectProtocol(const model::SubjectRecord& subject, std::size_t number,
                          std::vector<std::string>& names) {
  const std::string vtcPath = subject.timeCoursePath();
  host::ProtocolRecord now;
  if (!subject.protocolPath.empty() &&
      (!host::loadProtocol(subject.protocolPath.c_str()) || !host::getProtocol(now) ||
       now.nrOfConditions() != subject.protocol.nrOfConditions())) {
    host::logLine("Plugin> Could not load the PRT file %s again. Prepare PPI Plugin aborted.",
                  subject.protocolPath.c_str());
    return false;
  }
  const std::string protocol = subject.protocolPath.empty()
                                   ? "the protocol linked to " + vtcPath
                                   : "the PRT file " + subject.protocolPath.str();
  const int recorded = static_cast<int>(subject.conditionNames.size());
  if (!host::getProtocol(now)) {
    host::logLine("Plugin> Subject %zu: the host cannot give %s. Prepare PPI Plugin aborted.",
                  number, protocol.c_str());
    return false;
  }
  if (now.nrOfConditions() != recorded) {
    host::logLine(
        "Plugin> Subject %zu: %s had %d conditions when the subject was added and has %d now. "
        "Prepare PPI Plugin aborted.",
        number, protocol.c_str(), recorded, now.nrOfConditions());
    return false;
  }
  names.clear();
  for (int c = 0; c < recorded; ++c) {
    host::ConditionRecord condition;
    if (!host::getProtocolCondition(c, condition)) {
      host::logLine(
          "Plugin> Subject %zu: the host does not hand out condition %d of %s. Prepare PPI "
          "Plugin aborted.",
          number, c + 1, protocol.c_str());
      return false;
    }
    names.push_back(condition.name());
    const std::string& then = subject.conditionNames[static_cast<std::size_t>(c)];
    if (names.back() != then) {
      host::logLine(
          "Plugin> Subject %zu: condition %d of %s was \"%s\" when the subject was added and is "
          "\"%s\" now. Prepare PPI Plugin aborted.",
          number, c + 1, protocol.c_str(), then.c_str(), names.back().c_str());
      return false;
    }
  }
  return true;
}

// The paths the run has saved to, and those that stand for its subjects.
struct RunOutputs {
  std::vector<PathText> savedThisRun;
  std::vector<PathText>& savedDesignFiles;
  RunRecorder& records;
  Report& report;
  GroupDesign group;  // the first subject's predictors
};

// The per-subject step: the subject's time course, protocol and region back in
// the host, its region signal, its design matrix assembled, saved, merged with
// the motion predictors when asked, and recorded.
bool runSubject(const model::Subject& subject, std::size_t number, const RunSettings& settings,
                RunOutputs& outputs) {
  const model::SubjectRecord& timeCourse = subject.timeCourse;
  // The host's records hold shorter paths than the plug-in accepts: the files
  // are opened by the paths kept for the subject.
  const std::string vtcPath = timeCourse.timeCoursePath();
  if (!host::linkVTCToCurrentVMR(timeCourse.vtcPath.c_str())) {
    host::logText("Plugin> failed to load VTC file, Prepare PPI Plugin aborted");
    return false;
  }
  std::vector<std::string> conditionNames;
  if (!sameTimeCourse(timeCourse) || !checkSubjectProtocol(timeCourse, number, conditionNames)) {
    return false;
  }
  host::logLine("Plugin> Running analysis for: %s", vtcPath.c_str());
  outputs.records.beginSubject(subject);
  if (!host::loadVOIs(subject.region.voiPath.c_str())) {
    host::logText("Plugin> Could not load VOI file. Prepare PPI Plugin aborted.");
    return false;
  }
  host::logLine("Plugin> Number of volumes in VTC: %i", timeCourse.nrOfVolumes);

  RegionTimeCourse region;
  if (!computeRegionTimeCourse(subject, region, settings.method.eigenvariate())) return false;
  outputs.records.noteRegion(region);
  reportVoxelsOutside(region.voxelsListed - region.voxelsInside, region.voxelsListed,
                      region.voiName, timeCourse, number, outputs.report);
  InteractionInputs interaction;
  if (!prepareInteraction(settings.method, region.values, vtcPath.c_str(), interaction)) {
    return false;
  }
  outputs.records.noteDeconvolution(interaction.deconvolution, interaction.neural,
                                    interaction.reconvolved);
  reportDeconvolution(interaction.deconvolution, timeCourse, number, outputs.report);

  host::clearDesignMatrix();
  const SubjectSettings subjectSettings = readSubjectSettings(std::move(conditionNames));
  const std::string& label = settings.labelFlag ? settings.labelText : region.voiName;
  if (!checkPredictorNames(subjectSettings, label, timeCourse, number, outputs.report)) {
    return false;
  }
  reportContrastWarnings(subjectSettings, timeCourse, number, outputs.report);
  PredictorNames predictors;
  if (!assembleDesignMatrix(subjectSettings, label, region, interaction, predictors)) return false;
  if (!checkGroupDesign(predictors, settings.mdmMode, timeCourse, number, outputs.group,
                        outputs.report)) {
    return false;
  }
  outputs.records.noteDesign(subjectSettings, predictors);

  const SplitPath vtc = splitPath(vtcPath);
  DefaultNameText defaultName;
  if (!defaultDesignName(vtc, subject.region, subjectSettings, settings, defaultName)) {
    return false;
  }
  PathText savedPath;
  const ExpectedDesign expected{predictors.size(), timeCourse.nrOfVolumes};
  if (!saveDesignMatrix(settings, defaultName, outputs.savedThisRun, expected, savedPath)) {
    return false;
  }
  outputs.savedThisRun.push_back(savedPath);
  outputs.records.recordSaved(savedPath);

  // With the motion flag at 1 the merged design matrix stands for the subject
  // from here on: its path replaces the saved one.
  std::string motionPath;
  if (settings.motionFlag == 1) {
    if (!confounds::handOverMoCo(savedPath, vtc.directory, settings.zFlag, &motionPath,
                                 &outputs.report, subjectWhere(number, timeCourse))) {
      return false;
    }
    outputs.records.recordMerged(savedPath, motionPath);
  }
  // A merged file is this run's too: no later subject may be saved over it.
  if (!savedBefore(savedPath, outputs.savedThisRun)) outputs.savedThisRun.push_back(savedPath);

  host::logLine("Plugin> Design matrix saved as: ./%s",
                splitPath(savedPath.view()).fileName.c_str());
  outputs.savedDesignFiles.push_back(savedPath);
  host::updateActiveWindow();
  host::logText("Plugin> Construction of PPI regressors finished.");
  host::logText(" ");
  return true;
}

// "SDMFileList" and "nr_subs", after the last subject.
bool publishResults(const model::PluginState& state) {
  ListText list;
  for (const PathText& path : state.savedDesignFiles) {
    if (!appendLine(path.view(), list)) {
      host::logLine(
          "Plugin> The saved design matrices do not fit into the %zu characters of "
          "\"SDMFileList\"; the list is not published.",
          kListLimit);
      return false;
    }
  }
  host::setStringParameter("SDMFileList", list.c_str());
  host::setIntParameter("nr_subs", state.subjectCount());
  return true;
}

}  // namespace

bool runAnalysis(model::PluginState& state) {
  if (!requireRunFunctions()) return false;

  RunSettings settings;
  std::string vtcList;
  if (!startRun(settings, vtcList) || !listMatchesSubjects(vtcList, state.subjects)) {
    summarizeRun(state, 0);
    return false;
  }

  const std::size_t count = state.subjects.size();
  if (count > 1) {
    MessageText question;
    question.format(
        "Multiple files detected (%d). Preparations will be run for each file. Continue?",
        state.subjectCount());
    if (!host::askYesNo(question.c_str())) {
      host::logText("Plugin> Prepare PPI Plugin aborted");
      summarizeRun(state, 0);
      state.report.note({}, "The run was cancelled at the question.");
      return false;
    }
  }
  host::logLine("Plugin> %i files found in list.\n", static_cast<int>(count));

  state.savedDesignFiles.clear();
  RunRecorder records(state, settings);
  RunOutputs outputs{{}, state.savedDesignFiles, records, state.report, {}};
  for (std::size_t i = 0; i < count; ++i) {
    if (!runSubject(state.subjects[i], i + 1, settings, outputs)) {
      reportSubjectStopped(state, i + 1);
      records.finishRun(i + 1);
      summarizeRun(state, state.savedDesignFiles.size());
      return false;
    }
  }
  const bool published = publishResults(state);
  records.finishRun(0);
  summarizeRun(state, state.savedDesignFiles.size());
  return published;
}

}  // namespace ppi::analysis
