#include "analysis/runanalysis.h"

#include <string>
#include <vector>

#include "analysis/designmatrix.h"
#include "analysis/regiontimecourse.h"
#include "analysis/runsettings.h"
#include "commands/paths.h"
#include "host/hostapi.h"
#include "plugin/ppiplugin.h"

namespace ppi {
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
bool listMatchesSubjects(const std::string& vtcList, const ppiplugin& plugin) {
  if (vtcList.size() > kListLimit) {
    host::logLine(
        "Plugin> \"VTCFileList\" has %zu characters, more than %zu. Prepare PPI Plugin aborted.",
        vtcList.size(), kListLimit);
    return false;
  }
  const std::size_t entries = countListEntries(vtcList);
  if (entries == 0 || entries != static_cast<std::size_t>(plugin.subjectCount) ||
      plugin.subjects.size() != entries || plugin.subjectVOIs.size() != entries) {
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
bool sameTimeCourse(const SubjectRecord& subject) {
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
        then.vtcPath().c_str());
  }
  return same;
}

// A time course without a protocol of its own gets the one chosen for it when
// it was added: the host's current protocol may since be another subject's,
// and its conditions would silently give this subject's regressors.
bool restoreSubjectProtocol(const SubjectRecord& subject) {
  if (subject.protocolPath.empty()) return true;
  host::ProtocolRecord now;
  if (!host::loadProtocol(subject.protocolPath.c_str()) || !host::getProtocol(now) ||
      now.nrOfConditions() != subject.protocol.nrOfConditions()) {
    host::logLine("Plugin> Could not load the PRT file %s again. Prepare PPI Plugin aborted.",
                  subject.protocolPath.c_str());
    return false;
  }
  return true;
}

bool runSubject(const SubjectRecord& subject, const SubjectVOIRecord& subjectVOI,
                const RunSettings& settings, std::vector<PathText>& savedThisRun,
                std::vector<PathText>& savedDesignFiles) {
  const std::string vtcPath = subject.header.vtcPath();
  if (!host::linkVTCToCurrentVMR(vtcPath.c_str())) {
    host::logText("Plugin> failed to load VTC file, Prepare PPI Plugin aborted");
    return false;
  }
  if (!sameTimeCourse(subject) || !restoreSubjectProtocol(subject)) return false;
  host::logLine("Plugin> Running analysis for: %s", vtcPath.c_str());
  if (!host::loadVOIs(subjectVOI.voiSet.voiPath().c_str())) {
    host::logText("Plugin> Could not load VOI file. Prepare PPI Plugin aborted.");
    return false;
  }
  host::logLine("Plugin> Number of volumes in VTC: %i", subject.nrOfVolumes);

  RegionTimeCourse region;
  if (!computeRegionTimeCourse(subject, subjectVOI, region)) return false;
  return assembleAndSaveDesignMatrix(subject, subjectVOI, region, settings, savedThisRun,
                                     savedDesignFiles);
}

// "SDMFileList" and "nr_subs", after the last subject.
bool publishResults(const ppiplugin& plugin) {
  ListText list;
  for (const PathText& path : plugin.savedDesignFiles) {
    if (!appendLine(path.view(), list)) {
      host::logLine(
          "Plugin> The saved design matrices do not fit into the %zu characters of "
          "\"SDMFileList\"; the list is not published.",
          kListLimit);
      return false;
    }
  }
  host::setStringParameter("SDMFileList", list.c_str());
  host::setIntParameter("nr_subs", plugin.subjectCount);
  return true;
}

}  // namespace

std::size_t countListEntries(std::string_view list) {
  if (list.empty()) return 0;
  std::size_t separators = 0;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i] == '\n') {
      ++separators;
      ++i;  // the next character opens the new entry, whatever it is
    }
  }
  return separators + (list.size() > 2 ? 1 : 0);
}

bool runAnalysis(ppiplugin& plugin) {
  if (!requireRunFunctions()) return false;

  RunSettings settings;
  std::string vtcList;
  if (!startRun(settings, vtcList)) return false;
  if (!listMatchesSubjects(vtcList, plugin)) return false;

  const std::size_t count = plugin.subjects.size();
  if (count > 1) {
    MessageText question;
    question.format(
        "Multiple files detected (%d). Preparations will be run for each file. Continue?",
        plugin.subjectCount);
    if (!host::askYesNo(question.c_str())) {
      host::logText("Plugin> Prepare PPI Plugin aborted");
      return false;
    }
  }
  host::logLine("Plugin> %i files found in list.\n", static_cast<int>(count));

  plugin.savedDesignFiles.clear();
  std::vector<PathText> savedThisRun;
  for (std::size_t i = 0; i < count; ++i) {
    if (!runSubject(plugin.subjects[i], plugin.subjectVOIs[i], settings, savedThisRun,
                    plugin.savedDesignFiles)) {
      return false;
    }
  }
  return publishResults(plugin);
}

}  // namespace ppi
