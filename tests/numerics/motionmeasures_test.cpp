#include "numerics/motionmeasures.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cmath>
#include <string>
#include <vector>

namespace {

using ppi::numerics::framewiseDisplacement;
using Traces = std::array<std::vector<double>, 6>;

constexpr double kMmPerDegree = 50.0 * 3.14159265358979323846 / 180.0;

struct DisplacementCase {
  std::string name;
  Traces traces;                 // TX TY TZ [mm], RX RY RZ [deg]
  std::vector<double> expected;  // by hand
};

class Displacement : public testing::TestWithParam<DisplacementCase> {};

TEST_P(Displacement, IsTheSumOfAbsoluteChangesWithRotationsAsArcLength) {
  const DisplacementCase& c = GetParam();
  const std::vector<double> fd = framewiseDisplacement(c.traces);
  ASSERT_EQ(fd.size(), c.expected.size());
  for (std::size_t t = 0; t < fd.size(); ++t) EXPECT_NEAR(fd[t], c.expected[t], 1e-12) << t;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Displacement,
    testing::Values(
        // A subject who never moves, far from the origin: nothing but zeros.
        DisplacementCase{"still",
                         {{{2, 2, 2}, {-1, -1, -1}, {0.5, 0.5, 0.5}, {3, 3, 3}, {0, 0, 0}, {1, 1, 1}}},
                         {0, 0, 0}},
        // One jump of 1 mm in Y at volume 3 and back at volume 4.
        DisplacementCase{"single translation jump",
                         {{{0, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0},
                           {0, 0, 0, 0}}},
                         {0, 0, 1, 1}},
        // A rotation of 1 degree about Z moves the 50 mm sphere by 0.8727 mm.
        DisplacementCase{"single rotation jump",
                         {{{0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 1}}},
                         {0, kMmPerDegree}},
        // Signs do not cancel: -0.2 mm in X and +0.3 mm in Z, -0.5 deg in X.
        DisplacementCase{"mixed signs",
                         {{{0, -0.2, -0.2}, {0, 0, 0}, {0, 0.3, 0.3}, {0, -0.5, 0}, {0, 0, 0},
                           {0, 0, 0}}},
                         {0, 0.5 + 0.5 * kMmPerDegree, 0.5 * kMmPerDegree}},
        DisplacementCase{"one volume", {{{4}, {4}, {4}, {4}, {4}, {4}}}, {0}},
        DisplacementCase{"no volumes", {}, {}}),
    [](const testing::TestParamInfo<DisplacementCase>& info) {
      std::string name;
      for (char c : info.param.name) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

TEST(MotionMeasures, DifferencesAndSquaresByHand) {
  const std::vector<double> trace = {1.5, -0.5, -0.5, 2.0};
  EXPECT_EQ(ppi::numerics::backwardDifference(trace), (std::vector<double>{0, -2.0, 0, 2.5}));
  EXPECT_EQ(ppi::numerics::squared(trace), (std::vector<double>{2.25, 0.25, 0.25, 4.0}));
  EXPECT_TRUE(ppi::numerics::backwardDifference({}).empty());
}

TEST(MotionMeasures, VolumesAboveThresholdAreStrictlyAbove) {
  const std::vector<double> fd = {0, 0.2, 0.5, 0.7, 0.5000001, 0.1};
  struct Row {
    const char* name;
    double threshold;
    std::vector<std::size_t> expected;
  };
  const Row rows[] = {
      {"below every value but the first", 0.05, {1, 2, 3, 4, 5}},
      {"at a volume's displacement: that volume is kept", 0.5, {3, 4}},
      {"just below a volume's displacement", 0.4999999, {2, 3, 4}},
      {"above all", 0.7, {}},
      {"off", 0.0, {}},
      {"negative is off", -1.0, {}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ppi::numerics::volumesAbove(fd, row.threshold), row.expected) << row.name;
  }
}

TEST(MotionMeasures, SummaryOverAllVolumes) {
  const ppi::numerics::DisplacementSummary summary = ppi::numerics::summarize({0, 0.2, 0.4, 1.0});
  EXPECT_DOUBLE_EQ(summary.mean, 0.4);
  EXPECT_DOUBLE_EQ(summary.maximum, 1.0);
  const ppi::numerics::DisplacementSummary empty = ppi::numerics::summarize({});
  EXPECT_EQ(empty.mean, 0.0);
  EXPECT_EQ(empty.maximum, 0.0);
}

}  // namespace
