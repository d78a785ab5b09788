#include "analysis/regiontimecourse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/analysis/studyfixture.h"

namespace {

using analysistest::SubjectSetup;
using Voxel = std::array<std::int32_t, 3>;

// The subject alone in a fresh host, its documents open as the run opens them.
bool computeFor(const SubjectSetup& setup, ppi::RegionTimeCourse& region, std::string& last) {
  testsupport::PluginHarness harness;
  analysistest::addSubject(harness, setup);
  const bool ok = ppi::computeRegionTimeCourse(harness.plugin.subjects.at(0),
                                               harness.plugin.subjectVOIs.at(0), region);
  EXPECT_TRUE(harness.model.canariesIntact());
  last = harness.model.log.empty() ? "" : harness.model.log.back();
  return ok;
}

TEST(RegionTimeCourse, MatchesAPlainComputationForBothSampleTypesAndCoordinateSystems) {
  // In grid space: halves at +1, +3 and -1 from the starts, the far corner,
  // and two voxels outside the grid.
  const Voxel inGrid[] = {{101, 90, 110}, {103, 93, 111}, {99, 89, 109}, {108, 98, 118},
                          {97, 90, 110},  {104, 95, 112}, {109, 90, 110}};
  for (const auto& [dataType, code] : {std::pair{1, 1}, {2, 1}, {1, 3}, {2, 3}}) {
    SCOPED_TRACE(std::to_string(dataType) + " " + std::to_string(code));
    SubjectSetup setup = analysistest::numberedSubject(1);
    setup.grid = {100, 90, 110, 5, 5, 5, 2, 24, dataType};
    setup.coordinateSystem = code;
    setup.regions = {{"FFA", {}}};
    // Code 3 stores (c0, c1, c2) for the grid-space voxel (128 - c1, 128 - c2, 128 - c0).
    for (const Voxel& v : inGrid) {
      setup.regions[0].voxels.push_back(code == 3 ? Voxel{128 - v[2], 128 - v[0], 128 - v[1]} : v);
    }
    ppi::RegionTimeCourse computed;
    std::string last;
    ASSERT_TRUE(computeFor(setup, computed, last));
    EXPECT_EQ(computed.values, analysistest::plainRegionTimeCourse(setup));
    EXPECT_EQ(last,
              "Plugin> 2 of the 7 voxels of the VOI \"FFA\" lie outside the grid of "
              "/data/s01/run1.vtc; the mean is taken over the 5 inside.");
  }
}

TEST(RegionTimeCourse, DegenerateSignalsStopWithALineNamingTheTimeCourse) {
  const std::string notFinite =
      "Plugin> The region signal of the VOI \"FFA\" in "
      "/data/s01/run1.vtc is constant or not finite (standard deviation ";
  const struct {
    std::function<void(SubjectSetup&)> change;
    std::string line;  // logged last (its beginning)
  } rows[] = {
      {[](SubjectSetup& s) { s.regions[0].voxels.clear(); },
       "Plugin> The VOI \"FFA\" holds no voxels for /data/s01/run1.vtc"},
      {[](SubjectSetup& s) {
         s.regions[0].voxels = {{90, 90, 110}, {100, 80, 110}};
       },
       "Plugin> No voxel of the VOI \"FFA\" lies inside the grid of /data/s01/run1.vtc"},
      {[](SubjectSetup& s) { s.grid.nrOfVolumes = 1; },
       "Plugin> The VTC file /data/s01/run1.vtc has 1 volumes"},
      {[](SubjectSetup& s) { s.grid.resolution = 0; },
       "Plugin> The VTC file /data/s01/run1.vtc has a resolution of 0"},
      {[](SubjectSetup& s) { s.sample = [](int, int, int, int) { return 7.0; }; },
       notFinite + "0)"},
      {[](SubjectSetup& s) {
         s.sample = [](int, int, int, int t) { return t == 4 ? std::nan("") : t; };
       },
       notFinite},
      {[](SubjectSetup& s) { s.sample = [](int, int, int, int t) { return t == 2 ? 3e38 : t; }; },
       notFinite},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    SubjectSetup setup = analysistest::numberedSubject(1);
    row.change(setup);
    ppi::RegionTimeCourse computed;
    std::string last;
    EXPECT_FALSE(computeFor(setup, computed, last));
    EXPECT_TRUE(computed.values.empty());
    EXPECT_EQ(last.substr(0, row.line.size()), row.line);
  }
}

}  // namespace
