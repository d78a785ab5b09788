#include "run/neuralppi.h"

#include <cstddef>

#include "numerics/deconvolution.h"
#include "run/hostresponse.h"
#include "host/hostapi.h"

namespace ppi::analysis {
namespace {

Result<float*> interactionValues(const char* name) {
  float* values = host::getPredictorByName(name);
  if (values == nullptr) {
    return host::logFailure("Plugin> ",
                            "The host has no predictor \"%s\"; Prepare PPI Plugin aborted.", name);
  }
  return values;
}

}  // namespace

void centreOverRun(float* values, std::size_t count) {
  if (count == 0) return;
  double sum = 0.0;
  for (std::size_t t = 0; t < count; ++t) sum += values[t];
  const float mean = static_cast<float>(sum / static_cast<double>(count));
  for (std::size_t t = 0; t < count; ++t) values[t] -= mean;
}

void centreWeighted(float* values, const std::vector<double>& weights) {
  double weighted = 0.0, total = 0.0;
  for (std::size_t t = 0; t < weights.size(); ++t) {
    weighted += weights[t] * static_cast<double>(values[t]);
    total += weights[t];
  }
  const float mean = static_cast<float>(weighted / total);
  for (std::size_t t = 0; t < weights.size(); ++t) values[t] -= mean;
}

Outcome prepareInteraction(const MethodOptions& options, const std::vector<float>& region,
                           const char* vtcPath, InteractionInputs& inputs) {
  inputs.options = options;
  inputs.neural.clear();
  inputs.deconvolution = DeconvolutionSummary();
  inputs.reconvolved.clear();
  inputs.resolution.clear();
  inputs.kernel.clear();
  inputs.lambda = 0.0;
  if (options.any()) {
    host::logLine("Plugin> Method options: %s.", describeMethodOptions(options).c_str());
  }
  if (!options.neuralLevel()) return {};

  const HostResponse response = measureHostResponse(static_cast<int>(region.size()));
  if (!response.ok) {
    return host::logFailure(
        "Plugin> ",
        "The interaction at the neural level is refused for %s: %s. Prepare PPI Plugin "
        "aborted.",
        vtcPath, response.why.c_str());
  }
  NeuralEstimate estimate = deconvolve(region, response.kernel);
  if (!estimate.ok) {
    return host::logFailure(
        "Plugin> ",
        "The region signal of %s could not be deconvolved: %s. Prepare PPI Plugin "
        "aborted.",
        vtcPath, estimate.why.c_str());
  }
  inputs.resolution = resolutionDiagonal(region.size(), response.kernel, estimate.lambda);
  double resolutionSum = 0.0;
  for (double r : inputs.resolution) resolutionSum += r;
  if (inputs.resolution.size() != region.size() || !(resolutionSum > 0.0)) {
    return host::logFailure(
        "Plugin> ",
        "The region signal of %s could not be deconvolved: the estimate resolves no volume at "
        "penalty %.4g. Prepare PPI Plugin aborted.",
        vtcPath, estimate.lambda);
  }
  inputs.deconvolution = summarizeDeconvolution(estimate, response.kernel.size());
  inputs.kernel = response.kernel;
  inputs.lambda = estimate.lambda;
  inputs.reconvolved.assign(estimate.values.size(), 0.0f);
  for (std::size_t t = 0; t < estimate.values.size(); ++t) {
    double sum = estimate.offset;
    for (std::size_t k = 0; k <= t && k < response.kernel.size(); ++k) {
      sum += response.kernel[k] * estimate.values[t - k];
    }
    inputs.reconvolved[t] = static_cast<float>(sum);
  }
  centreOverRun(estimate.values.data(), estimate.values.size());
  inputs.neural = std::move(estimate.values);
  host::logLine(
      "Plugin> Neural signal: the host's kernel has %zu volumes; deconvolution penalty %.4g "
      "(GCV), %.1f effective parameters.",
      response.kernel.size(), estimate.lambda, estimate.hatTrace);
  return {};
}

std::vector<double> factorWeights(const std::vector<float>& region, InteractionInputs& inputs,
                                  const std::vector<const char*>& taskNames) {
  if (!inputs.options.neuralLevel()) return {};
  inputs.deconvolution.factorCentre = FactorCentre::resolution;
  std::vector<std::vector<float>> columns;
  for (const char* name : taskNames) {
    const float* values = host::getPredictorByName(name);
    if (values == nullptr) return inputs.resolution;
    columns.emplace_back(values, values + region.size());
  }
  std::vector<double> weights = couplingWeights(region, columns, inputs.kernel, inputs.lambda);
  if (weights.size() != region.size()) return inputs.resolution;
  inputs.deconvolution.factorCentre = FactorCentre::coupling;
  return weights;
}

Outcome formInteraction(const char* name, const std::vector<float>& region,
                        const InteractionInputs& inputs, const std::vector<double>& weights) {
  const std::size_t volumes = region.size();
  if (inputs.options.neuralLevel()) {
    const Result<float*> found = interactionValues(name);
    if (!found.ok()) return found.failure();
    float* values = found.value();
    centreWeighted(values, weights);  // always at this level: see neuralppi.h
    for (std::size_t t = 0; t < volumes; ++t) values[t] *= inputs.neural[t];
    host::applyTwoGammaHRFToPredictorWithName(name);
    return {};
  }
  host::applyTwoGammaHRFToPredictorWithName(name);
  const Result<float*> found = interactionValues(name);
  if (!found.ok()) return found.failure();
  float* values = found.value();
  if (inputs.options.centred()) centreOverRun(values, volumes);
  for (std::size_t t = 0; t < volumes; ++t) values[t] *= region[t];
  return {};
}

}  // namespace ppi::analysis
