// The demo study's session played by the stand-in host application, as built,
// with the plug-in library, as built: the plug-in binds to the executable by
// itself, and the design matrices it saves carry the planted interaction.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "demo/study.h"
#include "standin/designfile.h"
#include "tests/support/fakehost.h"
#include "tests/support/standinfixtures.h"

namespace {

using testsupport::contains;
using testsupport::HostRun;
using testsupport::readFile;
using testsupport::ScopedWorkingDirectory;

TEST(DemoSession, RunsInTheHostAndTheDesignMatricesCarryThePlantedInteraction) {
  ScopedWorkingDirectory dir;
  demo::StudyOptions options;
  options.subjects = 2;
  options.volumes = 120;
  options.coordinateSystem = 3;
  options.zTransformMotion = 1;
  std::string why;
  ASSERT_TRUE(demo::generateStudy("study", options, &why)) << why;
  HostRun run = testsupport::runHost(STANDIN_APP_PATH, "study",
                                     "--plugin '" STANDIN_PLUGIN_PATH "' demo.session");
  ASSERT_TRUE(contains(run.output, "** Starting PPI plugin (v1.30) **")) << run.output;
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(contains(run.output,
                       "Plugin> Design matrix saved as: ./standPPI_sub-02_task_regions_3DMC_z.sdm"))
      << run.output;

  const std::vector<std::string> files{"./results/standPPI_sub-01_task_regions_3DMC_z.sdm",
                                       "./results/standPPI_sub-02_task_regions_3DMC_z.sdm"};
  EXPECT_EQ(readFile("study/results/sdm-files.txt"), files[0] + "\n" + files[1] + "\n");
  const std::vector<std::string> savedNames{"PPI_Seed", "Psychological regressor",
                                            "Complementary regressor", "Seed_predictor",
                                            "Constant"};
  std::vector<std::string> mergedNames(savedNames.begin(), savedNames.end() - 1);
  for (const char* name :
       {"Translation TY-X [mm]", "Translation TY-Y [mm]", "Translation TY-Z [mm]",
        "Rotation TY-X [deg]", "Rotation TY-Y [deg]", "Rotation TY-Z [deg]", "Constant"}) {
    mergedNames.push_back(name);
  }
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    std::string savedFile = file;
    savedFile.erase(savedFile.size() - 11, 7);  // the "_3DMC_z" before ".sdm"
    auto merged = standin::readDesignMatrixFile("study/" + file, &why);
    auto saved = standin::readDesignMatrixFile("study/" + savedFile, &why);
    ASSERT_TRUE(merged && saved) << why;
    EXPECT_EQ(saved->names, savedNames);
    EXPECT_EQ(merged->names, mergedNames);
    EXPECT_TRUE(saved->hasConstant && merged->hasConstant);
    EXPECT_EQ(merged->firstConfound, saved->firstConfound);
    ASSERT_EQ(saved->columns.front().size(), 120u);
    ASSERT_EQ(merged->columns.front().size(), 120u);
    // The design's own predictors pass into the merged file (six digits there).
    for (std::size_t p = 0; p < 4; ++p) {
      for (std::size_t t = 0; t < 120; ++t) {
        const double v = saved->columns[p][t];
        ASSERT_NEAR(merged->columns[p][t], v, 1e-5 * std::fmax(1.0, std::fabs(v))) << p << " " << t;
      }
    }
    EXPECT_EQ(merged->columns[10], std::vector<double>(120, 1.0));
    // The motion columns were z-transformed: mean 0, population spread 1.
    for (std::size_t k = 4; k < 10; ++k) {
      double mean = 0.0, squares = 0.0;
      for (double v : merged->columns[k]) mean += v / 120.0;
      for (double v : merged->columns[k]) squares += (v - mean) * (v - mean) / 120.0;
      EXPECT_NEAR(mean, 0.0, 1e-5) << k;
      EXPECT_NEAR(std::sqrt(squares), 1.0, 1e-5) << k;
    }
  }

  auto check = demo::checkStudy("study", &why);
  ASSERT_TRUE(check) << why;
  ASSERT_EQ(check->subjects.size(), 2u);
  for (const demo::SubjectFit& fit : check->subjects) {
    SCOPED_TRACE(fit.subject);
    EXPECT_TRUE(fit.withMotion);
    EXPECT_EQ(fit.predictors, 11);
    EXPECT_GT(fit.targetEstimate, 0.0);
    EXPECT_GT(fit.targetT, 3.0);
  }
  EXPECT_LT(std::fabs(check->nullGroupT), check->nullGroupCritical);
  EXPECT_TRUE(check->recovered);
}

}  // namespace
