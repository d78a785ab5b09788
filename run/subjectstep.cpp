#include "run/subjectstep.h"

#include <string>
#include <utility>
#include <vector>

#include "common/paths.h"
#include "host/hostapi.h"
#include "design/designcheck.h"
#include "design/plan.h"
#include "numerics/designstats.h"
#include "run/designmatrix.h"
#include "run/mocohandover.h"
#include "run/neuralppi.h"
#include "run/readsettings.h"
#include "run/regiontimecourse.h"
#include "run/savedesign.h"

namespace ppi::analysis {
namespace {

// The time course linked now must be the one the subject was added with: its
// grid and length decide how the host's arrays are read and written.
Outcome sameTimeCourse(const model::SubjectRecord& subject) {
  host::VTCHeaderRecord now;
  const host::VTCHeaderRecord& then = subject.header;
  const bool same =
      host::getHeaderOfVTCOfCurrentVMR(now) && now.nrOfVolumes() == subject.nrOfVolumes &&
      now.xStart() == then.xStart() && now.xEnd() == then.xEnd() && now.yStart() == then.yStart() &&
      now.yEnd() == then.yEnd() && now.zStart() == then.zStart() && now.zEnd() == then.zEnd() &&
      now.resolution() == then.resolution() && now.dataType() == then.dataType();
  if (!same) {
    return host::logFailure("Plugin> ",
                            "The VTC file %s is not the one added to the list (its volumes or "
                            "grid differ). Prepare PPI Plugin aborted.",
                            subject.timeCoursePath().c_str());
  }
  return {};
}

// The subject's protocol back in the host and unchanged: a time course
// without a protocol of its own gets the one chosen for it when it was added
// (the host's current protocol may since be another subject's), and either
// way the protocol must still have the conditions the subject was added with,
// in order. Otherwise its regressors would silently be built from other
// conditions, or from none. `names` gets the conditions' names.
Outcome checkSubjectProtocol(const model::SubjectRecord& subject, std::size_t number,
                             std::vector<std::string>& names) {
  const std::string vtcPath = subject.timeCoursePath();
  host::ProtocolRecord now;
  if (!subject.protocolPath.empty() &&
      (!host::loadProtocol(subject.protocolPath.c_str()) || !host::getProtocol(now) ||
       now.nrOfConditions() != subject.protocol.nrOfConditions())) {
    return host::logFailure("Plugin> ",
                            "Could not load the PRT file %s again. Prepare PPI Plugin aborted.",
                            subject.protocolPath.c_str());
  }
  const std::string protocol = subject.protocolPath.empty()
                                   ? "the protocol linked to " + vtcPath
                                   : "the PRT file " + subject.protocolPath.str();
  const int recorded = static_cast<int>(subject.conditionNames.size());
  if (!host::getProtocol(now)) {
    return host::logFailure("Plugin> ",
                            "Subject %zu: the host cannot give %s. Prepare PPI Plugin aborted.",
                            number, protocol.c_str());
  }
  if (now.nrOfConditions() != recorded) {
    return host::logFailure(
        "Plugin> ",
        "Subject %zu: %s had %d conditions when the subject was added and has %d now. "
        "Prepare PPI Plugin aborted.",
        number, protocol.c_str(), recorded, now.nrOfConditions());
  }
  names.clear();
  for (int c = 0; c < recorded; ++c) {
    host::ConditionRecord condition;
    if (!host::getProtocolCondition(c, condition)) {
      return host::logFailure(
          "Plugin> ",
          "Subject %zu: the host does not hand out condition %d of %s. Prepare PPI "
          "Plugin aborted.",
          number, c + 1, protocol.c_str());
    }
    names.push_back(condition.name());
    const std::string& then = subject.conditionNames[static_cast<std::size_t>(c)];
    if (names.back() != then) {
      return host::logFailure(
          "Plugin> ",
          "Subject %zu: condition %d of %s was \"%s\" when the subject was added and is "
          "\"%s\" now. Prepare PPI Plugin aborted.",
          number, c + 1, protocol.c_str(), then.c_str(), names.back().c_str());
    }
  }
  return {};
}

// The assembled design's predictors read back from the host, with the roles
// the plan gives them.
std::vector<Predictor> hostPredictors(const DesignPlan& plan, const PredictorNames& names,
                                      std::int32_t volumes) {
  const std::vector<PredictorRole> roles = plan.rolesOf(names);
  std::vector<Predictor> predictors;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const float* values = host::getPredictorByName(names[i].c_str());
    predictors.push_back(
        {names[i],
         values == nullptr ? std::vector<float>()
                           : std::vector<float>(values, values + static_cast<std::size_t>(volumes)),
         roles[i]});
  }
  return predictors;
}

}  // namespace

Result<SubjectOutcome> runSubject(const model::Subject& subject, std::size_t number,
                                  const RunSettings& settings, RunOutputs& outputs) {
  const model::SubjectRecord& timeCourse = subject.timeCourse;
  // The host's records hold shorter paths than the plug-in accepts: the files
  // are opened by the paths kept for the subject.
  const std::string vtcPath = timeCourse.timeCoursePath();
  if (!host::linkVTCToCurrentVMR(timeCourse.vtcPath.c_str())) {
    return host::logFailure("Plugin> ", "failed to load VTC file, Prepare PPI Plugin aborted");
  }
  if (Outcome same = sameTimeCourse(timeCourse); !same.ok()) return same.failure();
  std::vector<std::string> conditionNames;
  if (Outcome protocol = checkSubjectProtocol(timeCourse, number, conditionNames); !protocol.ok()) {
    return protocol.failure();
  }
  host::logLine("Plugin> Running analysis for: %s", vtcPath.c_str());
  outputs.records.beginSubject(subject);
  if (!host::loadVOIs(subject.region.voiPath.c_str())) {
    return host::logFailure("Plugin> ", "Could not load VOI file. Prepare PPI Plugin aborted.");
  }
  host::logLine("Plugin> Number of volumes in VTC: %i", timeCourse.nrOfVolumes);

  RegionTimeCourse region;
  if (Outcome signal = computeRegionTimeCourse(subject, region, settings.method.eigenvariate());
      !signal.ok()) {
    return signal.failure();
  }
  outputs.records.noteRegion(region);
  reportVoxelsOutside(region.voxelsListed - region.voxelsInside, region.voxelsListed,
                      region.voiName, timeCourse, number, outputs.report);
  InteractionInputs interaction;
  if (Outcome prepared =
          prepareInteraction(settings.method, region.values, vtcPath.c_str(), interaction);
      !prepared.ok()) {
    return prepared.failure();
  }
  outputs.records.noteDeconvolution(interaction.deconvolution, interaction.neural,
                                    interaction.reconvolved);
  reportDeconvolution(interaction.deconvolution, timeCourse, number, outputs.report);

  host::clearDesignMatrix();
  SubjectSettings subjectSettings = readSubjectSettings(std::move(conditionNames));
  subjectSettings.modelledConditions = settings.modelledConditions;
  if (outputs.set != nullptr) outputs.set->noteSettings(settingsRecord(settings, subjectSettings));
  const std::string& label = settings.labelFlag ? settings.labelText : region.voiName;
  const DesignPlan plan = planDesign(subjectSettings, label);
  if (Outcome names = checkPredictorNames(plan, timeCourse, number, outputs.report); !names.ok()) {
    return names.failure();
  }
  std::vector<Finding> findings;
  CheckInput checks{plan, checkPlace(number, timeCourse)};
  runDesignChecks(CheckStage::plan, checks, findings);
  reportFindings(findings, 0, outputs.report);
  PredictorNames predictors;
  if (Outcome built =
          assembleDesignMatrix(plan, region, interaction, predictors, outputs.records.boxCars());
      !built.ok()) {
    return built.failure();
  }
  outputs.records.noteFactorCentre(interaction.deconvolution.factorCentre);
  if (Outcome group = checkGroupDesign(predictors, settings.mdmMode, timeCourse, number,
                                       outputs.group, outputs.report);
      !group.ok()) {
    return group.failure();
  }
  if (settings.labelFlag) {
    const std::size_t before = findings.size();
    checkGroupSeed(region.voiName, subject.region.regionFilePath(), settings.mdmMode, timeCourse,
                   number, outputs.group, findings);
    reportFindings(findings, before, outputs.report);
  }
  // The design as the host holds it, checked before it is saved.
  const std::vector<Predictor> values = hostPredictors(plan, predictors, timeCourse.nrOfVolumes);
  // Without records and report the checks need no correlations.
  const DesignStats stats = computeDesignStats(
      values, outputs.records.active() ? StatsScope::records : StatsScope::checks);
  checks.predictors = &values;
  checks.stats = &stats;
  const std::size_t planFindings = findings.size();
  runDesignChecks(CheckStage::values, checks, findings);
  reportFindings(findings, planFindings, outputs.report);
  outputs.records.noteDesign(subjectSettings, plan, values, stats);
  if (hasError(findings) && settings.mdmMode) {
    // Nothing with an error is saved beside the multi-study file.
    host::logLine("Plugin> Subject %zu (%s): the design matrix is not saved.", number,
                  vtcPath.c_str());
    outputs.records.recordNotSaved();
    host::logText(" ");
    return SubjectOutcome::failed;
  }

  const SplitPath vtc = splitPath(vtcPath);
  DefaultNameText defaultName;
  if (Outcome named =
          defaultDesignName(vtc, subject.region, subjectSettings, settings, defaultName);
      !named.ok()) {
    return named.failure();
  }
  PathText savedPath;
  const ExpectedDesign expected{predictors.size(), timeCourse.nrOfVolumes, &values};
  if (Outcome saved = saveDesignMatrix(settings, defaultName, outputs.savedThisRun, expected,
                                       savedPath, outputs.set);
      !saved.ok()) {
    return saved.failure();
  }
  outputs.savedThisRun.push_back(savedPath);
  if (outputs.set != nullptr) outputs.set->noteFile(number, "design", savedPath.str());
  outputs.records.recordSaved(savedPath);

  // With the motion flag at 1 the merged design matrix stands for the subject
  // from here on: its path replaces the saved one.
  std::string motionPath;
  if (settings.motionFlag == 1) {
    numerics::MotionSummary motion;
    std::uint64_t samples = 0;
    const std::string where = subjectWhere(number, timeCourse);
    if (Outcome merged = confounds::handOverMoCo(
            savedPath, vtc.directory, settings.zFlag, &motionPath, &outputs.report, where,
            settings.motionModel, &motion, subject.motionPath.str(), &samples);
        !merged.ok()) {
      return merged.failure();
    }
    // Another subject's motion estimates, under whatever name, would model
    // this subject's head motion with someone else's.
    const auto [first, own] = outputs.motionSamples.insert(
        {samples, RunOutputs::MotionOwner{number, where, motionPath}});
    if (!own) {
      findings.push_back(
          {Severity::error, where,
           "The motion-estimates file " + motionPath + " holds the same motion samples as " +
               first->second.path + " of " + first->second.where + ".",
           "Give each subject the motion-estimates file of its own run.", "motion-shared"});
      reportFindings(findings, findings.size() - 1, outputs.report);
    }
    reportMotion(motion, settings.motionModel, timeCourse, number, outputs.report);
    outputs.records.recordMerged(savedPath, motionPath, &motion);
    if (outputs.set != nullptr) outputs.set->noteFile(number, "merged design", savedPath.str());
  }
  // A merged file is this run's too: no later subject may be saved over it.
  if (!savedBefore(savedPath, outputs.savedThisRun)) outputs.savedThisRun.push_back(savedPath);

  host::logLine("Plugin> Design matrix saved as: ./%s",
                splitPath(savedPath.view()).fileName.c_str());
  const bool failed = hasError(findings);
  // A design with an error is saved in dialog mode, as the user asked, but it
  // does not stand for the subject in the run's list.
  if (failed) {
    ++outputs.savedNotListed;
  } else {
    outputs.savedDesignFiles.push_back(savedPath);
  }
  host::updateActiveWindow();
  host::logText("Plugin> Construction of PPI regressors finished.");
  host::logText(" ");
  return failed ? SubjectOutcome::failed : SubjectOutcome::listed;
}

}  // namespace ppi::analysis
