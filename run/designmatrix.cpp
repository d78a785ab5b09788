#include "run/designmatrix.h"

#include <algorithm>

#include "run/regressors.h"
#include "host/hostapi.h"

namespace ppi::analysis {

std::string removeFirstOccurrence(std::string_view fileName, std::string_view extension) {
  std::string name(fileName);
  const std::size_t at = name.find(extension);
  if (at != std::string::npos) name.erase(at, extension.size());
  return name;
}

Outcome assembleDesignMatrix(const DesignPlan& plan, const RegionTimeCourse& region,
                             InteractionInputs& interaction, PredictorNames& names,
                             BoxCars* boxCars) {
  names.clear();
  const Outcome built =
      plan.generalized
          ? buildGeneralizedRegressors(plan, region.values, interaction, names, boxCars)
          : buildStandardRegressors(plan, region.values, interaction, names, boxCars);
  if (!built.ok()) return built;

  // The plan ends with the region signal and the constant.
  PredictorName physiological;
  const PlannedPredictor& signal = plan.predictors[plan.predictors.size() - 2];
  if (Outcome named = formatPredictorName(physiological, "%s", signal.name.c_str()); !named.ok()) {
    return named;
  }
  addPredictor(names, physiological.c_str());
  const Result<float*> signalValues = predictorValues(physiological);
  if (!signalValues.ok()) return signalValues.failure();
  std::copy(region.values.begin(), region.values.end(), signalValues.value());

  PredictorName constant;
  constant.assign(kConstantName);
  addPredictor(names, constant.c_str());
  const Result<float*> ones = predictorValues(constant);
  if (!ones.ok()) return ones.failure();
  std::fill(ones.value(), ones.value() + region.values.size(), 1.0f);
  return {};
}

Outcome defaultDesignName(const SplitPath& vtc, const model::SubjectVOIRecord& region,
                          const SubjectSettings& subjectSettings, const RunSettings& settings,
                          DefaultNameText& name) {
  const std::string vtcBase = removeFirstOccurrence(vtc.fileName, ".vtc");
  const std::string voiBase =
      removeFirstOccurrence(splitPath(region.regionFilePath()).fileName, ".voi");
  if (!name.format("%sPPI_%s_%s", subjectSettings.approach != 0 ? "gen" : "stand", vtcBase.c_str(),
                   settings.labelFlag ? settings.labelText.c_str() : voiBase.c_str())) {
    return host::logFailure(
        "Plugin> ",
        "The design matrix name %s... would be longer than %zu characters; Prepare PPI "
        "Plugin aborted.",
        name.c_str(), kDefaultNameLimit);
  }
  return {};
}

}  // namespace ppi::analysis
