#include "demo/fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

// An AR process of the given coefficients (phi[0] unused), unit innovations,
// after a burn-in.
std::vector<double> arSeries(std::mt19937_64& random, const std::vector<double>& phi,
                             std::size_t length) {
  std::normal_distribution<double> normal(0.0, 1.0);
  std::vector<double> x(length + 200, 0.0);
  for (std::size_t t = 0; t < x.size(); ++t) {
    x[t] = normal(random);
    for (std::size_t k = 1; k < phi.size() && k <= t; ++k) x[t] += phi[k] * x[t - k];
  }
  return std::vector<double>(x.begin() + 200, x.end());
}

TEST(Autoregression, RecoversTheCoefficientsOfKnownProcesses) {
  struct Row {
    const char* name;
    std::vector<double> phi;  // phi[0] unused
    int order;                // fitted
  };
  const Row rows[] = {
      {"white noise", {0.0}, 1},
      {"AR(1) 0.6", {0.0, 0.6}, 1},
      {"AR(1) -0.4 fitted with order 3", {0.0, -0.4}, 3},
      {"AR(2) 0.6 -0.3", {0.0, 0.6, -0.3}, 2},
      {"AR(3) 0.5 0.2 -0.25", {0.0, 0.5, 0.2, -0.25}, 3},
  };
  std::mt19937_64 random(7);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<double> phi = demo::autoregression(arSeries(random, row.phi, 40000),
                                                         row.order);
    ASSERT_EQ(phi.size(), static_cast<std::size_t>(row.order) + 1);
    for (int k = 1; k <= row.order; ++k) {
      const double truth = k < static_cast<int>(row.phi.size()) ? row.phi[k] : 0.0;
      EXPECT_NEAR(phi[static_cast<std::size_t>(k)], truth, 0.02) << "lag " << k;
    }
  }
  EXPECT_TRUE(demo::autoregression(std::vector<double>(50, 0.0), 2).empty());
}

TEST(FitPrewhitened, OrderZeroIsLeastSquaresAndHigherOrdersDropRows) {
  std::mt19937_64 random(11);
  std::normal_distribution<double> normal(0.0, 1.0);
  const std::size_t n = 120;
  std::vector<std::vector<double>> columns(2, std::vector<double>(n, 1.0));
  std::vector<double> y(n);
  for (std::size_t t = 0; t < n; ++t) {
    columns[0][t] = std::sin(0.1 * static_cast<double>(t));
    y[t] = 2.0 * columns[0][t] + 0.5 + normal(random);
  }
  const auto ols = demo::fitLeastSquares(columns, y);
  const auto none = demo::fitPrewhitened(columns, y, 0);
  ASSERT_TRUE(ols && none);
  EXPECT_EQ(none->estimates, ols->estimates);
  EXPECT_EQ(none->degreesOfFreedom, static_cast<int>(n) - 2);
  struct Row {
    int order, degreesOfFreedom;
  };
  for (const Row row : {Row{1, static_cast<int>(n) - 2}, Row{2, static_cast<int>(n) - 4},
                        Row{6, static_cast<int>(n) - 8}}) {
    SCOPED_TRACE(row.order);
    const auto fit = demo::fitPrewhitened(columns, y, row.order);
    ASSERT_TRUE(fit);
    EXPECT_EQ(fit->degreesOfFreedom, row.degreesOfFreedom);
    EXPECT_NEAR(fit->estimates[0], 2.0, 0.4);
  }
  EXPECT_FALSE(demo::fitPrewhitened(columns, std::vector<double>(n - 1, 0.0), 1));
}

// Serially correlated noise and a smooth regressor: the least-squares t is
// liberal, the prewhitened t of the right order holds its rate.
TEST(FitPrewhitened, HoldsTheFalsePositiveRateUnderAutocorrelatedNoise) {
  struct Row {
    const char* name;
    std::vector<double> phi;
    int order;
    double lowest, highest;  // the share of |t| > 1.97 over 2000 fits
  };
  const Row rows[] = {
      {"AR(1) 0.6, least squares", {0.0, 0.6}, 0, 0.10, 1.0},
      {"AR(1) 0.6, AR(1)", {0.0, 0.6}, 1, 0.02, 0.08},
      {"AR(2) 0.9 -0.4, AR(2)", {0.0, 0.9, -0.4}, 2, 0.02, 0.08},
  };
  const std::size_t n = 200;
  std::vector<std::vector<double>> columns(2, std::vector<double>(n, 1.0));
  for (std::size_t t = 0; t < n; ++t) columns[0][t] = std::sin(0.08 * static_cast<double>(t));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::mt19937_64 random(3);
    int beyond = 0;
    const int fits = 2000;
    for (int i = 0; i < fits; ++i) {
      const auto fit = demo::fitPrewhitened(columns, arSeries(random, row.phi, n), row.order);
      ASSERT_TRUE(fit);
      if (std::abs(fit->tValues[0]) > 1.97) ++beyond;
    }
    const double share = static_cast<double>(beyond) / fits;
    EXPECT_GE(share, row.lowest);
    EXPECT_LE(share, row.highest);
  }
}

}  // namespace
