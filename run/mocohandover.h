// The motion-correction hand-over of the per-subject step: once the host has
// saved the subject's design matrix, the user picks the subject's
// motion-estimates file, and the design matrix merged with its six motion
// predictors takes the saved one's place for the rest of the run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/boundedtext.h"
#include "common/outcome.h"
#include "common/report.h"
#include "design/motionmodel.h"
#include "numerics/motionmeasures.h"

namespace ppi::confounds {

// The longest motion-estimates path that is accepted.
constexpr std::size_t kMotionPathLimit = 511;

// Asks for the motion-estimates file, reads it and merges it into the design matrix at `savedPath`,
// z-transforming the motion predictors when `zFlag` is non-zero. Ok when the run goes on:
// `savedPath` then names the merged design matrix. Fails when the run must
// stop (the dialog was cancelled, or the motion predictors could not be added;
// its log line is the reason); `savedPath` is unchanged then. `motionPath`, when
// given, gets the motion-estimates file chosen. A motion column that is only
// centred, as it never changes, is a warning in `report` (when given) at
// `where` (the subject). `model` is the confound model merged; `motion`, when
// given, gets the subject's displacement and censored volumes.
//
// With `listedMotionPath` (the subject's file from its list line) nothing is
// asked. Otherwise the dialog starts at the one file beside the time course
// (in `vtcFolder`) whose name matches "*3DMC*.sdm", or in the folder when
// there is none or more than one. A file that cannot be read is an error in
// `report` saying why and at which line. `samplesChecksum`, when given, gets
// the checksum of the six motion columns as read.
Outcome handOverMoCo(PathText& savedPath, const std::string& vtcFolder, std::int32_t zFlag,
                     std::string* motionPath = nullptr, Report* report = nullptr,
                     const std::string& where = {}, const MotionModel& model = MotionModel{},
                     numerics::MotionSummary* motion = nullptr,
                     const std::string& listedMotionPath = {},
                     std::uint64_t* samplesChecksum = nullptr);

// Where the motion dialog starts for a time course in `vtcFolder`: the one
// "*3DMC*.sdm" file there (letter case aside), else the folder itself.
std::string proposedMotionFile(const std::string& vtcFolder);

}  // namespace ppi::confounds
