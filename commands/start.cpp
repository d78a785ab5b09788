#include "commands/handlers.h"

#include <ctime>
#include <string>
#include <vector>

#include "commands/guilists.h"
#include "common/paths.h"
#include "design/runsettings.h"
#include "host/hostapi.h"
#include "run/readsettings.h"
#include "run/runrecords.h"
#include "run/runreport.h"
#include "run/runset.h"
#include "run/savedesign.h"
#include "run/subjectstep.h"

namespace ppi::commands {
namespace {

using analysis::kLabelLimit;
using analysis::readMethodOptions;
using analysis::reportSubjectStopped;
using analysis::RunOutputs;
using analysis::RunRecorder;
using analysis::RunSet;
using analysis::RunSettings;
using analysis::runSubject;
using analysis::summarizeRun;
using host::HostFunction;

Outcome requireRunFunctions() {
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
Outcome startRun(RunSettings& settings, std::string& vtcList) {
  settings.labelFlag = host::getIntParameter("changePredName") != 0;
  settings.zFlag = host::getIntParameter("zMC");
  settings.mdmMode = host::getIntParameter("saveMDM") != 0;
  settings.motionFlag = host::getIntParameter("addMoCo");
  vtcList = readGuiList("VTCFileList");
  const Result<analysis::MethodOptions> method = readMethodOptions();
  if (!method.ok()) {
    return host::logFailure("Plugin> ", "%s. Prepare PPI Plugin aborted.", method.reason().c_str());
  }
  settings.method = method.value();
  // Read once per run, like the method options; unset keeps the "baseline" rule.
  settings.modelledConditions =
      analysis::tabSeparatedNames(host::getStringParameter("gPPIConditions"));
  if (settings.motionFlag == 1) {
    const Result<confounds::MotionModel> model = confounds::parseMotionModel(
        host::getIntParameter("moCoModel"), host::getStringParameter("censorFD"),
        host::getStringParameter("censorMaxPercent"), host::getStringParameter("maxMeanFD"));
    if (!model.ok()) {
      return host::logFailure("Plugin> ", "%s. Prepare PPI Plugin aborted.",
                              model.reason().c_str());
    }
    settings.motionModel = model.value();
  }

  if (settings.labelFlag) {
    settings.labelText =
        host::getTextInput("Please specify a string to be added to the predictor name.", "");
    if (settings.labelText.size() > kLabelLimit) {
      return host::logFailure(
          "Plugin> ",
          "The label text has %zu characters, more than the %zu that predictor names "
          "allow. Prepare PPI Plugin aborted.",
          settings.labelText.size(), kLabelLimit);
    }
  }

  if (settings.mdmMode) {
    std::string chosen;
    if (!host::getSaveFileName("Select a location to store the multistudy file (.*MDM) ",
                               "Multistudy_PPI", "*.mdm", chosen)) {
      return host::logFailure("PPI Plugin> ",
                              "No SDM file name selected. Prepare PPI Plugin aborted.");
    }
    if (!settings.mdmPath.assign(chosen)) {
      return host::logFailure(
          "Plugin> ",
          "The multi-study path %s is longer than %zu characters. Prepare PPI Plugin "
          "aborted.",
          chosen.c_str(), kPathLimit);
    }
  }
  host::setStringParameter("mdmFileName", settings.mdmPath.c_str());
  return {};
}

// The GUI's list must name one time course per subject of the list.
// The dialog learns which of the two it was: no subject, or lists out of step.
Outcome listMatchesSubjects(const std::string& vtcList, const model::SubjectList& subjects,
                            Report& report) {
  const std::size_t entries = countListEntries(vtcList);
  if (entries == 0 || entries != subjects.size()) {
    host::messageBox("No files selected.");
    const Failure failure = host::logFailure("Plugin> ", "No files selected, plugin finished.");
    if (subjects.empty()) {
      report.error({}, "The subject list is empty.",
                   "Add subjects or load a list file, then start.");
    } else {
      report.error("\"VTCFileList\"",
                   "the dialog lists " + counted(entries, "time course") + ", the plug-in's list " +
                       counted(subjects.size(), "subject") + ".",
                   "Clear, add or load the subjects again, then start.");
    }
    return failure;
  }
  return {};
}

// "SDMFileList" and "nr_subs", after the last subject.
Outcome publishResults(model::PluginState& state) {
  std::string list;
  std::vector<PathText> seen;
  for (const PathText& path : state.savedDesignFiles) {
    // One file standing for two subjects would enter a group analysis twice.
    if (analysis::savedBefore(path, seen)) {
      const Failure failure = host::logFailure(
          "Plugin> ", "%s stands for two subjects; \"SDMFileList\" is not published.",
          path.c_str());
      state.report.error(path.str(), "stands for two subjects of the run.",
                         "Save each subject's design matrix under a name of its own.");
      return failure;
    }
    seen.push_back(path);
    if (!list.empty()) list += '\n';
    list += path.view();
  }
  // Paths are far shorter than a part, so the list is always published.
  if (!publishGuiList("SDMFileList", list)) {
    return host::logFailure(
        "Plugin> ",
        "A saved design matrix's path is longer than the %zu characters of a part of "
        "\"SDMFileList\"; the list is not published.",
        kListLimit);
  }
  host::setIntParameter("nr_subs", state.subjectCount());
  return {};
}

// The run's end, completed or stopped: the report, then the manifest that
// lists it, then the locks go. `completed`: every subject processed and the
// list published; `stopReason`: why subject `stoppedAt` stopped the run.
void finishRun(model::PluginState& state, const RunSettings& settings, RunRecorder& records,
               RunSet& set, std::size_t stoppedAt, const std::vector<std::string>& notListed,
               bool completed, const std::string& stopReason = {}) {
  std::string folder;
  const bool aside = !set.resultsFolder(folder) || set.setAsideEarlierRun(folder).ok();
  records.finishRun(stoppedAt, notListed, stopReason);
  std::string manifest;
  if (aside) {
    analysis::RunManifestInput input;
    input.plugin = analysis::runningPlugin();
    input.endedUtc = static_cast<std::int64_t>(std::time(nullptr));
    input.completed = completed;
    input.stoppedAtSubject = stoppedAt;
    input.subjects = state.subjects.size();
    input.settings = analysis::settingsRecord(settings, analysis::SubjectSettings());
    if (completed) {
      for (const PathText& path : state.savedDesignFiles) input.listed.push_back(path.str());
    }
    input.notListed = notListed;
    manifest = set.writeManifest(std::move(input), records.reportPath(), records.reportPages());
  }
  host::setStringParameter("PPIRunManifest", manifest.c_str());
  set.release();
}

}  // namespace

Outcome handleStart(model::PluginState& state) {
  if (Outcome offered = requireRunFunctions(); !offered.ok()) return offered;

  RunSettings settings;
  std::string vtcList;
  Outcome started = startRun(settings, vtcList);
  if (started.ok()) started = listMatchesSubjects(vtcList, state.subjects, state.report);
  if (!started.ok()) {
    summarizeRun(state, 0);
    return started;
  }

  const std::size_t count = state.subjects.size();
  // One run at a time in a results folder: in multi-study mode the folder is
  // known now; in dialog mode each folder is taken as its first design is saved.
  RunSet set(state.report, static_cast<std::int64_t>(std::time(nullptr)), settings.mdmPath.str());
  if (settings.mdmMode) {
    if (Outcome held = set.holdFolder(analysis::folderOf(settings.mdmPath.view())); !held.ok()) {
      summarizeRun(state, 0);
      return held;
    }
  }
  if (count > 1) {
    MessageText question;
    question.format(
        "Multiple files detected (%d). Preparations will be run for each file. Continue?",
        state.subjectCount());
    if (!host::askYesNo(question.c_str())) {
      const Failure cancelled = host::logFailure("Plugin> ", "Prepare PPI Plugin aborted");
      summarizeRun(state, 0);
      state.report.note({}, "The run was cancelled at the question.");
      return cancelled;
    }
  }
  host::logLine("Plugin> %i files found in list.\n", static_cast<int>(count));

  state.savedDesignFiles.clear();
  RunRecorder records(state, settings);
  RunOutputs outputs{{}, state.savedDesignFiles, records, state.report, {}, 0, &set, {}};
  // Subjects whose design has an error: the run goes on with the others, but
  // publishes no list, so that no group file is built without them.
  std::vector<std::string> notListed;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t errorsBefore = state.report.count(Report::Kind::error);
    const Result<analysis::SubjectOutcome> outcome =
        runSubject(state.subjects[i], i + 1, settings, outputs);
    if (!outcome.ok()) {
      reportSubjectStopped(state, i + 1, errorsBefore, outcome.reason());
      finishRun(state, settings, records, set, i + 1, notListed, false, outcome.reason());
      summarizeRun(state, state.savedDesignFiles.size() + outputs.savedNotListed, notListed);
      return outcome.failure();
    }
    if (outcome.value() == analysis::SubjectOutcome::failed) {
      notListed.push_back(analysis::subjectWhere(i + 1, state.subjects[i].timeCourse));
    }
  }
  Outcome published;
  if (!notListed.empty()) {
    published = host::logFailure(
        "Plugin> ",
        "%zu of %zu subjects have a design with an error; \"SDMFileList\" is not published.",
        notListed.size(), count);
  } else {
    published = publishResults(state);
  }
  finishRun(state, settings, records, set, 0, notListed, published.ok());
  summarizeRun(state, state.savedDesignFiles.size() + outputs.savedNotListed, notListed);
  return published;
}

}  // namespace ppi::commands
