// Adds a subject's six motion predictors, z-transformed or not, to the
// subject's design matrix: a second ".sdm" file beside it, named with "_3DMC"
// or "_3DMC_z".
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/logsink.h"
#include "formats/mocosdm.h"

namespace ppi::confounds {

// The names the motion predictors get in a merged design matrix, in column order.
extern const std::array<const char*, kMotionPredictorCount> kMotionPredictorNames;

enum class ColumnTransform {
  standardised,  // mean 0 and population standard deviation 1 (an empty column too)
  centredOnly,   // no spread to scale by: every value is now 0
  notFinite,     // the mean or the spread is not finite: values left as they were
};

// Replaces each of the `count` values by (value - mean) / population standard
// deviation, summing in index order in double precision.
ColumnTransform zTransformColumn(double* values, std::int32_t count);

// z-transforms the record's six columns in place, all of them or none, and sets
// `zTransformed`. Logs a line for each column that could only be centred and
// names it in `centredOnly`.
// False, and the record unchanged, when the record is not valid or a column
// cannot be transformed.
bool zTransformMoCo(MoCoSDM& moco, LogSink& log);

// The suffixes of merged files: motion predictors as read, and z-transformed.
constexpr std::string_view kMoCoSuffix = "_3DMC";
constexpr std::string_view kMoCoZSuffix = "_3DMC_z";

// Inserts `suffix` before the last four characters of `path` (its extension);
// a path of fewer than four characters gets the suffix in front.
std::string insertFileSuffix(std::string_view path, std::string_view suffix);

struct MoCoMerge {
  bool complete = false;   // the merged file was written whole and now exists
  std::string mergedPath;  // the merged file's path, once formed
  std::string problem;     // when not complete: the line that said why
};

// Columns a confound model adds after the six motion predictors: first the
// continuous ones (z-transformed with the six), then any spikes (never
// z-transformed). `tag` goes into the merged file's name after "_3DMC".
struct AddedColumns {
  std::size_t continuous = 0;
  std::vector<std::string> names;
  std::vector<sdm::Colour> colours;
  std::vector<std::vector<double>> values;  // one per name, nrOfDataPoints each
  std::string tag;

  bool none() const { return names.empty() && tag.empty(); }
};

// Writes the design matrix at `designPath` with the motion predictors of `moco`
// into the merged file: the design's own predictors, the six motion
// predictors, then the design's constant when it has one. With `zTransform`
// non-zero the motion columns are z-transformed first (in the record).
// The design is read whole and merged into a temporary file beside the merged
// one, which takes the merged file's name only once written whole: a merge
// that fails (one line to `log` says why) writes nothing under that name.
// `added` columns follow the six motion predictors, and its tag the "_3DMC"
// of the name (none by default: the file is named as above); with added
// columns, a merged design that would leave no volume beyond its predictors
// is refused.
MoCoMerge addMoCoToSDM(const std::string& designPath, MoCoSDM& moco, std::int32_t zTransform,
                       LogSink& log, AddedColumns added = AddedColumns{});

}  // namespace ppi::confounds
