#include "run/mocohandover.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "common/checksum.h"
#include "common/filelayer.h"
#include "formats/mocomerge.h"
#include "formats/mocosdm.h"
#include "host/hostapi.h"
#include "run/motionconfounds.h"

namespace ppi::confounds {
namespace {

// The line that stops the run when the motion predictors are not merged.
Failure notAdded() {
  return host::logFailure("PPI Plugin> ",
                          "Motion correction predictors could not be added. Prepare PPI Plugin "
                          "aborted.");
}

// The longest suffix the merge may give the saved path.
std::size_t longestSuffix(std::int32_t zFlag, const MotionModel& model) {
  if (!model.isDefault()) return longestMergeSuffix(model);
  return zFlag != 0 ? kMoCoZSuffix.size() : kMoCoSuffix.size();
}

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The name matches "*3DMC*.sdm", letter case aside.
bool motionFileName(const std::string& name) {
  const std::string lower = lowered(name);
  return lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".sdm") == 0 &&
         lower.find("3dmc") != std::string::npos && lower.find("3dmc") + 4 <= lower.size() - 4;
}

}  // namespace

std::string proposedMotionFile(const std::string& vtcFolder) {
  std::vector<std::string> names;
  if (!regularFilesIn(vtcFolder, names).ok()) return vtcFolder;
  std::vector<std::string> matching;
  for (const std::string& name : names) {
    if (motionFileName(name)) matching.push_back(name);
  }
  if (matching.size() != 1) return vtcFolder;
  if (vtcFolder.empty()) return matching.front();
  const char last = vtcFolder.back();
  return vtcFolder + (last == '/' || last == '\\' ? "" : "/") + matching.front();
}

Outcome handOverMoCo(PathText& savedPath, const std::string& vtcFolder, std::int32_t zFlag,
                     std::string* chosenMotionPath, Report* report, const std::string& where,
                     const MotionModel& model, numerics::MotionSummary* motion,
                     const std::string& listedMotionPath, std::uint64_t* samplesChecksum) {
  if (Outcome offered = host::requireHostFunctions({host::HostFunction::nkGetOpenFileName});
      !offered.ok()) {
    return offered;
  }
  // The merged file's path stands for the subject from here on: refuse before
  // asking when it could not be kept.
  if (savedPath.size() + longestSuffix(zFlag, model) > kPathLimit) {
    return host::logFailure(
        "PPI Plugin> ",
        "The merged design matrix path would be longer than %zu characters. Prepare "
        "PPI Plugin aborted.",
        kPathLimit);
  }

  std::string motionPath = listedMotionPath;
  if (motionPath.empty() &&
      !host::getOpenFileName("Select motion correction sdm file to read (.*SDM) ",
                             proposedMotionFile(vtcFolder).c_str(), "SDM file (*3DMC*.sdm)",
                             motionPath)) {
    return host::logFailure("PPI Plugin> ",
                            "No SDM file name selected. Prepare PPI Plugin aborted.");
  }
  if (motionPath.size() > kMotionPathLimit) {
    return host::logFailure(
        "PPI Plugin> ",
        "The motion correction file path is longer than %zu characters. Prepare PPI "
        "Plugin aborted.",
        kMotionPathLimit);
  }
  host::logLine("Plugin> MoCoSDM selected is: \"%s\".", motionPath.c_str());
  if (chosenMotionPath != nullptr) *chosenMotionPath = motionPath;
  host::logLine("Plugin> Original sdm selected is: \"%s\".", savedPath.c_str());

  host::HostLog log;
  MoCoSDM moco = readMoCoSDM(motionPath, log);
  if (!moco.valid) {
    if (report != nullptr) {
      report->add({Severity::error, where,
                   "The motion-estimates file " + motionPath + " is rejected: " + moco.problem +
                       ".",
                   "Choose the subject's own motion-estimates file, or correct this one.",
                   "motion-not-merged"});
    }
    return notAdded();
  }
  if (samplesChecksum != nullptr) {
    std::vector<double> samples;
    for (const std::vector<double>& column : moco.values) {
      samples.insert(samples.end(), column.begin(), column.end());
    }
    *samplesChecksum = checksum64(samples.data(), samples.size() * sizeof(double));
  }
  // The expansion and the displacement are those of the estimates as read.
  MotionSummary summary;
  AddedColumns added;
  if (moco.valid) added = expandMotion(moco, model, summary);
  MoCoMerge merge = addMoCoToSDM(savedPath.str(), moco, zFlag, log, std::move(added));
  if (!merge.complete) {
    // The merge's own reason, carried in its result; the run's reason is the line below.
    if (report != nullptr && !merge.problem.empty()) {
      report->add({Severity::error, where, merge.problem,
                   "Check the motion-estimates file and the motion model; the design matrix "
                   "saved before the merge is left as it is.",
                   "motion-not-merged"});
    }
    return notAdded();
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
    static_cast<void>(removeRegularFile(merge.mergedPath));  // best effort: the run stops anyway
    return notAdded();
  }
  if (motion != nullptr) *motion = std::move(summary);
  return {};
}

}  // namespace ppi::confounds
