#include "run/motionconfounds.h"

#include <string>
#include <vector>

namespace ppi::confounds {
namespace {

// A derivative's colour is its predictor's darkened, a square's lightened.
sdm::Colour darkened(const sdm::Colour& colour) {
  return {colour[0] * 3 / 5, colour[1] * 3 / 5, colour[2] * 3 / 5};
}
sdm::Colour lightened(const sdm::Colour& colour) {
  return {colour[0] + (255 - colour[0]) / 2, colour[1] + (255 - colour[1]) / 2,
          colour[2] + (255 - colour[2]) / 2};
}
constexpr sdm::Colour kSpikeColour = {96, 96, 96};

void addColumn(AddedColumns& columns, std::string name, const sdm::Colour& colour,
               std::vector<double> values) {
  columns.names.push_back(std::move(name));
  columns.colours.push_back(colour);
  columns.values.push_back(std::move(values));
}

}  // namespace

AddedColumns expandMotion(const MoCoSDM& moco, const MotionModel& model, MotionSummary& summary) {
  AddedColumns columns;
  summary = MotionSummary{};
  summary.displacement = numerics::framewiseDisplacement(moco.values);
  const numerics::DisplacementSummary fd = numerics::summarize(summary.displacement);
  summary.meanFD = fd.mean;
  summary.maxFD = fd.maximum;

  if (model.expansion >= 12) {
    std::vector<std::vector<double>> derivatives;
    for (std::size_t k = 0; k < kMotionPredictorCount; ++k) {
      derivatives.push_back(numerics::backwardDifference(moco.values[k]));
      addColumn(columns, std::string(kMotionPredictorNames[k]) + " derivative",
                darkened(moco.colors[k]), derivatives.back());
    }
    if (model.expansion >= 24) {
      for (std::size_t k = 0; k < kMotionPredictorCount; ++k) {
        addColumn(columns, std::string(kMotionPredictorNames[k]) + " squared",
                  lightened(moco.colors[k]), numerics::squared(moco.values[k]));
      }
      for (std::size_t k = 0; k < kMotionPredictorCount; ++k) {
        addColumn(columns, std::string(kMotionPredictorNames[k]) + " derivative squared",
                  lightened(darkened(moco.colors[k])), numerics::squared(derivatives[k]));
      }
    }
  }
  columns.continuous = columns.values.size();

  summary.censored = numerics::volumesAbove(summary.displacement, model.censorFD);
  for (std::size_t volume : summary.censored) {
    std::vector<double> spike(summary.displacement.size(), 0.0);
    spike[volume] = 1.0;
    addColumn(columns, "Spike " + std::to_string(volume + 1), kSpikeColour, std::move(spike));
  }
  columns.tag = motionModelTag(model);
  return columns;
}

std::size_t longestMergeSuffix(const MotionModel& model) {
  return kMoCoZSuffix.size() + motionModelTag(model).size();
}

}  // namespace ppi::confounds
