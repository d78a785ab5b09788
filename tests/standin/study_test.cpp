#include "standin/study.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "standin/designfile.h"
#include "standin/documents.h"
#include "standin/fit.h"
#include "standin/hrf.h"
#include "tests/support/fakehost.h"

namespace {

using testsupport::readFile;

TEST(FitLeastSquares, RecoversExactCoefficientsAndTheTextbookTValue) {
  // y = 3 + 2 x with residuals +-1 alternating: slope 2, intercept 3.
  std::vector<double> x, one, y;
  const double residuals[] = {1, -1, -1, 1, 1, -1, -1, 1};
  for (int t = 0; t < 8; ++t) {
    x.push_back(t);
    one.push_back(1.0);
    y.push_back(3.0 + 2.0 * t + residuals[t]);
  }
  auto fit = standin::fitLeastSquares({x, one}, y);
  ASSERT_TRUE(fit);
  // The residual pattern is orthogonal to both columns, so the estimates are exact.
  EXPECT_NEAR(fit->estimates[0], 2.0, 1e-12);
  EXPECT_NEAR(fit->estimates[1], 3.0, 1e-12);
  EXPECT_EQ(fit->degreesOfFreedom, 6);
  EXPECT_NEAR(fit->residualVariance, 8.0 / 6.0, 1e-12);
  // Simple regression: se(slope) = sqrt(s2 / sum (x - mean)^2), sum = 42.
  EXPECT_NEAR(fit->tValues[0], 2.0 / std::sqrt((8.0 / 6.0) / 42.0), 1e-9);

  EXPECT_FALSE(standin::fitLeastSquares({x, x}, y));             // dependent columns
  EXPECT_FALSE(standin::fitLeastSquares({x, one}, {1.0, 2.0}));  // lengths differ
  EXPECT_FALSE(standin::fitLeastSquares({{1.0, 2.0}, {0.0, 1.0}}, {1.0, 2.0}));  // no residual
  EXPECT_FALSE(standin::fitLeastSquares({}, y));
}

// The PPI design rebuilt from the study's files alone (not by the plug-in):
// the planted interaction must be there to be found, and only in Target.
TEST(DemoStudy, PlantsARecoverableInteractionDeterministically) {
  testsupport::ScopedWorkingDirectory dir;
  standin::StudyOptions options;
  options.subjects = 4;
  options.volumes = 120;
  options.coordinateSystem = 3;
  std::string why;
  ASSERT_TRUE(standin::generateStudy("a", options, &why)) << why;
  ASSERT_TRUE(standin::generateStudy("b", options, &why)) << why;
  for (const char* file : {"study.ppi", "regions.voi", "demo.session", "sub-02/sub-02_task.vtc",
                           "sub-04/sub-04_task.vtc", "sub-03/sub-03_task_3DMC.sdm"}) {
    EXPECT_EQ(readFile(std::string("a/") + file), readFile(std::string("b/") + file)) << file;
  }
  EXPECT_EQ(readFile("a/study.ppi").substr(0, 40), "./sub-01/sub-01_task.vtc\t./regions.voi\t0");

  auto regions = standin::readRegionFile("a/regions.voi", &why);
  ASSERT_TRUE(regions) << why;
  EXPECT_EQ(regions->coordinateSystem, 3);
  for (int s = 1; s <= 4; ++s) {
    SCOPED_TRACE(s);
    const std::string base = "a/sub-0" + std::to_string(s) + "/sub-0" + std::to_string(s) + "_task";
    auto tc = standin::readTimeCourseFile(base + ".vtc", &why);
    ASSERT_TRUE(tc) << why;
    EXPECT_EQ(tc->dataType, s == 4 ? 2 : 1);
    EXPECT_EQ(tc->linkedProtocol,
              "./sub-0" + std::to_string(s) + "/sub-0" + std::to_string(s) + "_task.prt");
    auto protocol = standin::readProtocolFile(base + ".prt", &why);
    ASSERT_TRUE(protocol) << why;
    auto motion = standin::readDesignMatrixFile(base + "_3DMC.sdm", &why);
    ASSERT_TRUE(motion) << why;
    ASSERT_EQ(motion->names.size(), 6u);
    EXPECT_FALSE(motion->hasConstant);

    auto convolvedBox = [&](std::size_t condition) {
      std::vector<float> box(static_cast<std::size_t>(tc->nrOfVolumes), 0.0f);
      for (auto [first, last] : protocol->conditions[condition].intervals) {
        for (int v = first; v <= last; ++v) box[static_cast<std::size_t>(v - 1)] = 1.0f;
      }
      standin::convolveCausal(box.data(), box.size(), standin::twoGammaKernel(2000.0));
      return std::vector<double>(box.begin(), box.end());
    };
    const auto attend = convolvedBox(1), passive = convolvedBox(2);
    auto seed = *standin::regionMeanTimeCourse(*tc, regions->regions[0], 3);
    double mean = 0.0, squares = 0.0;
    for (double v : seed) mean += v / seed.size();
    for (double v : seed) squares += (v - mean) * (v - mean);
    std::vector<double> psych, ppi, both, seedZ, one(seed.size(), 1.0);
    for (std::size_t t = 0; t < seed.size(); ++t) {
      seedZ.push_back((seed[t] - mean) / std::sqrt(squares / (seed.size() - 1)));
      psych.push_back(attend[t] - passive[t]);
      both.push_back(attend[t] + passive[t]);
      ppi.push_back(psych[t] * seedZ[t]);
    }
    std::vector<std::vector<double>> columns{ppi, psych, both, seedZ};
    for (const auto& m : motion->columns) columns.push_back(m);
    columns.push_back(one);
    auto target = standin::regionMeanTimeCourse(*tc, regions->regions[1], 3);
    auto null = standin::regionMeanTimeCourse(*tc, regions->regions[2], 3);
    ASSERT_TRUE(target && null);
    auto targetFit = standin::fitLeastSquares(columns, *target);
    auto nullFit = standin::fitLeastSquares(columns, *null);
    ASSERT_TRUE(targetFit && nullFit);
    // Within four standard errors of what was planted.
    auto standardError = [&](std::size_t k) {
      return std::fabs(targetFit->estimates[k] / targetFit->tValues[k]);
    };
    EXPECT_NEAR(targetFit->estimates[0], options.ppiEffect, 4.0 * standardError(0));
    EXPECT_GT(targetFit->tValues[0], 3.0);
    EXPECT_LT(std::fabs(nullFit->tValues[0]), 3.0);
    for (std::size_t k = 0; k < 6; ++k) {
      EXPECT_NEAR(targetFit->estimates[4 + k], standin::kPlantedMotionWeights[k],
                  4.0 * standardError(4 + k))
          << k;
    }
  }
}

TEST(DemoStudy, RefusesAStudyWithoutSubjectsOrBlocks) {
  testsupport::ScopedWorkingDirectory dir;
  standin::StudyOptions options;
  options.subjects = 0;
  std::string why;
  EXPECT_FALSE(standin::generateStudy("x", options, &why));
  options.subjects = 1;
  options.volumes = 15;
  EXPECT_FALSE(standin::generateStudy("x", options, &why));
  EXPECT_EQ(why, "a study needs a subject and two blocks of volumes");
}

}  // namespace
