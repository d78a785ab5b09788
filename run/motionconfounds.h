// The confound model's columns for the motion merge: the expansion of the six
// motion estimates and one spike per censored volume, computed from the
// estimates as read (before any z-transform), with the subject's framewise
// displacement.
#pragma once

#include "design/motionmodel.h"
#include "formats/mocomerge.h"
#include "formats/mocosdm.h"
#include "numerics/motionmeasures.h"

namespace ppi::confounds {

using numerics::MotionSummary;

// The columns `model` adds after the six motion predictors of `moco` (a
// well-formed record, not yet z-transformed), named, coloured and tagged for
// the merged file; `summary` gets the displacement and the censored volumes.
// The default model adds none and no tag.
AddedColumns expandMotion(const MoCoSDM& moco, const MotionModel& model, MotionSummary& summary);

// The longest suffix the merge gives a design's path under `model`.
std::size_t longestMergeSuffix(const MotionModel& model);

}  // namespace ppi::confounds
