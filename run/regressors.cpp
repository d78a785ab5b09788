#include "run/regressors.h"

#include <cstdarg>
#include <string>

#include "run/runrecords.h"
#include "host/hostapi.h"

namespace ppi::analysis {
namespace {

constexpr const char* kPsychological = kPsychologicalName;
constexpr const char* kComplementary = kComplementaryName;

// A weight's log line is cut after this many characters.
constexpr std::size_t kWeightLineLimit = 200;

int conditionCount(const SubjectSettings& settings) {
  return static_cast<int>(settings.conditionNames.size());
}

const char* conditionName(const SubjectSettings& settings, int index) {
  return settings.conditionNames[static_cast<std::size_t>(index)].c_str();
}

}  // namespace

bool formatPredictorName(PredictorName& name, const char* format, ...) {
  char buffer[kPredictorNameLimit + 1];
  std::va_list arguments;
  va_start(arguments, format);
  bool fits = formatBoundedV(buffer, sizeof buffer, format, arguments);
  va_end(arguments);
  if (!fits || !name.assign(buffer)) {
    host::logLine(
        "Plugin> The predictor name \"%s...\" would be longer than %zu characters; Prepare PPI "
        "Plugin aborted.",
        buffer, kPredictorNameLimit);
    return false;
  }
  return true;
}

void addPredictor(PredictorNames& names, const char* name) {
  host::addPredictor(name);
  names.push_back(name);
}

float* predictorValues(const PredictorName& name) {
  float* values = host::getPredictorByName(name.c_str());
  if (values == nullptr) {
    host::logLine("Plugin> The host has no predictor \"%s\"; Prepare PPI Plugin aborted.",
                  name.c_str());
  }
  return values;
}

ConditionWeights assignConditionWeights(const PredictorName& ppiName,
                                        const SubjectSettings& settings) {
  const int nrOfConditions = conditionCount(settings);
  ConditionWeights result;
  result.weights.assign(static_cast<std::size_t>(nrOfConditions), 0);
  for (int m = 0; m < nrOfConditions; ++m) {
    const std::string& name = settings.conditionNames[static_cast<std::size_t>(m)];
    std::string entry;
    bool found = false;
    for (std::size_t n = 0; n < settings.conditionEntries.size() && !found; ++n) {
      entry = settings.conditionEntries[n];
      // An empty name would be found in every entry.
      found = !name.empty() && entry.find(name) != std::string::npos;
    }
    if (!found) {
      host::logLine("Plugin> No \"CondID-\" entry names the condition %s; it gets no weight.",
                    name.c_str());
      continue;
    }
    const std::int32_t weight = weightOfEntry(entry);
    host::logLineLimited(kWeightLineLimit, "    assigned weight %d to %s", weight, name.c_str());
    if (weight == -1 || weight == 1) {
      host::setPredictorValuesFromCondition(ppiName.c_str(), m, static_cast<float>(weight));
      host::setPredictorValuesFromCondition(kPsychological, m, static_cast<float>(weight));
      result.weights[static_cast<std::size_t>(m)] = weight;
      (weight < 0 ? result.hasNegative : result.hasPositive) = true;
    }
  }
  return result;
}

bool buildStandardRegressors(const char* regionLabel, const SubjectSettings& settings,
                             const std::vector<float>& region, const InteractionInputs& interaction,
                             PredictorNames& names) {
  PredictorName ppiName;
  if (!formatPredictorName(ppiName, "PPI_%s", regionLabel)) return false;
  addPredictor(names, ppiName.c_str());
  addPredictor(names, kPsychological);

  const ConditionWeights weights = assignConditionWeights(ppiName, settings);
  RunRecorder::noteWeightedBoxCars(kPsychological, settings, weights.weights);

  host::applyTwoGammaHRFToPredictorWithName(kPsychological);
  if (!formInteraction(ppiName.c_str(), region, interaction)) return false;

  if (weights.hasPositive && weights.hasNegative) {
    addPredictor(names, kComplementary);
    for (int c = 0; c < conditionCount(settings); ++c) {
      if (weights.weights[static_cast<std::size_t>(c)] != 0) {
        host::setPredictorValuesFromCondition(kComplementary, c, 1.0f);
      }
    }
    host::applyTwoGammaHRFToPredictorWithName(kComplementary);
  }
  return true;
}

bool buildGeneralizedRegressors(const char* regionLabel, const SubjectSettings& settings,
                                const std::vector<float>& region,
                                const InteractionInputs& interaction, PredictorNames& names) {
  const int nrOfConditions = conditionCount(settings);
  int baseline = settings.baseline;
  if (baseline < 0) {
    host::logLine("Plugin> \"baseline\" is %d; every condition is modelled.", baseline);
    baseline = 0;
  }
  for (int c = baseline; c < nrOfConditions; ++c) {
    PredictorName name;
    if (!formatPredictorName(name, "PPI_%s_%s", conditionName(settings, c), regionLabel)) {
      return false;
    }
    addPredictor(names, name.c_str());
    host::setPredictorValuesFromCondition(name.c_str(), c, 1.0f);
    RunRecorder::noteConditionBoxCar(name.c_str(),
                                     settings.conditionNames[static_cast<std::size_t>(c)]);
    if (!formInteraction(name.c_str(), region, interaction)) return false;
  }
  for (int c = baseline; c < nrOfConditions; ++c) {
    PredictorName name;
    if (!formatPredictorName(name, "%s", conditionName(settings, c))) return false;
    addPredictor(names, name.c_str());
    host::setPredictorValuesFromCondition(name.c_str(), c, 1.0f);
    host::applyTwoGammaHRFToPredictorWithName(name.c_str());
  }
  return true;
}

}  // namespace ppi::analysis
