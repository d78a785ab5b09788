#include "analysis/regiontimecourse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "tests/analysis/studyfixture.h"

namespace {

using analysistest::GridSetup;
using analysistest::SubjectSetup;
using analysistest::Voxel;
using testsupport::PluginHarness;

bool computeFor(PluginHarness& harness, const SubjectSetup& setup, ppi::RegionTimeCourse& region) {
  analysistest::addSubject(harness, setup);
  analysistest::openSubjectDocuments(harness, setup);
  return ppi::computeRegionTimeCourse(harness.plugin.subjects.back(),
                                      harness.plugin.subjectVOIs.back(), region);
}

TEST(RegionTimeCourse, MatchesAPlainComputationForBothSampleTypesAndCoordinateSystems) {
  // Coordinates in the time course's space: halves at +1, +3 and -1 from the
  // starts, the far corner, and two voxels that fall outside the grid.
  const std::vector<Voxel> inGridSpace = {{101, 90, 110}, {103, 93, 111}, {99, 89, 109},
                                          {108, 98, 118}, {97, 90, 110},  {104, 95, 112},
                                          {109, 90, 110}};
  struct Row {
    std::int32_t dataType;
    std::int32_t coordinateSystem;
  };
  for (const Row& row : {Row{1, 1}, Row{2, 1}, Row{1, 3}, Row{2, 3}}) {
    SCOPED_TRACE("data type " + std::to_string(row.dataType) + ", coordinate system " +
                 std::to_string(row.coordinateSystem));
    SubjectSetup setup;
    setup.grid = GridSetup{100, 90, 110, 5, 5, 5, 2, 24, row.dataType};
    setup.coordinateSystem = row.coordinateSystem;
    standin::Region region{"FFA", {}};
    for (const Voxel& v : inGridSpace) {
      // Code 3 stores (c0, c1, c2) such that (128 - c1, 128 - c2, 128 - c0) is the grid-space
      // voxel.
      region.voxels.push_back(row.coordinateSystem == 3 ? Voxel{128 - v[2], 128 - v[0], 128 - v[1]}
                                                        : v);
    }
    if (row.coordinateSystem == 3) {
      EXPECT_EQ(region.voxels[3], (Voxel{10, 20, 30}));
    }
    setup.regions = {region};

    PluginHarness harness;
    ppi::RegionTimeCourse computed;
    ASSERT_TRUE(computeFor(harness, setup, computed));
    EXPECT_EQ(computed.voiName, "FFA");
    EXPECT_EQ(computed.values, analysistest::plainRegionTimeCourse(setup));
    EXPECT_TRUE(analysistest::logHas(harness.model, "Plugin> Dims of VTC, X: 5  Y: 5  Z: 5"));
    EXPECT_TRUE(analysistest::logHas(harness.model, "Plugin> Number of voxels in VOI: 7"));
    EXPECT_TRUE(analysistest::logHas(
        harness.model,
        "Plugin> 2 of the 7 voxels of the VOI \"FFA\" lie outside the grid of /data/s01/run1.vtc; "
        "the mean is taken over the 5 inside."));
    EXPECT_TRUE(harness.model.canariesIntact());
  }
}

TEST(RegionTimeCourse, GridIndicesRoundHalvesUpward) {
  // Cell x of the grid peaks at volume x alone, so the normalised signal of a
  // one-voxel region peaks at the voxel's grid index.
  struct Row {
    std::int32_t resolution;
    std::int32_t offset;  // from XStart
    int index;            // -1: outside the grid
  };
  const Row rows[] = {{2, 1, 1}, {2, 3, 2},   {2, -1, 0},  {3, 1, 0},  {3, 2, 1},
                      {2, 0, 0}, {2, -3, -1}, {2, 11, -1}, {3, 16, 5}, {3, -2, -1}};
  for (const Row& row : rows) {
    SCOPED_TRACE("resolution " + std::to_string(row.resolution) + ", offset " +
                 std::to_string(row.offset));
    SubjectSetup setup;
    setup.grid = GridSetup{100, 90, 110, 6, 2, 2, row.resolution, 8, 2};
    setup.sample = [](int x, int, int, int t) { return t == x ? 100.0 : 0.0; };
    setup.regions = {standin::Region{"R", {{100 + row.offset, 90, 110}}}};
    PluginHarness harness;
    ppi::RegionTimeCourse computed;
    bool computedOk = computeFor(harness, setup, computed);
    if (row.index < 0) {
      EXPECT_FALSE(computedOk);
      EXPECT_TRUE(analysistest::logHasPart(harness.model, "No voxel of the VOI \"R\" lies inside"));
      continue;
    }
    ASSERT_TRUE(computedOk);
    auto peak = std::max_element(computed.values.begin(), computed.values.end());
    EXPECT_EQ(peak - computed.values.begin(), row.index);
  }
}

TEST(RegionTimeCourse, DegenerateSignalsStopWithALineNamingTheTimeCourse) {
  struct Row {
    const char* what;
    std::function<void(SubjectSetup&)> change;
    const char* expected;
  };
  const GridSetup grid{100, 90, 110, 3, 3, 3, 2, 12, 2};
  auto cells = [&grid](const std::string& name) {
    return analysistest::regionOfCells(name, grid, {{0, 0, 0}, {1, 2, 0}});
  };
  const Row rows[] = {
      {"no voxels",
       [](SubjectSetup& s) {
         s.regions = {standin::Region{"FFA", {}}};
       },
       "Plugin> The VOI \"FFA\" holds no voxels for /data/s01/run1.vtc; Prepare PPI Plugin "
       "aborted."},
      {"one volume", [](SubjectSetup& s) { s.grid.nrOfVolumes = 1; },
       "Plugin> The VTC file /data/s01/run1.vtc has 1 volumes; a region signal needs at least 2. "
       "Prepare PPI Plugin aborted."},
      {"constant signal",
       [](SubjectSetup& s) { s.sample = [](int, int, int, int) { return 7.0; }; },
       "Plugin> The region signal of the VOI \"FFA\" in /data/s01/run1.vtc is constant or not "
       "finite (standard deviation 0); Prepare PPI Plugin aborted."},
      {"constant 16-bit signal",
       [](SubjectSetup& s) {
         s.grid.dataType = 1;
         s.sample = [](int x, int, int, int) { return 40.0 * x; };
       },
       "Plugin> The region signal of the VOI \"FFA\" in /data/s01/run1.vtc is constant or not "
       "finite (standard deviation 0); Prepare PPI Plugin aborted."},
      {"not-a-number sample",
       [](SubjectSetup& s) {
         s.sample = [](int x, int y, int z, int t) {
           return t == 4 ? std::numeric_limits<double>::quiet_NaN()
                         : analysistest::scatteredSample(x, y, z, t);
         };
       },
       "Plugin> The region signal of the VOI \"FFA\" in /data/s01/run1.vtc is constant or not "
       "finite (standard deviation"},
      {"infinite sample",
       [](SubjectSetup& s) {
         s.sample = [](int, int, int, int t) { return t == 2 ? 3e38 : 1.0 * t; };
       },
       "Plugin> The region signal of the VOI \"FFA\" in /data/s01/run1.vtc is constant or not "
       "finite (standard deviation"},
      {"every voxel outside",
       [](SubjectSetup& s) {
         s.regions = {standin::Region{"FFA", {{90, 90, 110}, {100, 80, 110}}}};
       },
       "Plugin> No voxel of the VOI \"FFA\" lies inside the grid of /data/s01/run1.vtc; Prepare "
       "PPI Plugin aborted."},
      {"resolution 0", [](SubjectSetup& s) { s.grid.resolution = 0; },
       "Plugin> The VTC file /data/s01/run1.vtc has a resolution of 0; Prepare PPI Plugin "
       "aborted."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    SubjectSetup setup;
    setup.grid = grid;
    setup.regions = {cells("FFA")};
    row.change(setup);
    PluginHarness harness;
    ppi::RegionTimeCourse computed;
    EXPECT_FALSE(computeFor(harness, setup, computed));
    EXPECT_TRUE(computed.values.empty());
    EXPECT_TRUE(analysistest::logHasPart(harness.model, row.expected)) << harness.model.log.back();
  }
}

}  // namespace
