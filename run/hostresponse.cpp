#include "run/hostresponse.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdarg>

#include "host/hostapi.h"

namespace ppi::analysis {

ConvolutionCheck checkShiftedScaledKernel(const std::vector<double>& kernel,
                                          const std::vector<float>& response,
                                          const std::vector<Impulse>& impulses) {
  ConvolutionCheck check;
  double kernelSize = 0.0, impulseSize = 0.0;
  for (double value : kernel) kernelSize += std::fabs(value);
  for (const Impulse& impulse : impulses) impulseSize += std::fabs(impulse.scale);
  const double tolerance = 8.0 * FLT_EPSILON * impulseSize * kernelSize;
  for (std::size_t t = 0; t < response.size(); ++t) {
    double expected = 0.0;
    for (const Impulse& impulse : impulses) {
      if (impulse.volume <= t && t - impulse.volume < kernel.size()) {
        expected += static_cast<double>(impulse.scale) * kernel[t - impulse.volume];
      }
    }
    const double measured = response[t];
    if (!std::isfinite(measured) || !(std::fabs(measured - expected) <= tolerance)) {
      check.why.format(
          "at volume %zu the response is %.9g where the shifted, scaled kernel gives %.9g", t,
          measured, expected);
      return check;
    }
  }
  check.ok = true;
  return check;
}

namespace {

HostResponse failed(const char* format, ...) PPI_PRINTF_FORMAT(1, 2);
HostResponse failed(const char* format, ...) {
  char line[kMessageLimit + 1];
  std::va_list arguments;
  va_start(arguments, format);
  formatBoundedV(line, sizeof line, format, arguments);
  va_end(arguments);
  HostResponse response;
  response.why.assignCut(line);
  return response;
}

// Writes `impulses` into the scratch predictor, has the host convolve it and
// reads back `volumes` values. False when the host hands out no values.
bool convolveImpulses(const std::vector<Impulse>& impulses, std::size_t volumes,
                      std::vector<float>& response) {
  float* values = host::getPredictorByName(kResponseProbeName);
  if (values == nullptr) return false;
  std::fill(values, values + volumes, 0.0f);
  for (const Impulse& impulse : impulses) values[impulse.volume] = impulse.scale;
  host::applyTwoGammaHRFToPredictorWithName(kResponseProbeName);
  values = host::getPredictorByName(kResponseProbeName);
  if (values == nullptr) return false;
  response.assign(values, values + volumes);
  return true;
}

}  // namespace

HostResponse measureHostResponse(int nrOfVolumes) {
  if (nrOfVolumes < 2) {
    return failed("the run has %d volumes; measuring the host's response needs at least 2",
                  nrOfVolumes);
  }
  for (host::HostFunction function :
       {host::HostFunction::nkClearDesignMatrix, host::HostFunction::nkAddPredictor,
        host::HostFunction::nkGetPredictorByName,
        host::HostFunction::nkApplyTwoGammaHRFToPredictorWithName}) {
    if (!host::hasHostFunction(function)) {
      return failed("the host does not offer %s", host::hostFunctionName(function));
    }
  }
  const std::size_t volumes = static_cast<std::size_t>(nrOfVolumes);

  host::clearDesignMatrix();
  host::addPredictor(kResponseProbeName);
  std::vector<float> unit, pair;
  std::vector<Impulse> impulses{{1, 2.5f}};
  std::size_t length = 0;
  bool read = convolveImpulses({{0, 1.0f}}, volumes, unit);
  if (read) {
    length = volumes;
    while (length > 0 && unit[length - 1] == 0.0f) --length;
    // A second impulse a third of the kernel after the first, so that their
    // responses overlap.
    const std::size_t second = 1 + std::max<std::size_t>(1, length / 3);
    if (second < volumes) impulses.push_back({second, -0.75f});
    read = convolveImpulses(impulses, volumes, pair);
  }
  host::clearDesignMatrix();

  if (!read) {
    return failed("the host hands out no values for the scratch predictor \"%s\"",
                  kResponseProbeName);
  }
  if (length == 0) return failed("the host's response to a unit impulse is zero");
  for (std::size_t k = 0; k < length; ++k) {
    if (!std::isfinite(unit[k])) {
      return failed("the host's response to a unit impulse is not finite at lag %zu", k);
    }
  }
  HostResponse response;
  response.kernel.assign(unit.begin(), unit.begin() + static_cast<std::ptrdiff_t>(length));
  const ConvolutionCheck check = checkShiftedScaledKernel(response.kernel, pair, impulses);
  if (!check.ok) {
    return failed("the host's convolution is not linear and shift-invariant: %s",
                  check.why.c_str());
  }
  response.ok = true;
  return response;
}

}  // namespace ppi::analysis
