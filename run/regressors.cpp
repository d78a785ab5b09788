#include "run/regressors.h"

#include <cstdarg>
#include <string>

#include "host/hostapi.h"

namespace ppi::analysis {
namespace {

constexpr const char* kPsychological = kPsychologicalName;
constexpr const char* kComplementary = kComplementaryName;

// A weight's log line is cut after this many characters.
constexpr std::size_t kWeightLineLimit = 200;

std::vector<float> hostValues(const char* name, std::size_t volumes) {
  const float* values = host::getPredictorByName(name);
  if (values == nullptr) return {};
  return std::vector<float>(values, values + volumes);
}

// The psychological regressor's box-car before convolution, one per weight sign.
void keepWeightedBoxCars(const DesignPlan& plan, std::size_t volumes, BoxCars* boxCars) {
  if (boxCars == nullptr) return;
  const std::vector<float> values = hostValues(kPsychological, volumes);
  if (values.empty()) return;
  for (int sign : {1, -1}) {
    ConditionBoxCar boxCar;
    boxCar.weight = sign;
    for (const ConditionWeight& condition : plan.conditions) {
      if (condition.weight != sign) continue;
      if (!boxCar.name.empty()) boxCar.name += ", ";
      boxCar.name += condition.name;
    }
    if (boxCar.name.empty()) continue;
    boxCar.values.reserve(values.size());
    for (float value : values) {
      boxCar.values.push_back(value * static_cast<float>(sign) > 0 ? static_cast<float>(sign)
                                                                   : 0.0f);
    }
    boxCars->push_back(std::move(boxCar));
  }
}

}  // namespace

Outcome formatPredictorName(PredictorName& name, const char* format, ...) {
  char buffer[kPredictorNameLimit + 1];
  std::va_list arguments;
  va_start(arguments, format);
  bool fits = formatBoundedV(buffer, sizeof buffer, format, arguments);
  va_end(arguments);
  if (!fits || !name.assign(buffer)) {
    return host::logFailure(
        "Plugin> ",
        "The predictor name \"%s...\" would be longer than %zu characters; Prepare PPI "
        "Plugin aborted.",
        buffer, kPredictorNameLimit);
  }
  return {};
}

void addPredictor(PredictorNames& names, const char* name) {
  host::addPredictor(name);
  names.push_back(name);
}

Result<float*> predictorValues(const PredictorName& name) {
  float* values = host::getPredictorByName(name.c_str());
  if (values == nullptr) {
    return host::logFailure(
        "Plugin> ", "The host has no predictor \"%s\"; Prepare PPI Plugin aborted.", name.c_str());
  }
  return values;
}

void assignConditionWeights(const PredictorName& ppiName, const DesignPlan& plan) {
  for (std::size_t m = 0; m < plan.conditions.size(); ++m) {
    const ConditionWeight& condition = plan.conditions[m];
    if (!condition.named) {
      host::logLine("Plugin> No \"CondID-\" entry names the condition %s; it gets no weight.",
                    condition.name.c_str());
      continue;
    }
    host::logLineLimited(kWeightLineLimit, "    assigned weight %d to %s", condition.entryWeight,
                         condition.name.c_str());
    if (condition.weight == -1 || condition.weight == 1) {
      const int index = static_cast<int>(m);
      host::setPredictorValuesFromCondition(ppiName.c_str(), index,
                                            static_cast<float>(condition.weight));
      host::setPredictorValuesFromCondition(kPsychological, index,
                                            static_cast<float>(condition.weight));
    }
  }
}

Outcome buildStandardRegressors(const DesignPlan& plan, const std::vector<float>& region,
                                InteractionInputs& interaction, PredictorNames& names,
                                BoxCars* boxCars) {
  // The plan's first two predictors are the PPI term and the psychological
  // regressor, then the complementary regressor when both signs occur.
  PredictorName ppiName;
  if (Outcome named = formatPredictorName(ppiName, "%s", plan.predictors[0].name.c_str());
      !named.ok()) {
    return named;
  }
  addPredictor(names, ppiName.c_str());
  addPredictor(names, kPsychological);

  assignConditionWeights(ppiName, plan);
  keepWeightedBoxCars(plan, region.size(), boxCars);

  host::applyTwoGammaHRFToPredictorWithName(kPsychological);
  std::vector<const char*> tasks{kPsychological};
  for (const PlannedPredictor& predictor : plan.predictors) {
    if (predictor.role != PredictorRole::complementary) continue;
    addPredictor(names, kComplementary);
    tasks.push_back(kComplementary);
    for (std::size_t c = 0; c < plan.conditions.size(); ++c) {
      if (plan.conditions[c].weight != 0) {
        host::setPredictorValuesFromCondition(kComplementary, static_cast<int>(c), 1.0f);
      }
    }
    host::applyTwoGammaHRFToPredictorWithName(kComplementary);
  }
  // The term last: at the neural level its centre depends on the task columns.
  return formInteraction(ppiName.c_str(), region, interaction,
                         factorWeights(region, interaction, tasks));
}

Outcome buildGeneralizedRegressors(const DesignPlan& plan, const std::vector<float>& region,
                                   InteractionInputs& interaction, PredictorNames& names,
                                   BoxCars* boxCars) {
  if (plan.baselineBelowZero) {
    host::logLine("Plugin> \"baseline\" is %d; every condition is modelled.", plan.requestedBaseline);
  }
  // The PPI terms first, then the task regressors, each in protocol order;
  // the terms are formed last (at the neural level their centre depends on
  // the task columns).
  std::vector<PredictorName> terms;
  std::vector<PredictorName> taskNames;
  for (const PredictorRole pass : {PredictorRole::ppiTerm, PredictorRole::task}) {
    for (const PlannedPredictor& predictor : plan.predictors) {
      if (predictor.role != pass) continue;
      PredictorName name;
      if (Outcome named = formatPredictorName(name, "%s", predictor.name.c_str()); !named.ok()) {
        return named;
      }
      addPredictor(names, name.c_str());
      host::setPredictorValuesFromCondition(name.c_str(), predictor.condition, 1.0f);
      if (pass == PredictorRole::task) {
        host::applyTwoGammaHRFToPredictorWithName(name.c_str());
        taskNames.push_back(name);
        continue;
      }
      if (boxCars != nullptr) {
        std::vector<float> values = hostValues(name.c_str(), region.size());
        if (!values.empty()) {
          boxCars->push_back({plan.conditions[static_cast<std::size_t>(predictor.condition)].name,
                              1, std::move(values)});
        }
      }
      terms.push_back(name);
    }
  }
  std::vector<const char*> tasks;
  for (const PredictorName& name : taskNames) tasks.push_back(name.c_str());
  const std::vector<double> weights = factorWeights(region, interaction, tasks);
  for (const PredictorName& name : terms) {
    if (Outcome formed = formInteraction(name.c_str(), region, interaction, weights);
        !formed.ok()) {
      return formed;
    }
  }
  return {};
}

}  // namespace ppi::analysis
