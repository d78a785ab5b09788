#include "numerics/designstats.h"

#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

using ppi::analysis::computeDesignStats;
using ppi::analysis::DesignStats;
using ppi::analysis::Predictor;
using ppi::analysis::PredictorRole;

constexpr double kInfinite = std::numeric_limits<double>::infinity();

Predictor ppi(std::vector<float> values) {
  return {"PPI_Seed", std::move(values), PredictorRole::ppiTerm};
}
Predictor named(const char* name, std::vector<float> values,
                PredictorRole role = PredictorRole::other) {
  return {name, std::move(values), role};
}

std::vector<float> combination(const std::vector<float>& task, const std::vector<float>& seed) {
  std::vector<float> values;
  for (std::size_t v = 0; v < task.size(); ++v) values.push_back(0.1f * task[v] + 0.7f * seed[v]);
  return values;
}

struct Correlation {
  const char* a;
  const char* b;
  double r;
};

struct StatsCase {
  const char* name;
  std::vector<Predictor> predictors;
  std::vector<std::string> varying;  // the predictors in the correlation matrix
  std::vector<Correlation> correlations;
  std::vector<double> vifs;  // of the PPI terms, in file order
};

std::size_t positionOf(const DesignStats& stats, const std::string& name) {
  for (std::size_t a = 0; a < stats.correlated.size(); ++a) {
    if (stats.predictors[stats.correlated[a]].name == name) return a;
  }
  ADD_FAILURE() << name << " is not in the correlation matrix";
  return 0;
}

class DesignStatsTable : public testing::TestWithParam<StatsCase> {};

// Hand-computed designs of four or five volumes.
INSTANTIATE_TEST_SUITE_P(
    HandComputed, DesignStatsTable,
    testing::Values(
        // Centred, mutually orthogonal columns: nothing explains the PPI term.
        StatsCase{"orthogonalPredictorsGiveVifOne",
                  {ppi({1, -1, 1, -1}), named("Task", {1, 1, -1, -1}, PredictorRole::task),
                   named("Seed_predictor", {1, -1, -1, 1}, PredictorRole::regionSignal),
                   named("Constant", {1, 1, 1, 1})},
                  {"PPI_Seed", "Task", "Seed_predictor"},
                  {{"PPI_Seed", "Task", 0},
                   {"PPI_Seed", "Seed_predictor", 0},
                   {"Task", "Seed_predictor", 0}},
                  {1}},
        // PPI = Task + 2 * Seed exactly: R^2 is 1.
        StatsCase{"ppiTermALinearCombinationIsInfinite",
                  {ppi({3, -1, -3, 1}), named("Task", {1, 1, -1, -1}, PredictorRole::task),
                   named("Seed_predictor", {1, -1, -1, 1}, PredictorRole::regionSignal)},
                  {"PPI_Seed", "Task", "Seed_predictor"},
                  {{"Task", "Seed_predictor", 0}},
                  {kInfinite}},
        // Two identical predictors correlate 1; being collinear with each
        // other they still explain nothing of an orthogonal PPI term.
        StatsCase{"identicalPredictorsCorrelateOne",
                  {ppi({1, -1, 1, -1}), named("Translation X", {2, 2, 0, 0}, PredictorRole::motion),
                   named("Translation Y", {2, 2, 0, 0}, PredictorRole::motion)},
                  {"PPI_Seed", "Translation X", "Translation Y"},
                  {{"Translation X", "Translation Y", 1}, {"PPI_Seed", "Translation X", 0}},
                  {1}},
        // A constant column, whatever its name, and a column named "Constant",
        // whatever its values, stay out of the matrix and the regressions.
        StatsCase{"constantPredictorsExcluded",
                  {ppi({1, 2, 3, 4}), named("Offset", {3, 3, 3, 3}), named("Other", {1, 3, 2, 4}),
                   named("Constant", {1, 1, 1, 2})},
                  {"PPI_Seed", "Other"},
                  {{"PPI_Seed", "Other", 0.8}},
                  {1 / (1 - 0.64)}},
        // x = 1..5, y = x except 5.5 at the end: r^2 = 121 / 122.
        StatsCase{"nearlyCollinearIsLargeButFinite",
                  {ppi({1, 2, 3, 4, 5}), named("Task", {1, 2, 3, 4, 5.5f}, PredictorRole::task)},
                  {"PPI_Seed", "Task"},
                  {{"PPI_Seed", "Task", 11 / std::sqrt(122.0)}},
                  {122}},
        // The same, 0.1 * Task + 0.7 * Seed, rounded to single precision as a
        // design file holds it: within rounding of R^2 = 1.
        StatsCase{"roundedLinearCombinationIsInfinite",
                  {ppi(combination({0.3f, 1.7f, -2.2f, 0.9f, 1.1f, -0.4f},
                                   {1.3f, -0.2f, 0.5f, -1.9f, 0.8f, 2.1f})),
                   named("Task", {0.3f, 1.7f, -2.2f, 0.9f, 1.1f, -0.4f}, PredictorRole::task),
                   named("Seed_predictor", {1.3f, -0.2f, 0.5f, -1.9f, 0.8f, 2.1f},
                         PredictorRole::regionSignal)},
                  {"PPI_Seed", "Task", "Seed_predictor"},
                  {},
                  {kInfinite}},
        StatsCase{"anticorrelatedPredictorsGiveMinusOne",
                  {ppi({1, 2, 3, 4}), named("Task", {-1, -3, -5, -7}, PredictorRole::task)},
                  {"PPI_Seed", "Task"},
                  {{"PPI_Seed", "Task", -1}},
                  {kInfinite}},
        // A PPI term that does not vary cannot be told from the intercept.
        StatsCase{"constantPpiTermIsInfinite",
                  {ppi({0, 0, 0, 0}),
                   named("Task", {1, 0, 1, 0}, PredictorRole::task),
                   {"PPI_Other", {0, 1, 0, 2}, PredictorRole::ppiTerm}},
                  {"Task", "PPI_Other"},
                  {{"Task", "PPI_Other", -3 / std::sqrt(11.0)}},
                  {kInfinite, 5.5}},
        StatsCase{"singlePredictorHasNoOthers", {ppi({1, 2, 4, 8})}, {"PPI_Seed"}, {}, {1}}),
    [](const testing::TestParamInfo<StatsCase>& info) { return info.param.name; });

TEST_P(DesignStatsTable, CorrelationsAndVifs) {
  const StatsCase& row = GetParam();
  const DesignStats stats = computeDesignStats(row.predictors);
  ASSERT_TRUE(stats.valid) << stats.problem;
  ASSERT_EQ(stats.predictors.size(), row.predictors.size());

  std::vector<std::string> varying;
  for (std::size_t index : stats.correlated) varying.push_back(stats.predictors[index].name);
  EXPECT_EQ(varying, row.varying);
  ASSERT_EQ(stats.correlations.size(), varying.size() * varying.size());
  for (std::size_t a = 0; a < varying.size(); ++a) {
    EXPECT_EQ(stats.correlation(a, a), 1.0);
    for (std::size_t b = 0; b < varying.size(); ++b) {
      EXPECT_EQ(stats.correlation(a, b), stats.correlation(b, a));
    }
  }
  for (const Correlation& expected : row.correlations) {
    EXPECT_NEAR(stats.correlation(positionOf(stats, expected.a), positionOf(stats, expected.b)),
                expected.r, 1e-9)
        << expected.a << " ~ " << expected.b;
  }

  ASSERT_EQ(stats.vifs.size(), row.vifs.size());
  for (std::size_t i = 0; i < row.vifs.size(); ++i) {
    EXPECT_EQ(row.predictors[stats.vifs[i].predictor].role, PredictorRole::ppiTerm);
    if (std::isinf(row.vifs[i])) {
      EXPECT_TRUE(std::isinf(stats.vifs[i].vif)) << stats.vifs[i].vif;
    } else {
      EXPECT_NEAR(stats.vifs[i].vif, row.vifs[i], 1e-6 * row.vifs[i]);
    }
  }
}

TEST(DesignStats, SummariesInFileOrderWithSampleStandardDeviation) {
  const DesignStats stats = computeDesignStats(
      {named("Task", {2, 4, 4, 4, 5, 5, 7, 9}), named("Constant", {1, 1, 1, 1, 1, 1, 1, 1}),
       named("Drift", {-1, -1, -1, -1, -1, -1, -1, -0.5f})});
  ASSERT_TRUE(stats.valid) << stats.problem;
  ASSERT_EQ(stats.predictors.size(), 3u);
  const auto& task = stats.predictors[0];
  EXPECT_EQ(task.name, "Task");
  EXPECT_DOUBLE_EQ(task.mean, 5);
  EXPECT_DOUBLE_EQ(task.standardDeviation, std::sqrt(32.0 / 7));
  EXPECT_EQ(task.minimum, 2);
  EXPECT_EQ(task.maximum, 9);
  EXPECT_FALSE(task.constant);
  const auto& constant = stats.predictors[1];
  EXPECT_TRUE(constant.constant);
  EXPECT_EQ(constant.standardDeviation, 0);
  EXPECT_EQ(constant.mean, 1);
  const auto& drift = stats.predictors[2];
  EXPECT_FALSE(drift.constant);
  EXPECT_DOUBLE_EQ(drift.mean, -7.5 / 8);
  EXPECT_EQ(drift.maximum, -0.5);
  EXPECT_TRUE(stats.vifs.empty());
}

TEST(DesignStats, RefusesDesignsWithoutSoundValues) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    const char* name;
    std::vector<Predictor> predictors;
    const char* problemNames;  // a text the reason must hold
  } rows[] = {
      {"no predictors", {}, "no predictors"},
      {"one volume", {ppi({1}), named("Task", {1})}, "fewer than 2 volumes"},
      {"unequal lengths", {ppi({1, 2, 3}), named("Task", {1, 2})}, "\"Task\" has 2 values"},
      {"not a number", {ppi({1, 2, 3}), named("Task", {1, nan, 2})}, "\"Task\""},
      {"infinite value", {ppi({1, 2, inf})}, "volume 3"},
  };
  for (const auto& row : rows) {
    const DesignStats stats = computeDesignStats(row.predictors);
    EXPECT_FALSE(stats.valid) << row.name;
    EXPECT_NE(stats.problem.find(row.problemNames), std::string::npos)
        << row.name << ": " << stats.problem;
  }
}

}  // namespace

// The variance inflation factors from the one factorisation against the
// definition, term by term: each PPI term regressed on every other varying
// predictor by a QR decomposition of its own (the way they were first
// computed, kept here as the reference), on designs of the kinds researchers
// run and on degenerate ones.
namespace oracle {

struct Reference {
  std::vector<double> vifs;  // of the PPI terms, in file order
  std::size_t rank = 0;      // of the varying predictors
};

Reference termByTerm(const std::vector<Predictor>& predictors) {
  const Eigen::Index volumes = static_cast<Eigen::Index>(predictors.front().values.size());
  std::vector<std::size_t> varying;
  for (std::size_t p = 0; p < predictors.size(); ++p) {
    const auto& values = predictors[p].values;
    const bool constant = *std::min_element(values.begin(), values.end()) ==
                              *std::max_element(values.begin(), values.end()) ||
                          predictors[p].name == "Constant";
    if (!constant) varying.push_back(p);
  }
  Eigen::MatrixXd columns(volumes, static_cast<Eigen::Index>(varying.size()));
  for (std::size_t c = 0; c < varying.size(); ++c) {
    const auto& values = predictors[varying[c]].values;
    double sum = 0;
    for (float value : values) sum += value;
    const double mean = sum / static_cast<double>(volumes);
    for (Eigen::Index v = 0; v < volumes; ++v) {
      columns(v, static_cast<Eigen::Index>(c)) = values[static_cast<std::size_t>(v)] - mean;
    }
    columns.col(static_cast<Eigen::Index>(c)).normalize();
  }
  Reference reference;
  for (std::size_t p = 0; p < predictors.size(); ++p) {
    if (predictors[p].role != PredictorRole::ppiTerm) continue;
    const auto at = std::find(varying.begin(), varying.end(), p);
    if (at == varying.end()) {
      reference.vifs.push_back(kInfinite);
      continue;
    }
    const Eigen::Index target = at - varying.begin();
    const Eigen::Index others = columns.cols() - 1;
    double unexplained = 1;
    if (others > 0) {
      Eigen::MatrixXd design(volumes, others);
      design.leftCols(target) = columns.leftCols(target);
      design.rightCols(others - target) = columns.rightCols(others - target);
      const Eigen::VectorXd y = columns.col(target);
      const Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(design);
      const Eigen::VectorXd residual = y - design * qr.solve(y);
      unexplained = std::min(1.0, residual.squaredNorm() / y.squaredNorm());
    }
    reference.vifs.push_back(unexplained <= ppi::analysis::kCollinearTolerance ? kInfinite
                                                                              : 1 / unexplained);
  }
  if (!varying.empty()) {
    Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(columns);
    qr.setThreshold(std::sqrt(ppi::analysis::kCollinearTolerance));
    reference.rank = static_cast<std::size_t>(qr.rank());
  }
  return reference;
}

}  // namespace oracle

// Designs over `volumes` volumes built the way the plug-in builds them: block
// box-cars convolved with a smooth response, a region signal with noise, PPI
// terms their products; a small generator keeps them reproducible.
struct DesignMaker {
  explicit DesignMaker(std::size_t volumes, unsigned seed = 1) : volumes(volumes), state(seed) {}
  double noise() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) / 9007199254740992.0 - 0.5;
  }
  std::vector<float> convolved(const std::vector<double>& boxCar) const {
    std::vector<float> values(volumes);
    for (std::size_t v = 0; v < volumes; ++v) {
      double sum = 0;
      for (std::size_t k = 0; k <= v && k < 12; ++k) {
        const double t = static_cast<double>(k);
        sum += boxCar[v - k] * t * t * std::exp(-t / 1.2);
      }
      values[v] = static_cast<float>(sum);
    }
    return values;
  }
  std::vector<double> block(std::size_t onset, std::size_t length, std::size_t period) const {
    std::vector<double> values(volumes, 0.0);
    for (std::size_t v = onset; v < volumes; v += period) {
      for (std::size_t k = v; k < v + length && k < volumes; ++k) values[k] = 1;
    }
    return values;
  }
  std::vector<float> signal() {
    std::vector<float> values(volumes);
    for (std::size_t v = 0; v < volumes; ++v) {
      values[v] = static_cast<float>(std::sin(0.05 * static_cast<double>(v)) + noise());
    }
    return values;
  }
  static std::vector<float> product(const std::vector<float>& a, const std::vector<float>& b) {
    std::vector<float> values(a.size());
    for (std::size_t v = 0; v < a.size(); ++v) values[v] = a[v] * b[v];
    return values;
  }
  // The generalized approach: a task regressor and a PPI term per condition,
  // the region signal and the constant. `fill`: the conditions together cover
  // every volume (nothing left at rest).
  std::vector<Predictor> generalized(std::size_t conditions, bool fill) {
    std::vector<Predictor> design;
    const std::vector<float> seed = signal();
    const std::size_t length = fill ? 4 : 3;
    const std::size_t period = 4 * conditions;
    for (std::size_t c = 0; c < conditions; ++c) {
      const std::vector<float> task = convolved(block(4 * c, length, period));
      const std::string name = "C" + std::to_string(c + 1);
      design.push_back({"PPI_" + name + "_Seed", product(task, seed), PredictorRole::ppiTerm});
      design.push_back({name, task, PredictorRole::task});
    }
    design.push_back({"Seed_predictor", seed, PredictorRole::regionSignal});
    design.push_back({"Constant", std::vector<float>(volumes, 1.0f), PredictorRole::constant});
    return design;
  }
  std::vector<float> nudged(const std::vector<float>& values, double scale) {
    std::vector<float> result(values.size());
    for (std::size_t v = 0; v < values.size(); ++v) {
      result[v] = static_cast<float>(values[v] + scale * noise());
    }
    return result;
  }
  std::size_t volumes;
  unsigned long long state;
};

struct OracleCase {
  const char* name;
  std::function<std::vector<Predictor>()> design;
  std::size_t rankBelowColumns;  // the varying predictors' rank deficit
  double tolerance = 1e-12;      // relative, for VIFs up to 100; growing with the VIF above
};

class DesignStatsOracle : public testing::TestWithParam<OracleCase> {};

INSTANTIATE_TEST_SUITE_P(
    Designs, DesignStatsOracle,
    testing::Values(
        OracleCase{"generalizedFourConditionsWithRest",
                   [] { return DesignMaker(200).generalized(4, false); }, 0},
        OracleCase{"generalizedThirtyConditionsWithRest",
                   [] { return DesignMaker(400, 2).generalized(30, false); }, 0},
        // No volume at rest: the task regressors nearly sum to a constant and
        // the PPI terms nearly to the region signal, VIFs in the hundreds.
        OracleCase{"generalizedConditionsFillTheRun",
                   [] { return DesignMaker(240, 3).generalized(3, true); }, 0},
        // A PPI term that another predictor follows closely: VIFs near 1e2,
        // 1e4 and 1e6.
        OracleCase{"nearlyCollinearTerms",
                   [] {
                     DesignMaker maker(300, 4);
                     std::vector<Predictor> design = maker.generalized(3, false);
                     design.push_back({"Follows 1", maker.nudged(design[0].values, 0.3),
                                       PredictorRole::motion});
                     design.push_back({"Follows 2", maker.nudged(design[2].values, 0.03),
                                       PredictorRole::motion});
                     design.push_back({"Follows 3", maker.nudged(design[4].values, 0.003),
                                       PredictorRole::motion});
                     return design;
                   },
                   0},
        // Two identical motion predictors: the others are rank-deficient,
        // the PPI terms are not in their span.
        OracleCase{"duplicatedMotionPredictor",
                   [] {
                     DesignMaker maker(120, 5);
                     std::vector<Predictor> design = maker.generalized(2, false);
                     const std::vector<float> motion = maker.signal();
                     design.push_back({"Translation X", motion, PredictorRole::motion});
                     design.push_back({"Translation Y", motion, PredictorRole::motion});
                     return design;
                   },
                   1},
        // Two conditions with the same onsets: their task regressors and PPI
        // terms are identical.
        OracleCase{"conditionsWithTheSameOnsets",
                   [] {
                     DesignMaker maker(160, 6);
                     std::vector<Predictor> design = maker.generalized(3, false);
                     design.insert(design.begin() + 2, {"PPI_Again_Seed", design[0].values,
                                                        PredictorRole::ppiTerm});
                     design.insert(design.begin() + 3, {"Again", design[1].values,
                                                        PredictorRole::task});
                     return design;
                   },
                   2},
        // A motion predictor that is a PPI term plus the region signal,
        // rounded to single precision: the dependency holds to about 1e-8,
        // and what its rounding residual explains of the other terms is
        // itself only known to that precision, in the reference as here.
        OracleCase{"termInARoundedCombination",
                   [] {
                     DesignMaker maker(150, 7);
                     std::vector<Predictor> design = maker.generalized(2, false);
                     std::vector<float> sum(150);
                     for (std::size_t v = 0; v < sum.size(); ++v) {
                       sum[v] = 0.25f * design[2].values[v] + 0.5f * design[4].values[v];
                     }
                     design.push_back({"Sum", sum, PredictorRole::motion});
                     return design;
                   },
                   1, 1e-8},
        // More predictors than volumes: 13 that vary over 10 volumes, rank 9
        // once centred.
        OracleCase{"morePredictorsThanVolumes",
                   [] {
                     DesignMaker maker(10, 8);
                     std::vector<Predictor> design = maker.generalized(2, false);
                     for (int m = 0; m < 8; ++m) {
                       design.push_back({"Motion " + std::to_string(m + 1), maker.signal(),
                                         PredictorRole::motion});
                     }
                     return design;
                   },
                   4}),
    [](const testing::TestParamInfo<OracleCase>& info) { return info.param.name; });

TEST_P(DesignStatsOracle, OneFactorisationGivesTheTermByTermVifsAndRank) {
  const OracleCase& row = GetParam();
  const std::vector<Predictor> design = row.design();
  const oracle::Reference reference = oracle::termByTerm(design);
  for (const ppi::analysis::StatsScope scope :
       {ppi::analysis::StatsScope::records, ppi::analysis::StatsScope::checks}) {
    const DesignStats stats = computeDesignStats(design, scope);
    ASSERT_TRUE(stats.valid) << stats.problem;
    EXPECT_EQ(stats.correlations.empty(), scope == ppi::analysis::StatsScope::checks);
    EXPECT_EQ(stats.rank - (stats.rank > reference.rank ? 1 : 0), reference.rank);
    EXPECT_EQ(stats.correlated.size() - reference.rank, row.rankBelowColumns);
    ASSERT_EQ(stats.vifs.size(), reference.vifs.size());
    for (std::size_t i = 0; i < reference.vifs.size(); ++i) {
      const double expected = reference.vifs[i];
      const double vif = stats.vifs[i].vif;
      SCOPED_TRACE(design[stats.vifs[i].predictor].name + " " + std::to_string(expected));
      if (std::isinf(expected)) {
        EXPECT_TRUE(std::isinf(vif)) << vif;
      } else {
        // Both lose about VIF x machine precision of 1 - R^2.
        EXPECT_NEAR(vif, expected, row.tolerance * expected * std::max(1.0, expected / 100));
      }
    }
  }
}
