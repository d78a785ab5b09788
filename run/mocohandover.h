// The motion-correction hand-over of the per-subject step: once the host has
// saved the subject's design matrix, the user picks the subject's
// motion-estimates file, and the design matrix merged with its six motion
// predictors takes the saved one's place for the rest of the run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/boundedtext.h"
#include "common/report.h"
#include "design/motionmodel.h"
#include "numerics/motionmeasures.h"

namespace ppi::confounds {

// The longest motion-estimates path that is accepted.
constexpr std::size_t kMotionPathLimit = 511;

// Asks for the motion-estimates file (the dialog starts in `vtcFolder`), reads
// it and merges it into the design matrix at `savedPath`, z-transforming the
// motion predictors when `zFlag` is non-zero. True when the run goes on:
// `savedPath` then names the merged design matrix. False when the run must
// stop (the dialog was cancelled, or the motion predictors could not be added;
// a log line says why); `savedPath` is unchanged then. `motionPath`, when
// given, gets the motion-estimates file chosen. A motion column that is only
// centred, as it never changes, is a warning in `report` (when given) at
// `where` (the subject). `model` is the confound model merged; `motion`, when
// given, gets the subject's displacement and censored volumes.
bool handOverMoCo(PathText& savedPath, const std::string& vtcFolder, std::int32_t zFlag,
                  std::string* motionPath = nullptr, Report* report = nullptr,
                  const std::string& where = {}, const MotionModel& model = MotionModel{},
                  numerics::MotionSummary* motion = nullptr);

}  // namespace ppi::confounds
