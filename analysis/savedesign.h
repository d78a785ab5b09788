// Saving a subject's design matrix: the path (by a dialog, or beside the
// multi-study file under a name no earlier subject of the run has taken) and
// the host's save, checked.
#pragma once

#include <string_view>
#include <vector>

#include "analysis/designmatrix.h"
#include "analysis/runsettings.h"
#include "common/boundedtext.h"

namespace ppi::analysis {

// True when `path` names, regardless of letter case, a file in `savedThisRun`:
// on the workstation's file system Run1.sdm and run1.sdm are one file.
bool savedBefore(const PathText& path, const std::vector<PathText>& savedThisRun);

// Chooses the path and has the host save its current design matrix there.
// `savedThisRun` holds the paths the run saved to so far. False, after one log
// line, when the run must stop: a cancelled dialog, a path past its limit, a
// file that cannot be replaced, or one the host did not write.
bool saveDesignMatrix(const RunSettings& settings, const DefaultNameText& defaultName,
                      const std::vector<PathText>& savedThisRun, PathText& savedPath);

}  // namespace ppi::analysis
