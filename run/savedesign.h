// Saving a subject's design matrix: the path (by a dialog, or beside the
// multi-study file under a name no earlier subject of the run has taken) and
// the host's save, checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formats/sdmfile.h"
#include "numerics/designstats.h"
#include "run/designmatrix.h"
#include "run/runset.h"
#include "design/runsettings.h"
#include "common/boundedtext.h"

namespace ppi::analysis {

// True when `path` names, regardless of letter case, a file in `savedThisRun`:
// on the workstation's file system Run1.sdm and run1.sdm are one file.
bool savedBefore(const PathText& path, const std::vector<PathText>& savedThisRun);

// What the saved file must hold: this many predictors and data rows and,
// when given, these predictors (names in order, and values to the precision
// the format writes them with: six significant digits at least).
struct ExpectedDesign {
  std::size_t predictors = 0;
  std::int32_t dataPoints = 0;
  const std::vector<Predictor>* values = nullptr;
};

// Why the design read from a saved file is not `expected`: the first
// predictor whose name differs, or the first value (by predictor and row)
// further from the plug-in's than the format's rounding allows; empty when
// it is the same.
std::string designDifference(const confounds::DesignMatrixFile& saved,
                             const std::vector<Predictor>& expected);

// Chooses the path and has the host save its current design matrix there,
// then reads the file back whole. `savedThisRun` holds the paths the run saved
// to so far. Fails, after one log line, when the run must stop: a cancelled
// dialog, a path past its limit, something other than a file at the path, a
// file that cannot be replaced, or one the host did not write whole or wrote
// with other values (which is removed: such a design matrix must not pass for
// a result). With `set`, the folder's lock is held before anything is saved
// there, and an earlier run's group files are set aside before a file of it
// is replaced.
Outcome saveDesignMatrix(const RunSettings& settings, const DefaultNameText& defaultName,
                         const std::vector<PathText>& savedThisRun, const ExpectedDesign& expected,
                         PathText& savedPath, RunSet* set = nullptr);

}  // namespace ppi::analysis
