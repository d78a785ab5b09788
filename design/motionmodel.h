// The confound model of the motion merge, as the run's settings give it: the
// six motion estimates as read (the default), or expanded by their backward
// differences (12) and the squares of those twelve (24), and one spike
// predictor for each volume whose framewise displacement exceeds a threshold
// (censoring); with the limits above which a subject's motion is a warning.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/outcome.h"

namespace ppi::confounds {

struct MotionModel {
  int expansion = 6;              // 6, 12 or 24 continuous motion columns
  double censorFD = 0.0;          // mm; 0: no censoring
  double maxCensoredShare = 0.2;  // a larger share of censored volumes is a warning
  double maxMeanFD = 0.0;         // mm; a larger mean displacement is a warning; 0: none

  bool isDefault() const { return expansion == 6 && censorFD == 0.0; }
};

// What the model adds to the merged file's name after "_3DMC" (and before
// "_z"): "" for the default, else e.g. "_24p_fd0.5".
std::string motionModelTag(const MotionModel& model);

// Reads the model's settings as the dialog gives them: "moCoModel" (0 or 6,
// 12, 24), "censorFD", "censorMaxPercent" and "maxMeanFD" (texts holding a
// number; empty for the default). Fails, saying which setting and what it
// holds, when one is not a valid value.
Result<MotionModel> parseMotionModel(int expansion, std::string_view censorFD,
                                     std::string_view maxPercent, std::string_view maxMeanFD);

}  // namespace ppi::confounds
