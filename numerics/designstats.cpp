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

// 1 - R^2 of column `target` regressed on the others (all centred, so the
// intercept is accounted for).
double unexplainedFraction(const Eigen::MatrixXd& columns, Eigen::Index target) {
  const Eigen::Index others = columns.cols() - 1;
  if (others == 0) return 1;
  Eigen::MatrixXd design(columns.rows(), others);
  design.leftCols(target) = columns.leftCols(target);
  design.rightCols(others - target) = columns.rightCols(others - target);
  const Eigen::VectorXd y = columns.col(target);
  const Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(design);
  const Eigen::VectorXd residual = y - design * qr.solve(y);
  return std::min(1.0, residual.squaredNorm() / y.squaredNorm());
}

}  // namespace

DesignStats computeDesignStats(const std::vector<Predictor>& predictors) {
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
  const Eigen::MatrixXd gram = columns.transpose() * columns;
  stats.correlations.resize(varying * varying);
  for (std::size_t a = 0; a < varying; ++a) {
    for (std::size_t b = 0; b < varying; ++b) {
      const double r = gram(static_cast<Eigen::Index>(a), static_cast<Eigen::Index>(b));
      stats.correlations[a * varying + b] = a == b ? 1.0 : std::clamp(r, -1.0, 1.0);
    }
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
      const double unexplained = unexplainedFraction(
          columns, static_cast<Eigen::Index>(position - stats.correlated.begin()));
      entry.vif = unexplained <= kCollinearTolerance ? infinite : 1.0 / unexplained;
    }
    stats.vifs.push_back(entry);
  }
  // The centred varying columns are orthogonal to the constant vector: the
  // design's rank is theirs, plus one when some predictor is a constant other
  // than 0. A column counts as dependent when what the others leave of it is
  // within the collinearity tolerance of its variance.
  stats.columns = predictors.size();
  std::size_t rank = 0;
  if (varying > 0) {
    Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(columns);
    qr.setThreshold(std::sqrt(kCollinearTolerance));
    rank = static_cast<std::size_t>(qr.rank());
  }
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
