#include "numerics/designstats.h"

#include <gtest/gtest.h>

#include <cmath>
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
