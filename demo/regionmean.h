// A region's mean time course, computed from a time-course file as a
// researcher does when checking the plug-in's design matrices, and as the
// study generator does to plant an effect on the seed's signal.
#pragma once

#include <optional>
#include <vector>

#include "standin/hostmodel.h"

namespace demo {

// The sample of cell (x, y, z) at volume t, whatever the data type.
double sampleAt(const standin::TimeCourse& timeCourse, int x, int y, int z, int volume);

// The mean time course of a region as the host's grid sees it: every voxel is
// mapped to its grid cell (coordinate-system code 3 first converts the triple
// (c0, c1, c2) to (128 - c1, 128 - c2, 128 - c0)), and the cells' samples are
// averaged over the voxels. Nothing when a voxel lies outside the grid.
std::optional<std::vector<double>> regionMeanTimeCourse(const standin::TimeCourse& timeCourse,
                                                        const standin::Region& region,
                                                        int coordinateSystem);

}  // namespace demo
