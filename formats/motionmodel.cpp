#include "formats/motionmodel.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "formats/mocomerge.h"
#include "numerics/motionmeasures.h"

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

void addColumn(MotionColumns& columns, std::string name, const sdm::Colour& colour,
               std::vector<double> values) {
  columns.names.push_back(std::move(name));
  columns.colours.push_back(colour);
  columns.values.push_back(std::move(values));
}

// A threshold as the dialog writes it: "%g" without trailing zeros.
std::string thresholdText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

bool parseNumber(std::string_view text, double fallback, double& value) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty()) {
    value = fallback;
    return true;
  }
  const char* end = text.data() + text.size();
  const std::from_chars_result read = std::from_chars(text.data(), end, value);
  return read.ec == std::errc() && read.ptr == end && std::isfinite(value) && value >= 0.0;
}

}  // namespace

MotionColumns expandMotion(const MoCoSDM& moco, const MotionModel& model, MotionSummary& summary) {
  MotionColumns columns;
  summary = MotionSummary{};
  summary.displacement = numerics::framewiseDisplacement(moco.values);
  const numerics::DisplacementSummary fd = numerics::summarize(summary.displacement);
  summary.meanFD = fd.mean;
  summary.maxFD = fd.maximum;
  summary.continuousColumns = static_cast<std::size_t>(model.expansion);

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
  return columns;
}

void zTransformContinuous(MotionColumns& columns, std::int32_t count) {
  for (std::size_t c = 0; c < columns.continuous; ++c) {
    zTransformColumn(columns.values[c].data(), count);
  }
}

std::string motionSuffix(const MotionModel& model, bool zTransformed) {
  std::string suffix(kMoCoSuffix);
  if (model.expansion != 6) suffix += "_" + std::to_string(model.expansion) + "p";
  if (model.censorFD > 0.0) suffix += "_fd" + thresholdText(model.censorFD);
  if (zTransformed) suffix += "_z";
  return suffix;
}

std::size_t longestMotionSuffix(const MotionModel& model) {
  return motionSuffix(model, true).size();
}

bool parseMotionModel(int expansion, std::string_view censorFD, std::string_view maxPercent,
                      std::string_view maxMeanFD, MotionModel& model, std::string& why) {
  MotionModel read;
  if (expansion == 0) expansion = 6;
  if (expansion != 6 && expansion != 12 && expansion != 24) {
    why = "\"moCoModel\" is " + std::to_string(expansion) + "; it must be 6, 12 or 24";
    return false;
  }
  read.expansion = expansion;
  auto refuse = [&why](const char* setting, std::string_view text, const char* unit) {
    why = std::string("\"") + setting + "\" is \"" + std::string(text) +
          "\"; it must be a number of " + unit + " of at least 0";
    return false;
  };
  if (!parseNumber(censorFD, 0.0, read.censorFD)) return refuse("censorFD", censorFD, "mm");
  double percent = read.maxCensoredShare * 100.0;
  if (!parseNumber(maxPercent, percent, percent) || percent > 100.0) {
    why = "\"censorMaxPercent\" is \"" + std::string(maxPercent) +
          "\"; it must be a percentage from 0 to 100";
    return false;
  }
  read.maxCensoredShare = percent / 100.0;
  if (!parseNumber(maxMeanFD, read.maxMeanFD, read.maxMeanFD)) {
    return refuse("maxMeanFD", maxMeanFD, "mm");
  }
  model = read;
  return true;
}

}  // namespace ppi::confounds
