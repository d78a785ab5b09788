// The region time course through the fake host.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "run/regiontimecourse.h"
#include "run/regressors.h"
#include "commands/handlers.h"
#include "design/runsettings.h"
#include "common/checksum.h"
#include "common/filelayer.h"
#include "standin/designfile.h"
#include "run/readsettings.h"
#include "tests/support/runstudy.h"
#include "tests/support/studyfixture.h"
#include "tests/formats/sdmfiles.h"

namespace {

using analysistest::convolvedBoxCar;
using analysistest::Names;
using analysistest::numberedSubject;
using analysistest::plainRegionTimeCourse;
using analysistest::predictorValues;
using analysistest::SubjectSetup;
using testsupport::PluginHarness;
using analysistest::motionFiles;
using analysistest::numbered;
using analysistest::Study;

TEST(RegionTimeCourse, DegenerateSignalsStopWithALineNamingTheTimeCourse) {
  const std::string notFinite =
      "Plugin> The region signal of the VOI \"FFA\" in "
      "/data/s01/run1.vtc is constant or not finite (standard deviation ";
  const struct {
    std::function<void(SubjectSetup&)> change;
    std::string line;  // logged last (its beginning)
  } rows[] = {
      {[](auto& s) { s.regions[0].voxels.clear(); },
       "Plugin> The VOI \"FFA\" holds no voxels for /data/s01/run1.vtc"},
      {[](auto& s) {
         s.regions[0].voxels = {{90, 90, 110}, {100, 80, 110}};
       },
       "Plugin> No voxel of the VOI \"FFA\" lies inside the grid of /data/s01/run1.vtc"},
      {[](auto& s) { s.grid.nrOfVolumes = 1; },
       "Plugin> The VTC file /data/s01/run1.vtc has 1 volumes"},
      {[](auto& s) { s.grid.resolution = 0; },
       "Plugin> The VTC file /data/s01/run1.vtc has a resolution of 0"},
      {[](auto& s) { s.sample = [](int, int, int, int) { return 7.0; }; }, notFinite + "0)"},
      {[](auto& s) { s.sample = [](int, int, int, int t) { return t == 4 ? std::nan("") : t; }; },
       notFinite},
      {[](auto& s) { s.sample = [](int, int, int, int t) { return t == 2 ? 3e38 : t; }; },
       notFinite},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    SubjectSetup setup = numberedSubject(1);
    row.change(setup);
    PluginHarness harness;
    analysistest::addSubject(harness, setup);
    ppi::analysis::RegionTimeCourse computed;
    EXPECT_FALSE(
        ppi::analysis::computeRegionTimeCourse(harness.plugin.state.subjects.at(0), computed).ok());
    EXPECT_TRUE(computed.values.empty());
    EXPECT_EQ(harness.model.log.back().substr(0, row.line.size()), row.line);
    EXPECT_TRUE(harness.model.canariesIntact());
  }
}

}  // namespace
