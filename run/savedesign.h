// Saving a subject's design matrix: the path (by a dialog, or beside the
// multi-study file under a name no earlier subject of the run has taken) and
// the host's save, checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "run/designmatrix.h"
#include "design/runsettings.h"
#include "common/boundedtext.h"

namespace ppi::analysis {

// True when `path` names, regardless of letter case, a file in `savedThisRun`:
// on the workstation's file system Run1.sdm and run1.sdm are one file.
bool savedBefore(const PathText& path, const std::vector<PathText>& savedThisRun);

// What the saved file must hold: this many predictors and data rows.
struct ExpectedDesign {
  std::size_t predictors = 0;
  std::int32_t dataPoints = 0;
};

// Chooses the path and has the host save its current design matrix there,
// then reads the file back whole. `savedThisRun` holds the paths the run saved
// to so far. False, after one log line, when the run must stop: a cancelled
// dialog, a path past its limit, something other than a file at the path, a
// file that cannot be replaced, or one the host did not write whole (which is
// removed: a cut design matrix must not pass for a result).
bool saveDesignMatrix(const RunSettings& settings, const DefaultNameText& defaultName,
                      const std::vector<PathText>& savedThisRun, const ExpectedDesign& expected,
                      PathText& savedPath);

}  // namespace ppi::analysis
