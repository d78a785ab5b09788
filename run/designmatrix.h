// One subject's single-study design matrix, assembled in the host: the task
// regressors and PPI terms, the region signal as "<label>_predictor", and
// "Constant"; and the name it is saved under by default.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "run/neuralppi.h"
#include "run/regiontimecourse.h"
#include "run/regressors.h"
#include "design/runsettings.h"
#include "common/boundedtext.h"
#include "common/paths.h"
#include "model/subject.h"

namespace ppi::analysis {

constexpr std::size_t kDefaultNameLimit = 500;
using DefaultNameText = FixedText<kDefaultNameLimit>;

// A file name without the first occurrence of `extension` (case-sensitive);
// unchanged when it has none.
std::string removeFirstOccurrence(std::string_view fileName, std::string_view extension);

// Fills the host's design matrix, which the caller has cleared, as the plan
// says, with the PPI terms formed as `interaction` says, and gives the
// predictors' names in order; `boxCars`, when not null, gets the weighted
// conditions' box-cars before convolution. Fails, after one log line, when a
// name does not fit or the host hands out no values.
Outcome assembleDesignMatrix(const DesignPlan& plan, const RegionTimeCourse& region,
                             InteractionInputs& interaction, PredictorNames& names,
                             BoxCars* boxCars);

// "<gen|stand>PPI_<VTC file name without .vtc>_<label, or VOI file name without
// .voi>", from the time course's split path. Fails, after one log line, when it
// would be too long.
Outcome defaultDesignName(const SplitPath& vtc, const model::SubjectVOIRecord& region,
                          const SubjectSettings& subjectSettings, const RunSettings& settings,
                          DefaultNameText& name);

}  // namespace ppi::analysis
