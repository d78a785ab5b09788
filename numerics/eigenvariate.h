// The first eigenvariate of a region: the time course of the first principal
// component of its voxels' time courses, each voxel centred over time.
//
// With X the voxels-by-volumes matrix of centred samples, the component is the
// unit eigenvector v of X^T X of the largest eigenvalue theta, found by Lanczos
// iteration with full reorthogonalisation: each step reads X once, in blocks
// of rows, for X^T (X q); X^T X itself is never formed. The start vector is
// fixed: the region's centred mean plus a tenth of a fixed pseudo-random
// vector (so that no component is missing from it). The iteration stops when
// the Ritz pair's residual |X^T X v - theta v| falls to kEigenvariateTolerance
// times theta, or after kEigenvariateMaxSteps steps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/boundedtext.h"

namespace ppi::analysis {

constexpr double kEigenvariateTolerance = 1e-6;
constexpr int kEigenvariateMaxSteps = 200;

struct Eigenvariate {
  bool ok = false;
  // One value per volume: v scaled by sqrt(theta / voxels), the root mean
  // square of the voxels' loadings on the component, so that voxels that all
  // carry one signal (each with its own constant) give that signal, centred.
  // Its sign makes it correlate positively with the region's mean (when the
  // two are uncorrelated: its largest value is positive).
  std::vector<float> values;
  double explainedShare = 0.0;  // theta over the voxels' total sum of squares about their means
  int steps = 0;                // Lanczos steps taken
  MessageText why;              // empty when ok; otherwise why there is none
};

// The region's voxels start at samples + offsets[i] and hold nrOfVolumes
// samples each (sample(cell, t) = samples[cell * nrOfVolumes + t]). Fails,
// saying why, for no voxels or samples, fewer than 2 volumes, a sample that is
// not finite, voxels that are all constant, or no convergence.
Eigenvariate firstEigenvariate(const std::int16_t* samples, const std::vector<std::size_t>& offsets,
                               std::size_t nrOfVolumes);
Eigenvariate firstEigenvariate(const float* samples, const std::vector<std::size_t>& offsets,
                               std::size_t nrOfVolumes);

}  // namespace ppi::analysis
