// The host's haemodynamic response kernel, measured through its own
// convolution of a scratch predictor, and the check that the convolution it
// applies is linear and shift-invariant, so that one kernel describes it.
#pragma once

#include <cstddef>
#include <vector>

#include "common/boundedtext.h"

namespace ppi::analysis {

// An impulse of `scale` at `volume` (counted from 0).
struct Impulse {
  std::size_t volume;
  float scale;
};

struct ConvolutionCheck {
  bool ok = false;
  MessageText why;  // empty when ok; otherwise the first volume that differs
};

// Whether `response` is what a linear, shift-invariant causal convolution with
// `kernel` makes of the impulses: the sum of the kernel shifted to each
// impulse and scaled by it, cut at the run's end, and nothing before the first
// impulse. Per volume the difference may reach 8 float epsilons times the sum
// of the impulses' sizes times the sum of the kernel's sizes: a convolution
// done in single precision, in any order, stays within that.
ConvolutionCheck checkShiftedScaledKernel(const std::vector<double>& kernel,
                                          const std::vector<float>& response,
                                          const std::vector<Impulse>& impulses);

struct HostResponse {
  bool ok = false;
  std::vector<double> kernel;  // from lag 0; trailing zeros trimmed, at most the run long
  MessageText why;             // empty when ok; otherwise why there is no kernel
};

// The name of the scratch predictor the measurement adds.
constexpr const char* kResponseProbeName = "PPI response probe";

// Measures the kernel the host convolves predictors with for the linked time
// course, whose run has nrOfVolumes volumes (the length of the host's
// predictors). Clears the host's design matrix, adds one scratch predictor,
// convolves a unit impulse at volume 0 and reads the kernel back, then
// convolves impulses of 2.5 at volume 1 and -0.75 a third of the kernel later
// (when the run has room for it) and checks that the host gave their shifted,
// scaled kernels; clears the design matrix again. Fails, saying why, for
// fewer than 2 volumes, host functions the host lacks, no values handed out,
// a zero response, or a convolution that is not linear and shift-invariant.
HostResponse measureHostResponse(int nrOfVolumes);

}  // namespace ppi::analysis
