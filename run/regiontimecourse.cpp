#include "run/regiontimecourse.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "numerics/eigenvariate.h"
#include "numerics/regionsum.h"
#include "host/hostapi.h"

namespace ppi::analysis {
namespace {

// The line giving the grid's dimensions is cut after this many characters.
constexpr std::size_t kGridLineLimit = 259;

struct Grid {
  std::int32_t xStart, yStart, zStart, resolution;
  std::int32_t dimX, dimY, dimZ;
};

// The grid index of a coordinate: the offset from the start in cells, computed
// in single precision, rounded with halves upward in double precision. Nothing
// when it falls outside [0, cells).
bool gridIndex(std::int64_t coordinate, std::int32_t start, std::int32_t resolution,
               std::int32_t cells, std::size_t& index) {
  float q =
      (static_cast<float>(coordinate) - static_cast<float>(start)) / static_cast<float>(resolution);
  double rounded = std::floor(static_cast<double>(q) + 0.5);
  if (!(rounded >= 0.0 && rounded < static_cast<double>(cells))) return false;
  index = static_cast<std::size_t>(rounded);
  return true;
}

// The first sample of every voxel inside the grid, in the VOI's stored order.
std::vector<std::size_t> sampleOffsets(const std::int32_t* voxels, std::int32_t nrOfVoxels,
                                       bool convertCoordinates, const Grid& grid,
                                       std::size_t nrOfVolumes) {
  std::vector<std::size_t> offsets;
  offsets.reserve(static_cast<std::size_t>(nrOfVoxels));
  for (std::int32_t v = 0; v < nrOfVoxels; ++v) {
    const std::int32_t* c = voxels + 3 * static_cast<std::size_t>(v);
    std::int64_t a = c[0], b = c[1], d = c[2];
    if (convertCoordinates) {
      constexpr std::int64_t offset = host::VOISetRecord::kCoordinateOffset;
      a = offset - static_cast<std::int64_t>(c[1]);
      b = offset - static_cast<std::int64_t>(c[2]);
      d = offset - static_cast<std::int64_t>(c[0]);
    }
    std::size_t x = 0, y = 0, z = 0;
    if (gridIndex(a, grid.xStart, grid.resolution, grid.dimX, x) &&
        gridIndex(b, grid.yStart, grid.resolution, grid.dimY, y) &&
        gridIndex(d, grid.zStart, grid.resolution, grid.dimZ, z)) {
      std::size_t cell =
          (z * static_cast<std::size_t>(grid.dimY) + y) * static_cast<std::size_t>(grid.dimX) + x;
      offsets.push_back(cell * nrOfVolumes);
    }
  }
  return offsets;
}

// The region's first eigenvariate into `values` and the share of the voxels'
// variance it explains into `explainedShare`, with one log line of it. False, after one log line, when there is none.
Outcome regionEigenvariate(const std::int16_t* intSamples, const float* floatSamples,
                           bool sixteenBit, const std::vector<std::size_t>& offsets,
                           std::size_t volumes, const char* voiName, const char* vtcPath,
                           std::vector<float>& values, double& explainedShare) {
  Eigenvariate component = sixteenBit ? firstEigenvariate(intSamples, offsets, volumes)
                                      : firstEigenvariate(floatSamples, offsets, volumes);
  if (!component.ok) {
    return host::logFailure(
        "Plugin> ",
        "The VOI \"%s\" in %s has no first eigenvariate: %s. Prepare PPI Plugin aborted.", voiName,
        vtcPath, component.why.c_str());
  }
  host::logLine(
      "Plugin> The first eigenvariate of the VOI \"%s\" explains %.1f %% of its %zu voxels' "
      "variance.",
      voiName, 100.0 * component.explainedShare, offsets.size());
  values = std::move(component.values);
  explainedShare = component.explainedShare;
  return {};
}

// Z-normalises in place with the sample standard deviation, in single
// precision with the volumes in order. Returns the standard deviation.
float zNormalise(std::vector<float>& values) {
  float sum = 0.0f;
  for (float value : values) sum += value;
  float mean = sum / static_cast<float>(values.size());
  float squares = 0.0f;
  for (float& value : values) {
    value -= mean;
    squares += value * value;
  }
  float sd = std::sqrt(squares / static_cast<float>(values.size() - 1));
  if (std::isfinite(sd) && sd > 0.0f) {
    for (float& value : values) value /= sd;
  }
  return sd;
}

// The mean and sample standard deviation in double precision.
void summarise(const std::vector<float>& values, double& mean, double& sd) {
  double sum = 0;
  for (float value : values) sum += value;
  mean = sum / static_cast<double>(values.size());
  double squares = 0;
  for (float value : values) squares += (value - mean) * (value - mean);
  sd = std::sqrt(squares / static_cast<double>(values.size() - 1));
}

}  // namespace

Outcome computeRegionTimeCourse(const model::Subject& subject, RegionTimeCourse& region,
                                bool firstEigenvariate) {
  const model::SubjectRecord& timeCourse = subject.timeCourse;
  const model::SubjectVOIRecord& subjectVOI = subject.region;
  const host::VTCHeaderRecord& header = timeCourse.header;
  const std::string vtcPath = timeCourse.timeCoursePath();
  const std::int16_t* intSamples = host::getVTCIntData();
  const float* floatSamples = host::getVTCFloatData();
  const bool sixteenBit = header.hasSixteenBitSamples();

  Grid grid{header.xStart(), header.yStart(), header.zStart(), header.resolution(), 0, 0, 0};
  if (grid.resolution < 1) {
    return host::logFailure("Plugin> ",
                            "The VTC file %s has a resolution of %d; Prepare PPI Plugin aborted.",
                            vtcPath.c_str(), grid.resolution);
  }
  grid.dimX = static_cast<std::int32_t>((static_cast<std::int64_t>(header.xEnd()) - grid.xStart) /
                                        grid.resolution);
  grid.dimY = static_cast<std::int32_t>((static_cast<std::int64_t>(header.yEnd()) - grid.yStart) /
                                        grid.resolution);
  grid.dimZ = static_cast<std::int32_t>((static_cast<std::int64_t>(header.zEnd()) - grid.zStart) /
                                        grid.resolution);
  host::logLineLimited(kGridLineLimit, "Plugin> Dims of VTC, X: %i  Y: %i  Z: %i", grid.dimX,
                       grid.dimY, grid.dimZ);

  host::VOIRecord voi = subjectVOI.voi;
  const std::int32_t* voxels = host::getVOI(subjectVOI.chosenVOI, voi);
  const std::int32_t nrOfVoxels = voi.nrOfVoxels();
  host::logLine("Plugin> Number of voxels in VOI: %i", nrOfVoxels);
  region.voiName = voi.name();
  region.values.clear();
  region.voxelsListed = nrOfVoxels;
  region.voxelsInside = 0;

  if (timeCourse.nrOfVolumes < 2) {
    return host::logFailure(
        "Plugin> ",
        "The VTC file %s has %d volumes; a region signal needs at least 2. Prepare PPI "
        "Plugin aborted.",
        vtcPath.c_str(), timeCourse.nrOfVolumes);
  }
  if (nrOfVoxels < 1 || voxels == nullptr) {
    return host::logFailure("Plugin> ",
                            "The VOI \"%s\" holds no voxels for %s; Prepare PPI Plugin aborted.",
                            region.voiName.c_str(), vtcPath.c_str());
  }
  if (sixteenBit ? intSamples == nullptr : floatSamples == nullptr) {
    return host::logFailure("Plugin> ",
                            "The host hands out no samples of %s; Prepare PPI Plugin aborted.",
                            vtcPath.c_str());
  }

  const std::size_t volumes = static_cast<std::size_t>(timeCourse.nrOfVolumes);
  const std::vector<std::size_t> offsets =
      sampleOffsets(voxels, nrOfVoxels, subjectVOI.voiSet.hasMirroredCoordinates(), grid, volumes);
  if (offsets.empty()) {
    return host::logFailure(
        "Plugin> ",
        "No voxel of the VOI \"%s\" lies inside the grid of %s; Prepare PPI Plugin "
        "aborted.",
        region.voiName.c_str(), vtcPath.c_str());
  }
  if (offsets.size() < static_cast<std::size_t>(nrOfVoxels)) {
    host::logLine(
        "Plugin> %d of the %d voxels of the VOI \"%s\" lie outside the grid of %s; the mean is "
        "taken over the %d inside.",
        nrOfVoxels - static_cast<int>(offsets.size()), nrOfVoxels, region.voiName.c_str(),
        vtcPath.c_str(), static_cast<int>(offsets.size()));
  }

  region.voxelsInside = static_cast<std::int32_t>(offsets.size());
  const std::size_t sampleCount = static_cast<std::size_t>(grid.dimX) *
                                  static_cast<std::size_t>(grid.dimY) *
                                  static_cast<std::size_t>(grid.dimZ) * volumes;
  region.samples = sixteenBit ? static_cast<const void*>(intSamples) : floatSamples;
  region.sampleBytes = sampleCount * (sixteenBit ? sizeof(std::int16_t) : sizeof(float));

  std::vector<float> sums(volumes, 0.0f);
  if (firstEigenvariate) {
    const Outcome component =
        regionEigenvariate(intSamples, floatSamples, sixteenBit, offsets, volumes,
                           region.voiName.c_str(), vtcPath.c_str(), sums, region.eigenvariateShare);
    if (!component.ok()) return component;
  } else {
    if (sixteenBit) {
      analysis::sumOverVoxels(intSamples, offsets, sums);
    } else {
      analysis::sumOverVoxels(floatSamples, offsets, sums);
    }
    const float count = static_cast<float>(offsets.size());
    for (float& sum : sums) sum /= count;
  }

  summarise(sums, region.rawMean, region.rawStandardDeviation);
  const float sd = zNormalise(sums);
  if (!(std::isfinite(sd) && sd > 0.0f)) {
    return host::logFailure("Plugin> ",
                            "The region signal of the VOI \"%s\" in %s is constant or not finite "
                            "(standard deviation %g); Prepare PPI Plugin aborted.",
                            region.voiName.c_str(), vtcPath.c_str(), static_cast<double>(sd));
  }
  region.values = std::move(sums);
  return {};
}

}  // namespace ppi::analysis
