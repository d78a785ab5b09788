#include "numerics/motionmeasures.h"

#include <algorithm>
#include <cmath>

namespace ppi::numerics {

std::vector<double> backwardDifference(const std::vector<double>& trace) {
  std::vector<double> difference(trace.size(), 0.0);
  for (std::size_t t = 1; t < trace.size(); ++t) difference[t] = trace[t] - trace[t - 1];
  return difference;
}

std::vector<double> squared(const std::vector<double>& trace) {
  std::vector<double> result(trace.size());
  for (std::size_t t = 0; t < trace.size(); ++t) result[t] = trace[t] * trace[t];
  return result;
}

std::vector<double> framewiseDisplacement(const std::array<std::vector<double>, 6>& traces) {
  constexpr double kPi = 3.14159265358979323846;
  constexpr double kMmPerDegree = kHeadRadiusMm * kPi / 180.0;
  const std::size_t volumes = traces[0].size();
  std::vector<double> displacement(volumes, 0.0);
  // Trace by trace, so that each is read in order.
  for (std::size_t k = 0; k < traces.size(); ++k) {
    const std::vector<double>& trace = traces[k];
    const double scale = k < 3 ? 1.0 : kMmPerDegree;
    const std::size_t length = std::min(volumes, trace.size());
    for (std::size_t t = 1; t < length; ++t) {
      displacement[t] += scale * std::fabs(trace[t] - trace[t - 1]);
    }
  }
  return displacement;
}

std::vector<std::size_t> volumesAbove(const std::vector<double>& displacement, double threshold) {
  std::vector<std::size_t> volumes;
  if (!(threshold > 0.0)) return volumes;
  for (std::size_t t = 0; t < displacement.size(); ++t) {
    if (displacement[t] > threshold) volumes.push_back(t);
  }
  return volumes;
}

DisplacementSummary summarize(const std::vector<double>& displacement) {
  DisplacementSummary summary;
  if (displacement.empty()) return summary;
  double sum = 0.0;
  for (double value : displacement) {
    sum += value;
    summary.maximum = std::max(summary.maximum, value);
  }
  summary.mean = sum / static_cast<double>(displacement.size());
  return summary;
}

}  // namespace ppi::numerics
