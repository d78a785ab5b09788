#include "standin/hrf.h"

#include <cmath>

namespace standin {
namespace {

// Gamma density with the given shape and unit scale, at t seconds (t >= 0).
double gammaDensity(double t, double shape) {
  if (t <= 0.0) return 0.0;
  return std::exp((shape - 1.0) * std::log(t) - t - std::lgamma(shape));
}

constexpr double kResponsePeakS = 6.0;
constexpr double kUndershootPeakS = 16.0;
constexpr double kUndershootRatio = 1.0 / 6.0;
constexpr double kKernelLengthS = 32.0;

}  // namespace

std::vector<double> twoGammaKernel(double repetitionTimeMs) {
  std::vector<double> kernel;
  if (!(repetitionTimeMs > 0.0)) return {1.0};
  const double step = repetitionTimeMs / 1000.0;
  double sum = 0.0;
  for (double t = 0.0; t <= kKernelLengthS + 1e-9; t += step) {
    // With unit scale a gamma density peaks at shape - 1.
    double value = gammaDensity(t, kResponsePeakS + 1.0) -
                   kUndershootRatio * gammaDensity(t, kUndershootPeakS + 1.0);
    kernel.push_back(value);
    sum += value;
  }
  if (sum != 0.0) {
    for (double& value : kernel) value /= sum;
  }
  return kernel;
}

void convolveCausal(float* values, std::size_t count, const std::vector<double>& kernel) {
  std::vector<double> input(values, values + count);
  for (std::size_t t = 0; t < count; ++t) {
    double sum = 0.0;
    for (std::size_t k = 0; k < kernel.size() && k <= t; ++k) sum += kernel[k] * input[t - k];
    values[t] = static_cast<float>(sum);
  }
}

}  // namespace standin
