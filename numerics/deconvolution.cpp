#include "numerics/deconvolution.h"

#include <Eigen/Dense>
#include <Eigen/SparseCholesky>
#include <Eigen/SparseCore>
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <utility>

namespace ppi::analysis {
namespace {

using SparseMatrix = Eigen::SparseMatrix<double, Eigen::ColMajor, int>;
using Factor = Eigen::SimplicialLDLT<SparseMatrix, Eigen::Upper, Eigen::NaturalOrdering<int>>;

// One run's least-squares problem: the kernel cut to the run, the data, H^T y,
// and the band of H^T H in a sparse matrix whose pattern (the full band,
// explicit zeros included) stays fixed while the penalty changes. The band is
// at least 1 wide, for the penalty's own off-diagonal.
class Problem {
 public:
  template <typename Value>
  Problem(const std::vector<Value>& bold, const std::vector<double>& kernel)
      : n_(bold.size()),
        width_(std::min(kernel.size(), bold.size())),
        band_(std::max<std::size_t>(width_ - 1, 1)),
        h_(kernel.begin(), kernel.begin() + static_cast<std::ptrdiff_t>(width_)),
        y_(bold.begin(), bold.end()) {}

  std::size_t size() const { return n_; }
  std::size_t band() const { return band_; }
  const std::vector<double>& bold() const { return y_; }

  // Fills H^T y, H^T 1 and the band of H^T H, where
  //   (H^T H)(i + o, i) = sum over u = 0 .. min(width - 1 - o, n - 1 - i - o) of h[u] h[u + o],
  // the sum cut where the run ends; prefix sums of the lagged products give
  // each entry at once.
  void assemble() {
    const std::size_t n = n_, w = width_;
    rightHandSides_.resize(static_cast<Eigen::Index>(n), 2);
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t last = std::min(n - 1, i + w - 1);
      double withData = 0.0, withOnes = 0.0;
      for (std::size_t t = i; t <= last; ++t) {
        withData += h_[t - i] * y_[t];
        withOnes += h_[t - i];
      }
      rightHandSides_(static_cast<Eigen::Index>(i), 0) = withData;
      rightHandSides_(static_cast<Eigen::Index>(i), 1) = withOnes;
    }

    // prefix[o][m] = sum over u = 0 .. m of h[u] h[u + o].
    std::vector<std::vector<double>> prefix(w);
    for (std::size_t o = 0; o < w; ++o) {
      prefix[o].resize(w - o);
      double sum = 0.0;
      for (std::size_t u = 0; u + o < w; ++u) {
        sum += h_[u] * h_[u + o];
        prefix[o][u] = sum;
      }
    }

    // The upper triangle, column by column: column j holds rows j - m'_j .. j,
    // m'_j = min(band, j), so that the factorisation reads it in place.
    matrix_.resize(static_cast<Eigen::Index>(n), static_cast<Eigen::Index>(n));
    Eigen::VectorXi perColumn(static_cast<Eigen::Index>(n));
    for (std::size_t j = 0; j < n; ++j) {
      perColumn[static_cast<Eigen::Index>(j)] = static_cast<int>(std::min(band_, j) + 1);
    }
    matrix_.reserve(perColumn);
    double diagonalSum = 0.0;
    for (std::size_t j = 0; j < n; ++j) {
      for (std::size_t o = std::min(band_, j) + 1; o-- > 0;) {
        // Row i = j - o of column j: by symmetry, (H^T H)(i + o, i) above.
        const std::size_t i = j - o;
        const double value = o < w ? prefix[o][std::min(w - 1 - o, n - 1 - i - o)] : 0.0;
        matrix_.insert(static_cast<Eigen::Index>(i), static_cast<Eigen::Index>(j)) = value;
        if (o == 0) diagonalSum += value;
      }
    }
    matrix_.makeCompressed();
    gram_.assign(matrix_.valuePtr(), matrix_.valuePtr() + matrix_.nonZeros());
    meanGramDiagonal_ = diagonalSum / static_cast<double>(n);
  }

  // The penalty's own scale: D^T D has 1, 2, ..., 2, 1 on its diagonal.
  double meanPenaltyDiagonal() const {
    return 2.0 * static_cast<double>(n_ - 1) / static_cast<double>(n_);
  }
  double meanGramDiagonal() const { return meanGramDiagonal_; }

  // M = H^T H + lambda D^T D, in the matrix's values: each column ends with
  // its diagonal, the entry above it being D^T D's -1.
  const SparseMatrix& penalised(double lambda) {
    double* values = matrix_.valuePtr();
    std::copy(gram_.begin(), gram_.end(), values);
    const int* ends = matrix_.outerIndexPtr() + 1;
    for (std::size_t j = 0; j < n_; ++j) {
      const int diagonal = ends[j] - 1;
      const bool end = j == 0 || j + 1 == n_;
      values[diagonal] += lambda * (end ? 1.0 : 2.0);
      if (j > 0) values[diagonal - 1] -= lambda;
    }
    return matrix_;
  }

  // out = H s, cut to the run.
  void convolve(const double* s, std::vector<double>& out) const {
    out.resize(n_);
    for (std::size_t t = 0; t < n_; ++t) {
      const std::size_t last = std::min(width_ - 1, t);
      double sum = 0.0;
      for (std::size_t k = 0; k <= last; ++k) sum += h_[k] * s[t - k];
      out[t] = sum;
    }
  }

  // out = H^T v.
  void correlate(const std::vector<double>& v, Eigen::VectorXd& out) const {
    out.resize(static_cast<Eigen::Index>(n_));
    for (std::size_t i = 0; i < n_; ++i) {
      const std::size_t last = std::min(n_ - 1, i + width_ - 1);
      double sum = 0.0;
      for (std::size_t t = i; t <= last; ++t) sum += h_[t - i] * v[t];
      out[static_cast<Eigen::Index>(i)] = sum;
    }
  }

  // H^T y and H^T 1, the columns of the normal equations' right-hand side.
  const Eigen::MatrixX2d& rightHandSides() const { return rightHandSides_; }

 private:
  std::size_t n_, width_, band_;
  std::vector<double> h_, y_;
  Eigen::MatrixX2d rightHandSides_;
  SparseMatrix matrix_;
  std::vector<double> gram_;  // H^T H's values in the matrix's storage order
  double meanGramDiagonal_ = 0.0;
};

// The band of M^-1 from M = L D L^T (L unit lower with the same band), by the
// recurrence Z = D^-1 L^-1 + (I - L^T) Z taken from the last column back:
//   Z(j + a, j) = -sum over c = 1 .. m of L(j + c, j) Z(j + a, j + c)   (a = 1 .. m),
//   Z(j, j) = 1 / d_j - sum over c = 1 .. m of L(j + c, j) Z(j + c, j),
// m = min(b, n - 1 - j). Every Z(j + a, j + c) it needs lies within the band
// already computed. Each column of the band is kept whole, above and below
// the diagonal (2b + 1 entries), so that those Z(j + a, j + c) form a block
// with a fixed stride and each column takes one matrix-vector product.
class SelectedInverse {
 public:
  // tr(M^-1 D^T D), or NaN when the factor's pattern leaves the band.
  double penaltyTrace(const Factor& factor, std::size_t n, std::size_t band) {
    const std::size_t width = 2 * band + 1;
    const Eigen::Index stride = static_cast<Eigen::Index>(width - 1);
    // lower_[j * band + c - 1] = L(j + c, j), c = 1 .. band.
    lower_.assign(n * band, 0.0);
    const SparseMatrix& l = factor.matrixL().nestedExpression();
    for (Eigen::Index j = 0; j < l.outerSize(); ++j) {
      for (SparseMatrix::InnerIterator it(l, j); it; ++it) {
        const Eigen::Index c = it.row() - j;
        if (c < 1 || c > static_cast<Eigen::Index>(band)) return std::nan("");
        lower_[static_cast<std::size_t>(j) * band + static_cast<std::size_t>(c - 1)] = it.value();
      }
    }
    // full_[k * width + band + o] = Z(k + o, k), o = -band .. band.
    full_.resize(n * width);
    const auto& d = factor.vectorD();
    for (std::size_t j = n; j-- > 0;) {
      const Eigen::Index m = static_cast<Eigen::Index>(std::min(band, n - 1 - j));
      // centre[a + c * stride] = Z(j + a, j + c).
      double* centre = &full_[j * width + band];
      const Eigen::Map<const Eigen::VectorXd> l(&lower_[j * band], m);
      column_.resize(m);
      if (m > 0) {
        const Eigen::Map<const Eigen::MatrixXd, 0, Eigen::OuterStride<>> block(
            centre + 1 + stride, m, m, Eigen::OuterStride<>(stride));
        column_.noalias() = -(block * l);
      }
      centre[0] = 1.0 / d[static_cast<Eigen::Index>(j)] - l.dot(column_);
      for (Eigen::Index a = 1; a <= m; ++a) {
        centre[a] = column_[a - 1];           // Z(j + a, j) in column j
        centre[a * stride] = column_[a - 1];  // Z(j, j + a) in column j + a
      }
    }
    // D^T D: 1, 2, ..., 2, 1 on the diagonal, -1 beside it.
    double trace = 0.0;
    for (std::size_t j = 0; j < n; ++j) {
      const bool end = j == 0 || j + 1 == n;
      trace += (end ? 1.0 : 2.0) * full_[j * width + band];
      if (j + 1 < n) trace -= 2.0 * full_[j * width + band + 1];
    }
    return trace;
  }

 private:
  std::vector<double> lower_, full_;
  Eigen::VectorXd column_;
};

NeuralEstimate failed(const char* format, ...) PPI_PRINTF_FORMAT(1, 2);
NeuralEstimate failed(const char* format, ...) {
  char line[kMessageLimit + 1];
  std::va_list arguments;
  va_start(arguments, format);
  formatBoundedV(line, sizeof line, format, arguments);
  va_end(arguments);
  NeuralEstimate estimate;
  estimate.why.assignCut(line);
  return estimate;
}

}  // namespace

NeuralEstimate deconvolve(const std::vector<float>& bold, const std::vector<double>& kernel) {
  if (bold.size() < 2) {
    return failed("the signal has %zu volumes; deconvolution needs at least 2", bold.size());
  }
  for (std::size_t t = 0; t < bold.size(); ++t) {
    if (!std::isfinite(bold[t])) return failed("the signal is not finite at volume %zu", t);
  }
  for (std::size_t k = 0; k < kernel.size(); ++k) {
    if (!std::isfinite(kernel[k])) return failed("the kernel is not finite at lag %zu", k);
  }
  const std::size_t used = std::min(kernel.size(), bold.size());
  if (std::all_of(kernel.begin(), kernel.begin() + static_cast<std::ptrdiff_t>(used),
                  [](double v) { return v == 0.0; })) {
    return failed("the kernel's first %zu lags are all zero (or there are none)", used);
  }

  Problem problem(bold, kernel);
  problem.assemble();
  const std::size_t n = problem.size();
  const double scale = problem.meanGramDiagonal() / problem.meanPenaltyDiagonal();

  Factor factor;
  factor.analyzePattern(problem.penalised(scale));
  SelectedInverse selected;
  NeuralEstimate best;
  Eigen::VectorXd bestSignal;
  std::vector<double> fitData, fitOnes;
  bool factorised = false;  // some weight gave a sound fit
  const std::vector<double>& y = problem.bold();
  int bestPoint = -1;
  // Fits the penalty weight of grid point k; keeps it when its GCV score is
  // lower than the best so far.
  auto tryPoint = [&](int k) {
    const double rho = std::pow(10.0, kGcvLowestExponent + k * kGcvExponentStep);
    const double lambda = rho * scale;
    factor.factorize(problem.penalised(lambda));
    if (factor.info() != Eigen::Success || !(factor.vectorD().minCoeff() > 0.0)) return;
    // x = M^-1 [H^T y, H^T 1]; H x = [A y, A 1].
    const Eigen::MatrixX2d x = factor.solve(problem.rightHandSides());
    problem.convolve(x.col(0).data(), fitData);
    problem.convolve(x.col(1).data(), fitOnes);
    // The offset c minimises (y - c 1)^T (I - A) (y - c 1); with e = (I - A) 1
    // it is 1^T (I - A) y / 1^T e, and it adds e^T e / 1^T e to the hat
    // matrix's trace. When 1^T e vanishes (H passes constants whole, as the
    // identity does), the signal's own level already is the offset.
    double onesResidual = 0.0, onesE = 0.0, eE = 0.0;
    for (std::size_t t = 0; t < n; ++t) {
      const double e = 1.0 - fitOnes[t];
      onesResidual += y[t] - fitData[t];
      onesE += e;
      eE += e * e;
    }
    const bool withOffset = onesE > 1e-9 * static_cast<double>(n);
    const double offset = withOffset ? onesResidual / onesE : 0.0;
    double rss = 0.0;
    for (std::size_t t = 0; t < n; ++t) {
      const double r = y[t] - fitData[t] - offset * (1.0 - fitOnes[t]);
      rss += r * r;
    }
    const double penaltyTrace = selected.penaltyTrace(factor, n, problem.band());
    if (!std::isfinite(penaltyTrace) || !std::isfinite(rss)) return;
    factorised = true;
    const double hatTrace =
        static_cast<double>(n) - lambda * penaltyTrace + (withOffset ? eE / onesE : 0.0);
    const double freedom = static_cast<double>(n) - hatTrace;
    if (!(freedom > 1e-9 * static_cast<double>(n))) return;
    const double gcv = static_cast<double>(n) * rss / (freedom * freedom);
    if (!best.ok || gcv < best.gcv) {
      best.ok = true;
      best.lambda = lambda;
      best.gcv = gcv;
      best.hatTrace = hatTrace;
      best.offset = offset;
      bestSignal = x.col(0) - offset * x.col(1);
      bestPoint = k;
    }
  };
  // Every other point from the largest weight down, so that ties keep the
  // larger one; then the points on either side of the best.
  for (int k = kGcvGridPoints - 1; k >= 0; k -= 2) tryPoint(k);
  if (bestPoint >= 0) {
    const int coarseBest = bestPoint;
    if (coarseBest + 1 < kGcvGridPoints) tryPoint(coarseBest + 1);
    if (coarseBest > 0) tryPoint(coarseBest - 1);
  }
  if (!best.ok && factorised) {
    return failed(
        "the fit reproduces all %zu volumes at every penalty weight, so GCV cannot choose one", n);
  }
  if (!best.ok) {
    return failed("the penalised normal equations broke down at every penalty weight tried (%d)",
                  kGcvGridPoints / 2 + 1);
  }
  best.values.resize(n);
  for (std::size_t t = 0; t < n; ++t) {
    best.values[t] = static_cast<float>(bestSignal[static_cast<Eigen::Index>(t)]);
  }
  best.gridPoint = bestPoint;
  best.relativePenalty = std::pow(10.0, kGcvLowestExponent + bestPoint * kGcvExponentStep);
  best.edge = bestPoint == 0                   ? GridEdge::lowest
              : bestPoint == kGcvGridPoints - 1 ? GridEdge::highest
                                                : GridEdge::none;
  return best;
}

namespace {

// The linear map D from a BOLD series g to its estimate at one penalty
// weight, the offset taken apart as deconvolve takes it:
//   x = M^-1 H^T g, c = 1^T (g - H x) / 1^T e, D g = x - c M^-1 H^T 1.
class EstimateMap {
 public:
  EstimateMap(std::size_t volumes, const std::vector<double>& kernel, double lambda)
      : problem_(std::vector<double>(volumes, 0.0), kernel) {
    problem_.assemble();
    factor_.compute(problem_.penalised(lambda));
    ok_ = factor_.info() == Eigen::Success;
    if (!ok_) return;
    ones_ = factor_.solve(problem_.rightHandSides().col(1));
    std::vector<double> fitOnes;
    problem_.convolve(ones_.data(), fitOnes);
    for (std::size_t t = 0; t < volumes; ++t) onesE_ += 1.0 - fitOnes[t];
    withOffset_ = onesE_ > 1e-9 * static_cast<double>(volumes);
  }

  bool ok() const { return ok_; }
  const Problem& problem() const { return problem_; }

  // estimate = D g.
  void apply(const std::vector<double>& g, Eigen::VectorXd& estimate) {
    problem_.correlate(g, right_);
    estimate = factor_.solve(right_);
    problem_.convolve(estimate.data(), fit_);
    if (!withOffset_) return;
    double residual = 0.0;
    for (std::size_t t = 0; t < g.size(); ++t) residual += g[t] - fit_[t];
    estimate -= (residual / onesE_) * ones_;
  }

 private:
  Problem problem_;
  Factor factor_;
  bool ok_ = false;
  Eigen::VectorXd ones_, right_;
  std::vector<double> fit_;
  double onesE_ = 0.0;
  bool withOffset_ = false;
};

// H e_i, cut to the run: the kernel from volume i on.
void impulseResponse(const std::vector<double>& kernel, std::size_t i, std::vector<double>& out) {
  std::fill(out.begin(), out.end(), 0.0);
  for (std::size_t k = 0; k < kernel.size() && i + k < out.size(); ++k) out[i + k] = kernel[k];
}

}  // namespace

std::vector<double> resolutionDiagonal(std::size_t volumes, const std::vector<double>& kernel,
                                       double lambda) {
  if (volumes < 2 || kernel.empty() || !(lambda >= 0.0)) return {};
  EstimateMap map(volumes, kernel, lambda);
  if (!map.ok()) return {};
  std::vector<double> diagonal(volumes), response(volumes);
  Eigen::VectorXd estimate;
  for (std::size_t i = 0; i < volumes; ++i) {
    impulseResponse(kernel, i, response);
    map.apply(response, estimate);
    diagonal[i] = estimate[static_cast<Eigen::Index>(i)];
  }
  return diagonal;
}

std::vector<double> couplingWeights(const std::vector<float>& region,
                                    const std::vector<std::vector<float>>& columns,
                                    const std::vector<double>& kernel, double lambda) {
  const std::size_t n = region.size();
  if (n < 3 || kernel.empty() || !(lambda >= 0.0)) return {};
  // The design's other columns and the constant, and an orthonormal basis Q of their span.
  Eigen::MatrixXd design(static_cast<Eigen::Index>(n),
                         static_cast<Eigen::Index>(columns.size() + 1));
  design.col(0).setOnes();
  for (std::size_t j = 0; j < columns.size(); ++j) {
    if (columns[j].size() != n) return {};
    for (std::size_t t = 0; t < n; ++t) {
      design(static_cast<Eigen::Index>(t), static_cast<Eigen::Index>(j + 1)) = columns[j][t];
    }
  }
  if (!design.allFinite()) return {};
  const Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(design);
  const Eigen::Index rank = qr.rank();
  if (static_cast<std::size_t>(rank) + 2 >= n) return {};
  const Eigen::MatrixXd basis =
      qr.householderQ() * Eigen::MatrixXd::Identity(static_cast<Eigen::Index>(n), rank);
  auto annihilate = [&](Eigen::VectorXd& v) { v -= basis * (basis.transpose() * v); };

  // The region signal's part the design leaves, and its autocovariance at lags 1 .. L.
  Eigen::VectorXd rest(static_cast<Eigen::Index>(n));
  for (std::size_t t = 0; t < n; ++t) rest[static_cast<Eigen::Index>(t)] = region[t];
  if (!rest.allFinite()) return {};
  const double whole = rest.squaredNorm();
  annihilate(rest);
  // Nothing beyond the columns' span but rounding: no coupling to weigh.
  if (!(rest.squaredNorm() > kCouplingLeastRest * whole)) return {};
  const std::size_t lags = std::min(n - 1, std::min(kernel.size(), n) + kCouplingExtraLags);
  std::vector<double> lagged(lags + 1, 0.0);
  for (std::size_t l = 1; l <= lags; ++l) {
    double sum = 0.0;
    for (std::size_t t = 0; t + l < n; ++t) {
      sum += rest[static_cast<Eigen::Index>(t)] * rest[static_cast<Eigen::Index>(t + l)];
    }
    lagged[l] = sum / static_cast<double>(n);
  }
  // C v for the Toeplitz C with lagged[l] off the diagonal and 0 on it.
  auto offDiagonal = [&](const Eigen::VectorXd& v, Eigen::VectorXd& out) {
    out.setZero(v.size());
    for (std::size_t t = 0; t < n; ++t) {
      double sum = 0.0;
      for (std::size_t l = 1; l <= lags; ++l) {
        if (t >= l) sum += lagged[l] * v[static_cast<Eigen::Index>(t - l)];
        if (t + l < n) sum += lagged[l] * v[static_cast<Eigen::Index>(t + l)];
      }
      out[static_cast<Eigen::Index>(t)] = sum;
    }
  };
  // The diagonal that makes tr(P M) = 0 for P the annihilator: the share of
  // the coupling the region signal's coefficient takes up.
  double projected = 0.0;
  Eigen::VectorXd column, product;
  for (Eigen::Index j = 0; j < rank; ++j) {
    column = basis.col(j);
    offDiagonal(column, product);
    projected += column.dot(product);
  }
  const double diagonal = projected / static_cast<double>(static_cast<Eigen::Index>(n) - rank);

  EstimateMap map(n, kernel, lambda);
  if (!map.ok()) return {};
  std::vector<double> weights(n), response(n), coupled(n);
  Eigen::VectorXd residual(static_cast<Eigen::Index>(n)), estimate;
  for (std::size_t i = 0; i < n; ++i) {
    impulseResponse(kernel, i, response);
    for (std::size_t t = 0; t < n; ++t) residual[static_cast<Eigen::Index>(t)] = response[t];
    annihilate(residual);
    offDiagonal(residual, product);
    for (std::size_t t = 0; t < n; ++t) {
      const Eigen::Index at = static_cast<Eigen::Index>(t);
      coupled[t] = product[at] + diagonal * residual[at];
    }
    map.apply(coupled, estimate);
    weights[i] = estimate[static_cast<Eigen::Index>(i)] - estimate.mean();
  }
  double sum = 0.0, size = 0.0;
  for (double w : weights) {
    sum += w;
    size += std::fabs(w);
  }
  if (!std::isfinite(sum) || !(sum > kCouplingWeightBalance * size)) return {};
  return weights;
}

DeconvolutionSummary summarizeDeconvolution(const NeuralEstimate& estimate,
                                            std::size_t kernelVolumes) {
  DeconvolutionSummary summary;
  if (!estimate.ok) return summary;
  summary.done = true;
  summary.volumes = estimate.values.size();
  summary.kernelVolumes = kernelVolumes;
  summary.penalty = estimate.lambda;
  summary.relativePenalty = estimate.relativePenalty;
  summary.effectiveParameters = estimate.hatTrace;
  summary.edge = estimate.edge;
  return summary;
}

std::string separationWarning(const DeconvolutionSummary& summary) {
  if (!summary.done) return {};
  const bool lowest = summary.edge == GridEdge::lowest;
  const bool overfitted = summary.effectiveParameters >
                          kEffectiveParameterLimit * static_cast<double>(summary.volumes);
  if (!lowest && !overfitted) return {};
  char figures[kMessageLimit + 1];
  formatBounded(figures, sizeof figures,
                "%s%.1f effective parameters of %zu volumes%s",
                lowest ? "the deconvolution's penalty is the lowest of its grid; " : "",
                summary.effectiveParameters, summary.volumes, overfitted ? ", above " : "");
  if (overfitted) {
    const std::size_t used = std::strlen(figures);
    formatBounded(figures + used, sizeof figures - used, "%.0f %%",
                  100.0 * kEffectiveParameterLimit);
  }
  return std::string(kNotSeparatedFromNoise) + " (" + figures + ")";
}

const char* factorCentreName(FactorCentre centre) {
  switch (centre) {
    case FactorCentre::coupling:
      return "coupling weights";
    case FactorCentre::resolution:
      return "resolution diagonal";
    case FactorCentre::none:
      break;
  }
  return "";
}

const char* gridEdgeName(GridEdge edge) {
  switch (edge) {
    case GridEdge::lowest:
      return "lowest";
    case GridEdge::highest:
      return "highest";
    case GridEdge::none:
      break;
  }
  return "";
}

}  // namespace ppi::analysis
