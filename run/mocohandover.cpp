#include "run/mocohandover.h"

#include <filesystem>
#include <string_view>
#include <system_error>

#include "formats/mocomerge.h"
#include "formats/mocosdm.h"
#include "host/hostapi.h"

namespace ppi::confounds {
namespace {

constexpr const char* kNotAdded =
    "PPI Plugin> Motion correction predictors could not be added. Prepare PPI Plugin aborted.";

// The longest suffix the merge may give the saved path.
std::size_t longestMergeSuffix(std::int32_t zFlag, const MotionModel& model) {
  if (!model.isDefault()) return longestMotionSuffix(model);
  return zFlag != 0 ? kMoCoZSuffix.size() : kMoCoSuffix.size();
}

// The host's log, which also puts a motion column that could only be centred
// into the report: a column that never changes is usually a missing estimate.
class MergeLog final : public LogSink {
 public:
  MergeLog(Report* report, const std::string& where) : report_(report), where_(where) {}
  void text(const char* line) override {
    host_.text(line);
    if (report_ != nullptr && std::string_view(line).rfind(kStillColumn, 0) == 0) {
      report_->warning(where_, line,
                       "Check the motion-estimates file: a motion predictor that never changes "
                       "usually means a missing estimate.");
    }
  }

 private:
  static constexpr std::string_view kStillColumn = "Motion predictor \"";
  host::HostLog host_;
  Report* report_;
  const std::string& where_;
};

}  // namespace

bool handOverMoCo(PathText& savedPath, const std::string& vtcFolder, std::int32_t zFlag,
                  std::string* chosenMotionPath, Report* report, const std::string& where,
                  const MotionModel& model, MotionSummary* motion) {
  if (!host::requireHostFunctions({host::HostFunction::nkGetOpenFileName})) return false;
  // The merged file's path stands for the subject from here on: refuse before
  // asking when it could not be kept.
  if (savedPath.size() + longestMergeSuffix(zFlag, model) > kPathLimit) {
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

  MergeLog log(report, where);
  MoCoSDM moco = readMoCoSDM(motionPath, log);
  if (!moco.valid) {
    host::logText(kNotAdded);
    return false;
  }
  MoCoMerge merge = addMoCoToSDM(savedPath.str(), moco, zFlag, log, model);
  if (!merge.complete) {
    host::logText(kNotAdded);
    return false;
  }
  if (!savedPath.assign(merge.mergedPath)) {
    // Not reached while the check above holds; never let a file stand that
    // the run cannot name.
    std::error_code ignored;
    std::filesystem::remove(merge.mergedPath, ignored);
    host::logText(kNotAdded);
    return false;
  }
  if (motion != nullptr) *motion = std::move(merge.motion);
  return true;
}

}  // namespace ppi::confounds
