#include "analysis/regiontimecourse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/analysis/studyfixture.h"

namespace {

using analysistest::SubjectSetup;

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
