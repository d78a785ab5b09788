#include "standin/hrf.h"

#include <cmath>

namespace standin {
namespace {

// Gamma density with the given shape and unit scale, at t seconds (t >= 0).
double gammaDensity(double t, double shape) {
  if (t <= 0.0) return 0.0;
  return std::exp((shape - 1.0) * std::log(t) - t - std::lgamma(shape));
}

// Shapes of the response and the undershoot; with unit scale a gamma density
// peaks at shape - 1, so at 5 s and 15 s.
constexpr double kResponseShape = 6.0;
constexpr double kUndershootShape = 16.0;
constexpr double kUndershootRatio = 1.0 / 6.0;
constexpr double kKernelLengthS = 32.0;

}  // namespace

std::vector<double> twoGammaKernel(double repetitionTimeMs) {
  if (!(repetitionTimeMs > 0.0)) return {1.0};
  const double step = repetitionTimeMs / 1000.0;
  // Samples at 0, TR, 2 TR, ... up to the kernel's length (counted by index,
  // so that no rounding of a running time drops or adds the last sample).
  const auto count = static_cast<std::size_t>(std::floor(kKernelLengthS / step + 1e-9)) + 1;
  std::vector<double> kernel(count);
  double sum = 0.0;
  for (std::size_t k = 0; k < count; ++k) {
    const double t = static_cast<double>(k) * step;
    kernel[k] =
        gammaDensity(t, kResponseShape) - kUndershootRatio * gammaDensity(t, kUndershootShape);
    sum += kernel[k];
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
