// The host's canonical two-gamma haemodynamic response: a response peaking at
// 5 s minus an undershoot peaking at 15 s at one sixth of its size (gamma
// densities of shapes 6 and 16 with unit dispersion), over 32 s, sampled at
// the repetition time and scaled to a unit sum. It is applied by causal
// convolution cut at the end of the run.
#pragma once

#include <cstddef>
#include <vector>

namespace standin {

std::vector<double> twoGammaKernel(double repetitionTimeMs);

// values[t] becomes sum over k <= t of kernel[k] * values[t - k].
void convolveCausal(float* values, std::size_t count, const std::vector<double>& kernel);

}  // namespace standin
