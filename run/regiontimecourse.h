// The physiological signal of one subject: the mean time course of its region
// of interest, z-normalised.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/outcome.h"
#include "model/subject.h"

namespace ppi::analysis {

struct RegionTimeCourse {
  std::vector<float> values;  // one per volume, z-normalised
  std::string voiName;        // the region's name as the host reports it now
  // For the provenance record and the QC report:
  std::int32_t voxelsListed = 0;  // the region's voxels
  std::int32_t voxelsInside = 0;  // of those, inside the time course's grid
  double rawMean = 0;             // the signal before z-normalisation
  double rawStandardDeviation = 0;
  // With the first eigenvariate: the share of the voxels' variance it explains
  // (0 to 1); negative with the mean.
  double eigenvariateShare = -1;
  // The samples as the host handed them out (the whole grid, every volume),
  // valid while the host keeps the time course: the provenance record takes
  // their checksum, when records are kept.
  const void* samples = nullptr;
  std::size_t sampleBytes = 0;
};

// Averages the linked time course over the voxels of the subject's chosen VOI
// (the VTC linked and the VOI file loaded in the host) and z-normalises the
// mean with the sample standard deviation, all in single precision. Voxels
// outside the time-course grid are left out, with one log line. Fails, after
// one log line naming the time course, when no sound signal can be formed: no
// voxel inside the grid, fewer than 2 volumes, a constant or non-finite
// signal, or data the host does not hand out.
//
// With `firstEigenvariate`, the region's first eigenvariate takes the mean's
// place (numerics/eigenvariate.h: the voxels centred over time, the sign that
// correlates positively with the mean), z-normalised as the mean is; one log
// line gives the share of the voxels' variance it explains.
Outcome computeRegionTimeCourse(const model::Subject& subject, RegionTimeCourse& region,
                                bool firstEigenvariate = false);

}  // namespace ppi::analysis
