#include "standin/hrf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <vector>

namespace {

// The canonical shape written out: gamma densities of unit scale whose modes
// are the response peak (5 s) and the undershoot peak (15 s), i.e. shapes 6
// and 16, the undershoot at one sixth.
double canonical(double t) {
  if (t <= 0.0) return 0.0;
  return std::pow(t, 5) * std::exp(-t) / 120.0 -
         std::pow(t, 15) * std::exp(-t) / 1307674368000.0 / 6.0;
}

// Canonical kernel values computed apart from this code (python3, math.lgamma):
// h(t) = g(t; 6) - g(t; 16) / 6 point-sampled at k * TR for k * TR <= 32 s,
// each sample divided by the sum of all of them, rounded to four places.
struct CanonicalRow {
  const char* name;
  double repetitionTimeMs;
  std::size_t sample;  // k: the value at k * TR
  double value;
};

void PrintTo(const CanonicalRow& row, std::ostream* out) { *out << row.name; }

class CanonicalValues : public testing::TestWithParam<CanonicalRow> {};

TEST_P(CanonicalValues, MatchTheKernel) {
  const CanonicalRow& row = GetParam();
  const std::vector<double> kernel = standin::twoGammaKernel(row.repetitionTimeMs);
  ASSERT_LT(row.sample, kernel.size());
  EXPECT_NEAR(kernel[row.sample], row.value, 0.02);
}

INSTANTIATE_TEST_SUITE_P(TwoGammaKernel, CanonicalValues,
                         testing::Values(CanonicalRow{"Tr1Rise1s", 1000.0, 1, 0.0037},
                                         CanonicalRow{"Tr1Rise3s", 1000.0, 3, 0.1210},
                                         CanonicalRow{"Tr1Peak5s", 1000.0, 5, 0.2105},
                                         CanonicalRow{"Tr1Fall8s", 1000.0, 8, 0.1081},
                                         CanonicalRow{"Tr1Crossing12s", 1000.0, 12, 0.0008},
                                         CanonicalRow{"Tr1Undershoot16s", 1000.0, 16, -0.0187},
                                         CanonicalRow{"Tr1Tail24s", 1000.0, 24, -0.0029},
                                         CanonicalRow{"Tr1End32s", 1000.0, 32, -0.0001},
                                         CanonicalRow{"Tr2Rise2s", 2000.0, 1, 0.0866},
                                         CanonicalRow{"Tr2Rise4s", 2000.0, 2, 0.3749},
                                         CanonicalRow{"Tr2Peak6s", 2000.0, 3, 0.3849},
                                         CanonicalRow{"Tr2Fall8s", 2000.0, 4, 0.2161},
                                         CanonicalRow{"Tr2Crossing12s", 2000.0, 6, 0.0016},
                                         CanonicalRow{"Tr2Undershoot16s", 2000.0, 8, -0.0373},
                                         CanonicalRow{"Tr2Tail24s", 2000.0, 12, -0.0058},
                                         CanonicalRow{"Tr2_5Rise2_5s", 2500.0, 1, 0.1996},
                                         CanonicalRow{"Tr2_5Peak5s", 2500.0, 2, 0.5242},
                                         CanonicalRow{"Tr2_5Fall7_5s", 2500.0, 3, 0.3240},
                                         CanonicalRow{"Tr2_5Undershoot15s", 2500.0, 6, -0.0452},
                                         CanonicalRow{"Tr2_5Tail25s", 2500.0, 10, -0.0049},
                                         CanonicalRow{"Tr2_5Last30s", 2500.0, 12, -0.0005}),
                         [](const testing::TestParamInfo<CanonicalRow>& info) {
                           return info.param.name;
                         });

TEST(TwoGammaKernel, SamplesTheCanonicalShapeOver32SecondsWithUnitSum) {
  struct Row {
    double repetitionTimeMs;
    std::size_t samples;  // 0 s, TR, ... up to 32 s
  };
  const Row rows[] = {{2000.0, 17}, {1000.0, 33}, {3000.0, 11}, {2500.0, 13}, {100.0, 321}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.repetitionTimeMs);
    const std::vector<double> kernel = standin::twoGammaKernel(row.repetitionTimeMs);
    ASSERT_EQ(kernel.size(), row.samples);
    double sum = 0.0;
    for (double v : kernel) sum += v;
    EXPECT_NEAR(sum, 1.0, 1e-12);
    EXPECT_EQ(kernel[0], 0.0);
    const double step = row.repetitionTimeMs / 1000.0;
    const double scale = kernel[2] / canonical(2.0 * step);
    for (std::size_t k = 1; k < kernel.size(); ++k) {
      EXPECT_NEAR(kernel[k], scale * canonical(static_cast<double>(k) * step), 1e-12) << k;
    }
  }
  // A non-positive repetition time leaves values alone.
  EXPECT_EQ(standin::twoGammaKernel(0.0), std::vector<double>{1.0});
  EXPECT_EQ(standin::twoGammaKernel(-5.0), std::vector<double>{1.0});
}

TEST(TwoGammaKernel, PeaksAtFiveSecondsAndDipsAfterTheResponse) {
  const std::vector<double> kernel = standin::twoGammaKernel(100.0);
  std::size_t peak = 0, trough = 0;
  for (std::size_t k = 0; k < kernel.size(); ++k) {
    if (kernel[k] > kernel[peak]) peak = k;
    if (kernel[k] < kernel[trough]) trough = k;
  }
  EXPECT_EQ(peak, 50u);  // 5.0 s
  // The undershoot's own peak is at 15 s; under the response's tail the sum's
  // lowest point falls a little later (15.75 s).
  EXPECT_GE(trough, 150u);
  EXPECT_LE(trough, 165u);
  EXPECT_LT(kernel[trough], 0.0);
  EXPECT_NEAR(kernel[trough] / kernel[peak], canonical(15.749) / canonical(4.999), 1e-3);
}

TEST(ConvolveCausal, IsCausalTruncatedAndKeepsAStepsLevel) {
  const std::vector<double> kernel = standin::twoGammaKernel(2000.0);
  // An impulse: nothing before it, the kernel after it, cut at the end.
  std::vector<float> impulse(12, 0.0f);
  impulse[5] = 1.0f;
  standin::convolveCausal(impulse.data(), impulse.size(), kernel);
  for (std::size_t t = 0; t < impulse.size(); ++t) {
    const double expected = t < 5 ? 0.0 : kernel[t - 5];
    EXPECT_NEAR(impulse[t], expected, 1e-7) << t;
  }
  // A long step settles at its own height, since the kernel sums to one.
  std::vector<float> step(60, 1.0f);
  standin::convolveCausal(step.data(), step.size(), kernel);
  EXPECT_NEAR(step[0], 0.0, 1e-7);
  EXPECT_NEAR(step[59], 1.0, 1e-6);
  // Nothing at all is harmless.
  standin::convolveCausal(nullptr, 0, kernel);
}

}  // namespace
