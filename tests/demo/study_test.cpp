#include "demo/study.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>

#include "demo/fit.h"
#include "demo/regionmean.h"
#include "standin/designfile.h"
#include "standin/documents.h"
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
  auto fit = demo::fitLeastSquares({x, one}, y);
  ASSERT_TRUE(fit);
  // The residual pattern is orthogonal to both columns, so the estimates are exact.
  EXPECT_NEAR(fit->estimates[0], 2.0, 1e-12);
  EXPECT_NEAR(fit->estimates[1], 3.0, 1e-12);
  EXPECT_EQ(fit->degreesOfFreedom, 6);
  EXPECT_NEAR(fit->residualVariance, 8.0 / 6.0, 1e-12);
  // Simple regression: se(slope) = sqrt(s2 / sum (x - mean)^2), sum = 42.
  EXPECT_NEAR(fit->tValues[0], 2.0 / std::sqrt((8.0 / 6.0) / 42.0), 1e-9);

  EXPECT_FALSE(demo::fitLeastSquares({x, x}, y));                             // dependent columns
  EXPECT_FALSE(demo::fitLeastSquares({x, one}, {1.0, 2.0}));                  // lengths differ
  EXPECT_FALSE(demo::fitLeastSquares({{1.0, 2.0}, {0.0, 1.0}}, {1.0, 2.0}));  // no residual
  EXPECT_FALSE(demo::fitLeastSquares({}, y));
}

// A subject's PPI design rebuilt from the study's files alone (not by the
// plug-in): PPI term, psychological, complementary and seed regressors, the
// six motion predictors and the constant.
standin::DesignMatrixFile rebuiltDesign(const std::string& folder, int subject) {
  const std::string id = "sub-0" + std::to_string(subject);
  const std::string base = folder + "/" + id + "/" + id + "_task";
  std::string why;
  auto tc = standin::readTimeCourseFile(base + ".vtc", &why);
  auto protocol = standin::readProtocolFile(base + ".prt", &why);
  auto motion = standin::readDesignMatrixFile(base + "_3DMC.sdm", &why);
  auto regions = standin::readRegionFile(folder + "/regions.voi", &why);
  EXPECT_TRUE(tc && protocol && motion && regions) << why;
  if (!tc || !protocol || !motion || !regions) return {};
  auto convolvedBox = [&](std::size_t condition) {
    std::vector<float> box(static_cast<std::size_t>(tc->nrOfVolumes), 0.0f);
    for (auto [first, last] : protocol->conditions[condition].intervals) {
      for (int v = first; v <= last; ++v) box[static_cast<std::size_t>(v - 1)] = 1.0f;
    }
    standin::convolveCausal(box.data(), box.size(), standin::twoGammaKernel(2000.0));
    return std::vector<double>(box.begin(), box.end());
  };
  const auto attend = convolvedBox(1), passive = convolvedBox(2);
  auto seed = *demo::regionMeanTimeCourse(*tc, regions->regions[0], regions->coordinateSystem);
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
  standin::DesignMatrixFile design;
  design.hasConstant = true;
  design.names = {"PPI_Seed", "Psychological regressor", "Complementary regressor",
                  "Seed_predictor"};
  design.columns = {ppi, psych, both, seedZ};
  for (std::size_t k = 0; k < 6; ++k) {
    design.names.push_back(motion->names[k]);
    design.columns.push_back(motion->columns[k]);
  }
  design.names.push_back("Constant");
  design.columns.push_back(one);
  design.colours.assign(design.names.size(), {1, 2, 3});
  return design;
}

// The generator plants the interaction and the motion weights; the check
// recovers them from the design matrices listed as the session lists them
// (here the rebuilt ones, the second without motion predictors).
TEST(DemoStudy, PlantsARecoverableInteractionThatTheCheckFinds) {
  testsupport::ScopedWorkingDirectory dir;
  demo::StudyOptions options;
  options.subjects = 2;
  options.volumes = 120;
  options.coordinateSystem = 3;
  std::string why;
  ASSERT_TRUE(demo::generateStudy("s", options, &why)) << why;
  ASSERT_TRUE(demo::generateStudy("b", options, &why)) << why;
  for (const char* file : {"study.ppi", "regions.voi", "demo.session", "sub-02/sub-02_task.vtc",
                           "sub-01/sub-01_task_3DMC.sdm"}) {
    EXPECT_EQ(readFile(std::string("s/") + file), readFile(std::string("b/") + file)) << file;
  }
  EXPECT_EQ(readFile("s/study.ppi").substr(0, 40), "./sub-01/sub-01_task.vtc\t./regions.voi\t0");
  EXPECT_EQ(standin::readTimeCourseFile("s/sub-02/sub-02_task.vtc")->linkedProtocol,
            "./sub-02/sub-02_task.prt");
  auto noList = demo::checkStudy("s", &why);
  EXPECT_FALSE(noList);
  EXPECT_EQ(why.rfind("no design matrices were listed", 0), 0u) << why;

  standin::DesignMatrixFile first = rebuiltDesign("s", 1);
  standin::DesignMatrixFile second = rebuiltDesign("s", 2);
  ASSERT_EQ(first.columns.size(), 11u);
  // The motion weights come back within four standard errors.
  auto target = demo::regionMeanTimeCourse(*standin::readTimeCourseFile("s/sub-01/sub-01_task.vtc"),
                                           standin::readRegionFile("s/regions.voi")->regions[1], 3);
  auto fit = demo::fitLeastSquares(first.columns, *target);
  ASSERT_TRUE(fit);
  for (std::size_t k = 4; k < 10; ++k) {
    EXPECT_NEAR(fit->estimates[k], demo::kPlantedMotionWeights[k - 4],
                4.0 * std::fabs(fit->estimates[k] / fit->tValues[k]))
        << k;
  }
  second.names.erase(second.names.begin() + 4, second.names.begin() + 10);
  second.columns.erase(second.columns.begin() + 4, second.columns.begin() + 10);
  second.colours.resize(second.names.size());
  ASSERT_TRUE(standin::writeDesignMatrixFile("s/results/one.sdm", first));
  ASSERT_TRUE(standin::writeDesignMatrixFile("s/results/two.sdm", second));
  testsupport::writeFile("s/results/sdm-files.txt", "./results/one.sdm\n./results/two.sdm\n");

  auto check = demo::checkStudy("s", &why);
  ASSERT_TRUE(check) << why;
  ASSERT_EQ(check->subjects.size(), 2u);
  EXPECT_TRUE(check->subjects[0].withMotion);
  EXPECT_FALSE(check->subjects[1].withMotion);
  EXPECT_EQ(check->subjects[1].predictors, 5);
  EXPECT_EQ(check->subjects[1].rows, 120);
  for (const auto& subject : check->subjects) {
    EXPECT_NEAR(subject.targetEstimate, options.ppiEffect,
                4.0 * std::fabs(subject.targetEstimate / subject.targetT))
        << subject.subject;
    EXPECT_GT(subject.targetT, 3.0) << subject.subject;
    EXPECT_LT(std::fabs(subject.nullT), 3.0) << subject.subject;
  }
  EXPECT_EQ(check->nullGroupCritical, 12.706);  // one degree of freedom
  EXPECT_TRUE(check->recovered);
  std::ostringstream table;
  demo::printStudyCheck(*check, table);
  EXPECT_NE(table.str().find("sub-02   two.sdm"), std::string::npos) << table.str();

  ASSERT_TRUE(demo::writeRegressorFigure("s", "figure.svg", &why)) << why;
  const std::string svg = readFile("figure.svg");
  EXPECT_EQ(svg.rfind("<svg", 0), 0u);
  std::size_t curves = 0;  // three regressors, six motion predictors
  for (auto at = svg.find("<polyline"); at != std::string::npos; at = svg.find("<polyline", at + 1))
    ++curves;
  EXPECT_EQ(curves, 9u);

  // A listed design matrix with fewer rows than volumes is refused.
  for (auto& column : second.columns) column.pop_back();
  ASSERT_TRUE(standin::writeDesignMatrixFile("s/results/two.sdm", second));
  EXPECT_FALSE(demo::checkStudy("s", &why));
  EXPECT_NE(why.find("119 rows for 120 volumes"), std::string::npos) << why;

  options.volumes = 15;
  EXPECT_FALSE(demo::generateStudy("x", options, &why));
  EXPECT_EQ(why, "a study needs a subject and two blocks of volumes");
  options.subjects = 0;
  options.volumes = 120;
  EXPECT_FALSE(demo::generateStudy("x", options, &why));
}

}  // namespace
