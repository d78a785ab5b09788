// Summary statistics of one design matrix for its provenance record and the QC
// report: each predictor's mean, spread and range, the correlations between the
// predictors that vary, and how well the other predictors explain each PPI
// term (its variance inflation factor).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace ppi::analysis {

// What a predictor of the design matrix stands for.
enum class PredictorRole {
  regionSignal,   // the region's z-normalised time course ("<label>_predictor")
  task,           // a task (psychological) regressor
  ppiTerm,        // an interaction term: task regressor times region signal
  complementary,  // the standard approach's "Complementary regressor"
  motion,         // a merged head-motion predictor
  constant,       // "Constant", 1 at every volume
  other,          // anything else
};

// One predictor as written to the design-matrix file.
struct Predictor {
  std::string name;
  std::vector<float> values;  // one per volume
  PredictorRole role = PredictorRole::other;
};

struct PredictorSummary {
  std::string name;
  double mean = 0;
  double standardDeviation = 0;  // sample standard deviation (n - 1); 0 for one volume
  double minimum = 0;
  double maximum = 0;
  bool constant = false;  // all values equal, or named "Constant"
};

// The variance inflation factor of a PPI term: 1 / (1 - R^2), R^2 of the term
// regressed, with an intercept, on every other predictor that varies.
struct PpiVif {
  std::size_t predictor = 0;  // index in file order
  double vif = 1;             // +infinity when R^2 is 1 within rounding, or the term is constant
};

struct DesignStats {
  bool valid = false;
  std::string problem;  // why the statistics could not be formed, when not valid

  std::vector<PredictorSummary> predictors;  // in file order
  // The predictors that vary (not constant), as indices in file order, and
  // their Pearson correlations: correlated.size() squared values, row by row.
  std::vector<std::size_t> correlated;
  std::vector<double> correlations;  // empty when formed for the checks only
  std::vector<PpiVif> vifs;  // one per PPI term, in file order
  // The rank of the design matrix (every predictor a column), and its number
  // of columns: a rank below it means some predictor is a linear combination
  // of the others and its estimate is not determined.
  std::size_t rank = 0;
  std::size_t columns = 0;

  // The correlation of the a-th and b-th predictors of `correlated`.
  double correlation(std::size_t a, std::size_t b) const {
    return correlations[a * correlated.size() + b];
  }
};

// A PPI term whose R^2 is within this of 1 counts as a linear combination of
// the other predictors (infinite VIF). The values are single precision: their
// rounding alone leaves a relative residual variance of about 1e-15.
constexpr double kCollinearTolerance = 1e-12;

// What the statistics are formed for: the design checks need the summaries,
// the variance inflation factors and the rank; the records and the QC report
// also the correlations.
enum class StatsScope { checks, records };

// Forms the statistics of a design's predictors (at least one, all with the
// same number of values, at least two, all finite). Means, spreads and
// correlations are summed in double precision, each predictor's values read in
// order. The rank and every PPI term's VIF come from one column-pivoting
// Householder QR decomposition of the varying predictors, centred and scaled
// to unit length, which copes with predictors that are themselves collinear
// (motion predictors often are) without forming the normal equations: the cost
// grows as volumes x P^2 + P^3, whatever the number of PPI terms. With
// `StatsScope::checks` the correlations are left empty.
DesignStats computeDesignStats(const std::vector<Predictor>& predictors,
                               StatsScope scope = StatsScope::records);

}  // namespace ppi::analysis
