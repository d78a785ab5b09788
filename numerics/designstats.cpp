#include "numerics/designstats.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <limits>

namespace ppi::analysis {

namespace {

// The predictors that vary, centred and scaled to unit length: one contiguous
// column each. Their inner products are their correlations.
Eigen::MatrixXd standardisedColumns(const std::vector<Predictor>& predictors,
                                    const DesignStats& stats) {
  const Eigen::Index volumes = static_cast<Eigen::Index>(predictors.front().values.size());
  Eigen::MatrixXd columns(volumes, static_cast<Eigen::Index>(stats.correlated.size()));
  for (std::size_t c = 0; c < stats.correlated.size(); ++c) {
    const std::size_t p = stats.correlated[c];
    const std::vector<float>& values = predictors[p].values;
    const double mean = stats.predictors[p].mean;
    double* column = columns.col(static_cast<Eigen::Index>(c)).data();
    double sumOfSquares = 0;
    for (Eigen::Index v = 0; v < volumes; ++v) {
      column[v] = static_cast<double>(values[static_cast<std::size_t>(v)]) - mean;
      sumOfSquares += column[v] * column[v];
    }
    const double length = std::sqrt(sumOfSquares);
    for (Eigen::Index v = 0; v < volumes; ++v) column[v] /= length;
  }
  return columns;
}

// The factorisation of the varying columns that every statistic of the
// design's rank and its terms' variance inflation comes from: one QR
// decomposition with column pivoting, X P = Q R. A column counts as dependent
// on those before it in the pivot order when what they leave of it is within
// the collinearity tolerance of its (unit) length.
Eigen::ColPivHouseholderQR<Eigen::MatrixXd> pivotedQr(const Eigen::MatrixXd& columns) {
  Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(columns.rows(), columns.cols());
  qr.setThreshold(std::sqrt(kCollinearTolerance));
  qr.compute(columns);
  return qr;
}

// A dependent column's residual (what the basis columns leave of it) counts
// as nothing, the column an exact combination of others, below this multiple
// of machine precision per column: the rounding of the decomposition.
constexpr double kExactResidual = 1.0;  // x machine epsilon x columns
// A basis column's share in an exact dependency counts when above this; below
// it, it is the rounding of the dependency's coefficients.
constexpr double kDependencyShare = 1e-8;

// 1 - R^2 of each varying column regressed on all the others (all centred, so
// the intercept is accounted for), from the one factorisation, with no
// regression of its own. In the pivot order the r basis columns come first:
// R = [R11 R12; 0 R22], R11 r x r. A dependent column (one of the last) lies
// within the tolerance in the span of the basis columns: explained (0). For a
// basis column at position k, u^2 = 1 / (R11^-1 R11^-T)_kk is what the other
// basis columns leave of it, the squared length of row k of R11^-1 (a column
// of R11^-T, read contiguously). The dependent columns explain part of the
// rest: with t their coefficients on it (row k of R11^-1 R12) and R22 their
// residuals, 1 - R^2 = 1 / (1 / u^2 + t' (R22' R22)^+ t), through the
// singular value decomposition of R22; a residual direction that is only
// rounding (an exact dependency) explains the column entirely when the
// column takes a share in it, and nothing otherwise. Cost: one QR,
// O(volumes P^2), and the triangle's inverse, O(P^3).
std::vector<double> unexplainedFractions(const Eigen::ColPivHouseholderQR<Eigen::MatrixXd>& qr) {
  const Eigen::Index varying = qr.cols();
  std::vector<double> unexplained(static_cast<std::size_t>(varying), 0.0);
  if (varying == 1) {
    unexplained[0] = 1;  // nothing else to explain it
    return unexplained;
  }
  const Eigen::Index rank = qr.rank();
  const Eigen::Index dependent = varying - rank;
  const auto& packed = qr.matrixQR();
  const Eigen::MatrixXd r11 = packed.topLeftCorner(rank, rank).triangularView<Eigen::Upper>();
  // R11^-T: lower triangular; its column k is row k of R11^-1.
  Eigen::MatrixXd inverseTransposed = Eigen::MatrixXd::Identity(rank, rank);
  r11.transpose().triangularView<Eigen::Lower>().solveInPlace(inverseTransposed);

  // The dependent columns' residual directions: V' t, divided by the
  // singular values where they are more than rounding; the others flag an
  // exact dependency.
  Eigen::MatrixXd weighted;  // column k: the weighted coordinates of basis column k
  Eigen::MatrixXd exactShare;  // column k: its coordinates along exact dependencies
  if (dependent > 0) {
    const Eigen::MatrixXd coefficients =
        packed.topRightCorner(rank, dependent).transpose() * inverseTransposed;  // T'
    const Eigen::Index residualRows = std::min(packed.rows(), varying) - rank;
    Eigen::MatrixXd r22 = Eigen::MatrixXd::Zero(std::max<Eigen::Index>(residualRows, 0), dependent);
    if (residualRows > 0) {
      r22 = packed.bottomRightCorner(packed.rows() - rank, dependent)
                .topRows(residualRows)
                .triangularView<Eigen::Upper>();
    }
    const Eigen::JacobiSVD<Eigen::MatrixXd> svd(r22, Eigen::ComputeFullV);
    const Eigen::MatrixXd rotated = svd.matrixV().transpose() * coefficients;
    const double rounding = kExactResidual * std::numeric_limits<double>::epsilon() *
                            static_cast<double>(std::min(packed.rows(), varying));
    const Eigen::VectorXd& sigma = svd.singularValues();
    Eigen::Index kept = 0;
    while (kept < sigma.size() && sigma[kept] > rounding) ++kept;
    weighted = sigma.head(kept).cwiseInverse().asDiagonal() * rotated.topRows(kept);
    exactShare = rotated.bottomRows(dependent - kept);
  }
  const auto& order = qr.colsPermutation().indices();
  for (Eigen::Index k = 0; k < rank; ++k) {
    if (exactShare.size() > 0 && exactShare.col(k).cwiseAbs().maxCoeff() > kDependencyShare) {
      continue;  // an exact combination of the others
    }
    double inverseFraction = inverseTransposed.col(k).tail(rank - k).squaredNorm();
    if (weighted.size() > 0) inverseFraction += weighted.col(k).squaredNorm();
    unexplained[static_cast<std::size_t>(order[k])] = std::min(1.0, 1.0 / inverseFraction);
  }
  return unexplained;
}

}  // namespace

DesignStats computeDesignStats(const std::vector<Predictor>& predictors, StatsScope scope) {
  DesignStats stats;
  if (predictors.empty()) {
    stats.problem = "The design matrix has no predictors.";
    return stats;
  }
  const std::size_t volumes = predictors.front().values.size();
  if (volumes < 2) {
    stats.problem = "The design matrix has fewer than 2 volumes.";
    return stats;
  }
  for (const Predictor& predictor : predictors) {
    if (predictor.values.size() != volumes) {
      stats.problem = "The predictor \"" + predictor.name + "\" has " +
                      std::to_string(predictor.values.size()) + " values, the first has " +
                      std::to_string(volumes) + ".";
      return stats;
    }
  }

  stats.predictors.reserve(predictors.size());
  for (const Predictor& predictor : predictors) {
    PredictorSummary summary;
    summary.name = predictor.name;
    const std::vector<float>& values = predictor.values;
    double sum = 0;
    float minimum = values.front();
    float maximum = values.front();
    for (std::size_t v = 0; v < volumes; ++v) {
      if (!std::isfinite(values[v])) {
        stats.problem = "The predictor \"" + predictor.name +
                        "\" has a value that is not finite (volume " + std::to_string(v + 1) + ").";
        return stats;
      }
      sum += values[v];
      minimum = std::min(minimum, values[v]);
      maximum = std::max(maximum, values[v]);
    }
    summary.mean = sum / static_cast<double>(volumes);
    double squares = 0;
    for (std::size_t v = 0; v < volumes; ++v) {
      const double deviation = values[v] - summary.mean;
      squares += deviation * deviation;
    }
    summary.standardDeviation = std::sqrt(squares / static_cast<double>(volumes - 1));
    summary.minimum = minimum;
    summary.maximum = maximum;
    summary.constant = minimum == maximum || predictor.name == "Constant";
    if (!summary.constant) stats.correlated.push_back(stats.predictors.size());
    stats.predictors.push_back(summary);
  }

  const Eigen::MatrixXd columns = standardisedColumns(predictors, stats);
  const std::size_t varying = stats.correlated.size();
  if (scope == StatsScope::records) {
    const Eigen::MatrixXd gram = columns.transpose() * columns;
    stats.correlations.resize(varying * varying);
    for (std::size_t a = 0; a < varying; ++a) {
      for (std::size_t b = 0; b < varying; ++b) {
        const double r = gram(static_cast<Eigen::Index>(a), static_cast<Eigen::Index>(b));
        stats.correlations[a * varying + b] = a == b ? 1.0 : std::clamp(r, -1.0, 1.0);
      }
    }
  }

  std::vector<double> unexplained;
  std::size_t rank = 0;
  if (varying > 0) {
    const Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr = pivotedQr(columns);
    rank = static_cast<std::size_t>(qr.rank());
    unexplained = unexplainedFractions(qr);
  }
  const double infinite = std::numeric_limits<double>::infinity();
  for (std::size_t p = 0; p < predictors.size(); ++p) {
    if (predictors[p].role != PredictorRole::ppiTerm) continue;
    PpiVif entry;
    entry.predictor = p;
    const auto position = std::find(stats.correlated.begin(), stats.correlated.end(), p);
    if (position == stats.correlated.end()) {
      entry.vif = infinite;  // a constant term cannot be told from the intercept
    } else {
      const double fraction = unexplained[static_cast<std::size_t>(position - stats.correlated.begin())];
      entry.vif = fraction <= kCollinearTolerance ? infinite : 1.0 / fraction;
    }
    stats.vifs.push_back(entry);
  }
  // The centred varying columns are orthogonal to the constant vector: the
  // design's rank is theirs, plus one when some predictor is a constant other
  // than 0.
  stats.columns = predictors.size();
  for (std::size_t p = 0; p < predictors.size(); ++p) {
    const PredictorSummary& summary = stats.predictors[p];
    const bool varies = std::find(stats.correlated.begin(), stats.correlated.end(), p) !=
                        stats.correlated.end();
    if (!varies && (summary.minimum != 0 || summary.maximum != 0)) {
      ++rank;
      break;
    }
  }
  stats.rank = rank;
  stats.valid = true;
  return stats;
}

}  // namespace ppi::analysis
