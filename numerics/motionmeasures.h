// Measures of head motion over a run, from the six rigid-body estimates of
// each volume (translations in millimetres, rotations in degrees): the
// backward difference and the square of a trace, framewise displacement, and
// the volumes whose displacement exceeds a threshold.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace ppi::numerics {

// The radius of the sphere on which a rotation is turned into the distance
// its surface moves: 50 mm, about the distance from the centre of the head to
// the cortex.
constexpr double kHeadRadiusMm = 50.0;

// d[0] = 0, d[t] = x[t] - x[t - 1].
std::vector<double> backwardDifference(const std::vector<double>& trace);

// Each value squared.
std::vector<double> squared(const std::vector<double>& trace);

// Framewise displacement of every volume: the sum of the absolute backward
// differences of the three translations and of the three rotations turned
// into arc length on a sphere of kHeadRadiusMm; 0 for the first volume.
// `traces` are translation X, Y, Z [mm] and rotation X, Y, Z [deg]; the
// first one's length is the number of volumes (a shorter trace adds nothing
// past its end).
std::vector<double> framewiseDisplacement(const std::array<std::vector<double>, 6>& traces);

// The volumes (0-based, ascending) whose displacement is greater than
// `threshold`; none when the threshold is not positive.
std::vector<std::size_t> volumesAbove(const std::vector<double>& displacement, double threshold);

struct DisplacementSummary {
  double mean = 0.0;
  double maximum = 0.0;
};

// A subject's motion over its run: framewise displacement per volume (mm),
// its mean and maximum, and the volumes censored (0-based, ascending).
struct MotionSummary {
  std::vector<double> displacement;
  double meanFD = 0.0;
  double maxFD = 0.0;
  std::vector<std::size_t> censored;
};

// Mean and maximum over all volumes (the first, always 0, included); both 0
// for an empty run.
DisplacementSummary summarize(const std::vector<double>& displacement);

}  // namespace ppi::numerics
