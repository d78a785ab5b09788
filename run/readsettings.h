// Reads the run's settings from the GUI's parameters: the method options once
// when the run starts, and each subject's settings once its design matrix has
// been cleared.
#pragma once

#include <string>
#include <vector>

#include "common/boundedtext.h"
#include "common/outcome.h"
#include "design/methodoptions.h"
#include "design/runsettings.h"

namespace ppi::analysis {

// Reads "interactionLevel", "regionSummary" and "centrePsych". Fails, saying
// which, for a value other than 0 or 1.
Result<MethodOptions> readMethodOptions();

// Reads "baseline", "whichapproach" and, under the standard approach, the
// "CondID-" entries; the condition names are the subject's protocol's.
SubjectSettings readSubjectSettings(std::vector<std::string> conditionNames);

}  // namespace ppi::analysis
