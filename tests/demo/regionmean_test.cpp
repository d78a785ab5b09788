#include "demo/regionmean.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "tests/support/standinfixtures.h"

namespace {

using testsupport::smallTimeCourse;

TEST(RegionMeanTimeCourse, MapsVoxelsToCellsAsTheHostGridDoes) {
  const standin::TimeCourse tc = smallTimeCourse(2);  // cells of 3 from x 10, y 20, z -6
  // Samples of cell c at volume t: (3c + t) * 0.25 - 1.
  auto cellMean = [](std::vector<int> cells, int t) {
    double sum = 0.0;
    for (int c : cells) sum += (3 * c + t) * 0.25 - 1.0;
    return sum / static_cast<double>(cells.size());
  };
  struct Row {
    std::vector<std::array<std::int32_t, 3>> voxels;
    int coordinateSystem;
    std::vector<int> cells;  // empty: outside the grid
  };
  const Row rows[] = {
      {{{10, 20, -6}}, 1, {0}},
      {{{11, 21, -5}}, 1, {0}},  // +1 of 3 rounds down
      {{{12, 20, -6}}, 1, {1}},  // +2 of 3 rounds up
      {{{13, 20, -3}, {10, 20, -6}}, 1, {3, 0}},
      {{{9, 20, -6}}, 1, {0}},      // -1 of 3 is still cell 0
      {{{8, 20, -6}}, 1, {}},       // -2 of 3 is cell -1
      {{{16, 20, -6}}, 1, {}},      // one past the last cell
      {{{134, 115, 108}}, 3, {1}},  // (128 - 115, 128 - 108, 128 - 134) = (13, 20, -6)
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message()
                 << row.voxels[0][0] << " " << row.voxels[0][1] << " " << row.voxels[0][2]);
    auto mean = demo::regionMeanTimeCourse(tc, {"R", row.voxels}, row.coordinateSystem);
    if (row.cells.empty()) {
      EXPECT_FALSE(mean);
      continue;
    }
    ASSERT_TRUE(mean);
    for (int t = 0; t < 3; ++t) EXPECT_DOUBLE_EQ((*mean)[t], cellMean(row.cells, t)) << t;
  }
  EXPECT_FALSE(demo::regionMeanTimeCourse(tc, {"Empty", {}}, 1));

  // Cell (x 1, y 0, z 1) is cell 3; volume 2 is sample 3 * 3 + 2, in both sample types.
  for (int dataType : {1, 2}) {
    EXPECT_EQ(demo::sampleAt(smallTimeCourse(dataType), 1, 0, 1, 2),
              dataType == 1 ? 11 * 1000 - 6000 : 11 * 0.25 - 1.0)
        << dataType;
  }
}

}  // namespace
