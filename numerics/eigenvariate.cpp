#include "numerics/eigenvariate.h"

#include <Eigen/Core>
#include <Eigen/Eigenvalues>
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>

namespace ppi::analysis {
namespace {

using RowMatrix = Eigen::Matrix<float, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

// Rows of X per block of X^T (X q): a block is read for X q and read again,
// from the cache, for X^T (X q).
constexpr Eigen::Index kBlockRows = 64;

Eigenvariate failed(const char* format, ...) PPI_PRINTF_FORMAT(1, 2);
Eigenvariate failed(const char* format, ...) {
  char line[kMessageLimit + 1];
  std::va_list arguments;
  va_start(arguments, format);
  formatBoundedV(line, sizeof line, format, arguments);
  va_end(arguments);
  Eigenvariate eigenvariate;
  eigenvariate.why.assignCut(line);
  return eigenvariate;
}

// The region's samples, each voxel centred over time, one row per voxel; the
// voxels' total sum of squares about their means; the centred region mean.
struct CentredRegion {
  RowMatrix x;
  Eigen::VectorXd mean;
  double total = 0.0;
};

// Copies and centres the voxels' time courses in the order they lie in
// memory. False, with the voxel's index, when a sample is not finite.
template <typename Sample>
bool centre(const Sample* samples, const std::vector<std::size_t>& offsets, std::size_t volumes,
            CentredRegion& region, std::size_t& badVoxel) {
  const Eigen::Index columns = static_cast<Eigen::Index>(volumes);
  region.x.resize(static_cast<Eigen::Index>(offsets.size()), columns);
  region.mean = Eigen::VectorXd::Zero(columns);
  region.total = 0.0;
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    const Sample* cell = samples + offsets[i];
    double sum = 0.0;
    for (std::size_t t = 0; t < volumes; ++t) sum += static_cast<double>(cell[t]);
    if (!std::isfinite(sum)) {
      badVoxel = i;
      return false;
    }
    const double mean = sum / static_cast<double>(volumes);
    float* row = region.x.data() + static_cast<Eigen::Index>(i) * columns;
    double* regionMean = region.mean.data();
    double squares = 0.0;
    for (std::size_t t = 0; t < volumes; ++t) {
      const double centred = static_cast<double>(cell[t]) - mean;
      row[t] = static_cast<float>(centred);
      squares += centred * centred;
      regionMean[t] += centred;
    }
    region.total += squares;
  }
  region.mean /= static_cast<double>(offsets.size());
  return true;
}

// w = X^T (X q), block of rows by block of rows.
void gramProduct(const RowMatrix& x, const Eigen::VectorXf& q, Eigen::VectorXf& w,
                 Eigen::VectorXf& u) {
  w.setZero();
  for (Eigen::Index first = 0; first < x.rows(); first += kBlockRows) {
    const Eigen::Index rows = std::min(kBlockRows, x.rows() - first);
    const auto block = x.middleRows(first, rows);
    u.head(rows).noalias() = block * q;
    w.noalias() += block.transpose() * u.head(rows);
  }
}

// The fixed start: the centred mean, normalised, plus a tenth of a centred
// pseudo-random unit vector from a fixed seed.
Eigen::VectorXd startVector(const Eigen::VectorXd& mean) {
  const Eigen::Index n = mean.size();
  Eigen::VectorXd noise(n);
  std::uint32_t state = 0x2545F491u;
  for (Eigen::Index t = 0; t < n; ++t) {
    state = state * 1664525u + 1013904223u;
    noise[t] = static_cast<double>(state >> 8) / 16777216.0 - 0.5;
  }
  noise.array() -= noise.mean();
  if (noise.norm() > 0.0) noise.normalize();
  Eigen::VectorXd start = mean;
  if (start.norm() > 0.0) start.normalize();
  start += 0.1 * noise;
  if (start.norm() > 0.0) {
    start.normalize();
  } else {
    start = Eigen::VectorXd::Constant(n, 1.0 / std::sqrt(static_cast<double>(n)));
  }
  return start;
}

Eigenvariate principalComponent(const CentredRegion& region) {
  const RowMatrix& x = region.x;
  const Eigen::Index volumes = x.cols();
  const Eigen::Index maxSteps = std::min<Eigen::Index>(kEigenvariateMaxSteps, volumes);
  Eigen::MatrixXd basis(volumes, maxSteps);
  basis.col(0) = startVector(region.mean);
  Eigen::VectorXd alpha(maxSteps), beta(maxSteps);
  Eigen::VectorXf q(volumes), product(volumes), u(std::min(kBlockRows, x.rows()));
  Eigen::VectorXd w(volumes), coefficients;
  Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> ritz;
  double theta = 0.0, residual = 0.0;
  Eigen::Index steps = 0;
  bool converged = false;
  while (steps < maxSteps) {
    const Eigen::Index j = steps++;
    q = basis.col(j).cast<float>();
    gramProduct(x, q, product, u);
    w = product.cast<double>();
    alpha[j] = basis.col(j).dot(w);
    // Against every basis vector so far, twice: the three-term recurrence's
    // own subtraction included, and no lost orthogonality.
    for (int pass = 0; pass < 2; ++pass) {
      coefficients.noalias() = basis.leftCols(j + 1).transpose() * w;
      w.noalias() -= basis.leftCols(j + 1) * coefficients;
    }
    beta[j] = w.norm();
    ritz.computeFromTridiagonal(alpha.head(j + 1), beta.head(j), Eigen::ComputeEigenvectors);
    if (ritz.info() != Eigen::Success) break;
    theta = ritz.eigenvalues()[j];  // ascending: the largest last
    residual = beta[j] * std::fabs(ritz.eigenvectors()(j, j));
    // Converged, or the basis spans an invariant subspace and is exact.
    if (residual <= kEigenvariateTolerance * theta || beta[j] <= 1e-12 * theta) {
      converged = true;
      break;
    }
    if (steps < maxSteps) basis.col(steps) = w / beta[j];
  }
  if (!converged || !(theta > 0.0)) {
    return failed(
        "the first principal component did not converge in %d Lanczos steps (residual %.3g of "
        "its eigenvalue %.6g)",
        static_cast<int>(steps), theta > 0.0 ? residual / theta : residual, theta);
  }

  Eigen::VectorXd v = basis.leftCols(steps) * ritz.eigenvectors().col(steps - 1);
  v.normalize();
  // The sign: positive correlation with the mean; when there is none to
  // speak of, the largest value positive.
  const double alongMean = v.dot(region.mean);
  if (std::fabs(alongMean) > 1e-6 * region.mean.norm()) {
    if (alongMean < 0.0) v = -v;
  } else {
    Eigen::Index largest = 0;
    v.cwiseAbs().maxCoeff(&largest);
    if (v[largest] < 0.0) v = -v;
  }

  Eigenvariate eigenvariate;
  eigenvariate.ok = true;
  eigenvariate.steps = static_cast<int>(steps);
  eigenvariate.explainedShare = std::min(1.0, theta / region.total);
  const double scale = std::sqrt(theta / static_cast<double>(x.rows()));
  eigenvariate.values.resize(static_cast<std::size_t>(volumes));
  for (Eigen::Index t = 0; t < volumes; ++t) {
    eigenvariate.values[static_cast<std::size_t>(t)] = static_cast<float>(scale * v[t]);
  }
  return eigenvariate;
}

template <typename Sample>
Eigenvariate compute(const Sample* samples, const std::vector<std::size_t>& offsets,
                     std::size_t volumes) {
  if (volumes < 2) {
    return failed("the time course has %zu volumes; an eigenvariate needs at least 2", volumes);
  }
  if (offsets.empty()) return failed("the region has no voxels");
  if (samples == nullptr) return failed("there are no samples");
  CentredRegion region;
  std::size_t badVoxel = 0;
  if (!centre(samples, offsets, volumes, region, badVoxel)) {
    return failed("voxel %zu of the region has a sample that is not finite", badVoxel);
  }
  if (!(region.total > 0.0)) {
    return failed("all %zu voxels of the region are constant over time", offsets.size());
  }
  return principalComponent(region);
}

}  // namespace

Eigenvariate firstEigenvariate(const std::int16_t* samples, const std::vector<std::size_t>& offsets,
                               std::size_t nrOfVolumes) {
  return compute(samples, offsets, nrOfVolumes);
}

Eigenvariate firstEigenvariate(const float* samples, const std::vector<std::size_t>& offsets,
                               std::size_t nrOfVolumes) {
  return compute(samples, offsets, nrOfVolumes);
}

}  // namespace ppi::analysis
