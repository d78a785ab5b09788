// One subject's single-study design matrix: assembled in the host, named,
// saved (by a dialog, or beside the multi-study file) and recorded.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/regiontimecourse.h"
#include "analysis/runsettings.h"
#include "commands/subjectrecords.h"
#include "common/boundedtext.h"

namespace ppi {

constexpr std::size_t kDefaultNameLimit = 500;
using DefaultNameText = FixedText<kDefaultNameLimit>;

// A file name without the first occurrence of `extension` (case-sensitive);
// unchanged when it has none.
std::string removeFirstOccurrence(std::string_view fileName, std::string_view extension);

// Assembles the subject's design matrix in the host (task regressors and PPI
// terms, the region signal as "<label>_predictor", "Constant"), saves it and
// appends the path that stands for the subject to `savedDesignFiles`.
// `savedThisRun` holds the paths the host saved to earlier in the run; in MDM
// mode a subject whose default name is taken gets a distinct one. False, after
// one log line, when the run must stop: a cancelled dialog, a name or path
// past its limit, a file the host did not write.
bool assembleAndSaveDesignMatrix(const SubjectRecord& subject, const SubjectVOIRecord& subjectVOI,
                                 const RegionTimeCourse& region, const RunSettings& settings,
                                 std::vector<PathText>& savedThisRun,
                                 std::vector<PathText>& savedDesignFiles);

}  // namespace ppi
