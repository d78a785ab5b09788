#include "run/mocohandover.h"

#include <string>

#include "common/filelayer.h"
#include "formats/mocomerge.h"
#include "formats/mocosdm.h"
#include "host/hostapi.h"
#include "run/motionconfounds.h"

namespace ppi::confounds {
namespace {

constexpr const char* kNotAdded =
    "PPI Plugin> Motion correction predictors could not be added. Prepare PPI Plugin aborted.";

// The longest suffix the merge may give the saved path.
std::size_t longestSuffix(std::int32_t zFlag, const MotionModel& model) {
  if (!model.isDefault()) return longestMergeSuffix(model);
  return zFlag != 0 ? kMoCoZSuffix.size() : kMoCoSuffix.size();
}

}  // namespace

bool handOverMoCo(PathText& savedPath, const std::string& vtcFolder, std::int32_t zFlag,
                  std::string* chosenMotionPath, Report* report, const std::string& where,
                  const MotionModel& model, numerics::MotionSummary* motion) {
  if (!host::requireHostFunctions({host::HostFunction::nkGetOpenFileName})) return false;
  // The merged file's path stands for the subject from here on: refuse before
  // asking when it could not be kept.
  if (savedPath.size() + longestSuffix(zFlag, model) > kPathLimit) {
    host::logLine(
        "PPI Plugin> The merged design matrix path would be longer than %zu characters. Prepare "
        "PPI Plugin aborted.",
        kPathLimit);
    return false;
  }

  std::string motionPath;
  if (!host::getOpenFileName("Select motion correction sdm file to read (.*SDM) ",
                             vtcFolder.c_str(), "SDM file (*3DMC*.sdm)", motionPath)) {
    host::logText("PPI Plugin> No SDM file name selected. Prepare PPI Plugin aborted.");
    return false;
  }
  if (motionPath.size() > kMotionPathLimit) {
    host::logLine(
        "PPI Plugin> The motion correction file path is longer than %zu characters. Prepare PPI "
        "Plugin aborted.",
        kMotionPathLimit);
    return false;
  }
  host::logLine("Plugin> MoCoSDM selected is: \"%s\".", motionPath.c_str());
  if (chosenMotionPath != nullptr) *chosenMotionPath = motionPath;
  host::logLine("Plugin> Original sdm selected is: \"%s\".", savedPath.c_str());

  host::HostLog log;
  MoCoSDM moco = readMoCoSDM(motionPath, log);
  if (!moco.valid) {
    host::logText(kNotAdded);
    return false;
  }
  // The expansion and the displacement are those of the estimates as read.
  MotionSummary summary;
  AddedColumns added;
  if (moco.valid) added = expandMotion(moco, model, summary);
  MoCoMerge merge = addMoCoToSDM(savedPath.str(), moco, zFlag, log, std::move(added));
  if (!merge.complete) {
    if (report != nullptr && !merge.problem.empty()) {
      report->add({Severity::error, where, merge.problem,
                   "Check the motion-estimates file and the motion model; the design matrix "
                   "saved before the merge is left as it is.",
                   "motion-not-merged"});
    }
    host::logText(kNotAdded);
    return false;
  }
  // A motion column that could only be centred is usually a missing estimate.
  if (report != nullptr) {
    for (const std::string& name : moco.centredOnly) {
      report->add({Severity::warning, where,
                   "Motion predictor \"" + name + "\" does not vary: it is centred, not scaled.",
                   "Check the motion-estimates file: a motion predictor that never changes "
                   "usually means a missing estimate.",
                   "motion-still"});
    }
  }
  if (!savedPath.assign(merge.mergedPath)) {
    // Not reached while the check above holds; never let a file stand that
    // the run cannot name.
    removeRegularFile(merge.mergedPath);
    host::logText(kNotAdded);
    return false;
  }
  if (motion != nullptr) *motion = std::move(summary);
  return true;
}

}  // namespace ppi::confounds
