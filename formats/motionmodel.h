// The confound model of the motion merge: the six motion estimates as read
// (the default), or expanded by their backward differences (12) and the
// squares of those twelve (24), and one spike predictor for each volume whose
// framewise displacement exceeds a threshold (censoring). The expansion is
// computed from the estimates as read, before any z-transform; the
// z-transform then applies to every continuous motion column, never to a
// spike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formats/mocosdm.h"
#include "formats/sdmtext.h"

namespace ppi::confounds {

struct MotionModel {
  int expansion = 6;       // 6, 12 or 24 continuous motion columns
  double censorFD = 0.0;   // mm; 0: no censoring
  double maxCensoredShare = 0.2;  // a larger share of censored volumes is a warning
  double maxMeanFD = 0.0;  // mm; a larger mean displacement is a warning; 0: none

  bool isDefault() const { return expansion == 6 && censorFD == 0.0; }
};

// The columns the model adds after the six motion predictors.
struct MotionColumns {
  std::size_t continuous = 0;  // the first columns, before the spikes
  std::vector<std::string> names;
  std::vector<sdm::Colour> colours;
  std::vector<std::vector<double>> values;  // one per name, nrOfDataPoints each
};

// What the merge tells of the subject's motion.
struct MotionSummary {
  std::vector<double> displacement;   // framewise displacement per volume, mm
  double meanFD = 0.0;
  double maxFD = 0.0;
  std::vector<std::size_t> censored;  // 0-based volumes with a spike predictor
  std::size_t continuousColumns = 6;  // motion columns besides the spikes
};

// The model's added columns and the motion summary of `moco` (a well-formed
// record, as read: not yet z-transformed).
MotionColumns expandMotion(const MoCoSDM& moco, const MotionModel& model, MotionSummary& summary);

// z-transforms the added continuous columns (one that never changes is
// centred); spikes are left as they are.
void zTransformContinuous(MotionColumns& columns, std::int32_t count);

// The merged file's suffix: "_3DMC" or "_3DMC_z" for the default model; with
// an expansion or censoring the model is named between them, e.g.
// "_3DMC_24p_fd0.5_z".
std::string motionSuffix(const MotionModel& model, bool zTransformed);
// The longest suffix motionSuffix can give for `model`.
std::size_t longestMotionSuffix(const MotionModel& model);

// Reads the model's settings as the dialog gives them: "moCoModel" (0 or 6,
// 12, 24), "censorFD", "censorMaxPercent" and "maxMeanFD" (texts holding a
// number; empty for the default). False, with `why` saying which setting and
// what it holds, when one is not a valid value.
bool parseMotionModel(int expansion, std::string_view censorFD, std::string_view maxPercent,
                      std::string_view maxMeanFD, MotionModel& model, std::string& why);

}  // namespace ppi::confounds
