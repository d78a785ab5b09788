#include "demo/regionmean.h"

#include <array>
#include <cmath>
#include <cstdint>

namespace demo {

using standin::Region;
using standin::TimeCourse;

double sampleAt(const TimeCourse& tc, int x, int y, int z, int volume) {
  const std::size_t cell = (static_cast<std::size_t>(z) * static_cast<std::size_t>(tc.dimY()) +
                            static_cast<std::size_t>(y)) *
                               static_cast<std::size_t>(tc.dimX()) +
                           static_cast<std::size_t>(x);
  const std::size_t index =
      cell * static_cast<std::size_t>(tc.nrOfVolumes) + static_cast<std::size_t>(volume);
  return tc.dataType == 1 ? tc.intSamples[index] : tc.floatSamples[index];
}

std::optional<std::vector<double>> regionMeanTimeCourse(const TimeCourse& tc, const Region& region,
                                                        int coordinateSystem) {
  if (region.voxels.empty()) return std::nullopt;
  std::vector<std::array<int, 3>> cells;
  cells.reserve(region.voxels.size());
  auto index = [&](std::int32_t coordinate, std::int32_t start) {
    return static_cast<int>(std::floor(
        static_cast<double>(coordinate - start) / static_cast<double>(tc.resolution) + 0.5));
  };
  for (const auto& v : region.voxels) {
    std::array<std::int32_t, 3> p = v;
    if (coordinateSystem == 3) p = {128 - v[1], 128 - v[2], 128 - v[0]};
    std::array<int, 3> cell{index(p[0], tc.xStart), index(p[1], tc.yStart), index(p[2], tc.zStart)};
    if (cell[0] < 0 || cell[0] >= tc.dimX() || cell[1] < 0 || cell[1] >= tc.dimY() || cell[2] < 0 ||
        cell[2] >= tc.dimZ()) {
      return std::nullopt;
    }
    cells.push_back(cell);
  }
  std::vector<double> mean(static_cast<std::size_t>(tc.nrOfVolumes), 0.0);
  for (int t = 0; t < tc.nrOfVolumes; ++t) {
    double sum = 0.0;
    for (const auto& c : cells) sum += sampleAt(tc, c[0], c[1], c[2], t);
    mean[static_cast<std::size_t>(t)] = sum / static_cast<double>(cells.size());
  }
  return mean;
}

}  // namespace demo
