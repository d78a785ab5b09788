#include "standin/hrf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// The canonical shape written out: gamma densities of unit scale whose modes
// are the response peak (6 s) and the undershoot peak (16 s), i.e. shapes 7
// and 17, the undershoot at one sixth.
double canonical(double t) {
  if (t <= 0.0) return 0.0;
  return std::pow(t, 6) * std::exp(-t) / 720.0 -
         std::pow(t, 16) * std::exp(-t) / 20922789888000.0 / 6.0;
}

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

TEST(TwoGammaKernel, PeaksAtSixSecondsAndDipsAfterTheResponse) {
  const std::vector<double> kernel = standin::twoGammaKernel(100.0);
  std::size_t peak = 0, trough = 0;
  for (std::size_t k = 0; k < kernel.size(); ++k) {
    if (kernel[k] > kernel[peak]) peak = k;
    if (kernel[k] < kernel[trough]) trough = k;
  }
  EXPECT_EQ(peak, 60u);  // 6.0 s
  // The undershoot's own peak is at 16 s; under the response's tail the sum's
  // lowest point falls a little later.
  EXPECT_GE(trough, 160u);
  EXPECT_LE(trough, 175u);
  EXPECT_LT(kernel[trough], 0.0);
  EXPECT_NEAR(kernel[trough] / kernel[peak], canonical(16.967) / canonical(5.997), 1e-3);
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
