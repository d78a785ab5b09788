// The motion estimates of a run as a design matrix of six predictors
// (translation X, Y, Z, rotation X, Y, Z), read from a motion-estimates ".sdm"
// file.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/logsink.h"
#include "formats/sdmtext.h"

namespace ppi::confounds {

constexpr int kMotionPredictorCount = 6;

struct MoCoSDM {
  bool valid = true;  // the file was opened and read whole without failure
  // When not valid: why, in words, with the line where reading stopped
  // ("line 12: a row's value cannot be read").
  std::string problem;
  std::int32_t fileVersion = 0;
  std::int32_t nrOfPredictors = 0;  // as the file says; at least six
  std::int32_t nrOfDataPoints = 0;  // rows, and the length of each value array when valid
  std::int32_t includesConstant = 0;
  std::int32_t firstConfoundPredictor = 0;
  bool zTransformed = false;  // set once all six columns have been z-transformed
  // Of those, the columns that did not vary and could only be centred (their
  // names), for the caller to report: a column that never changes is usually
  // a missing estimate.
  std::vector<std::string> centredOnly;
  std::array<sdm::Colour, kMotionPredictorCount> colors{};
  std::array<std::vector<double>, kMotionPredictorCount> values;  // column k of the rows
};

// Reads a motion-estimates file whole. The file's first six predictors are
// kept (its colour triples and the first six values of every row); a file of
// fewer than six predictors, or one that cannot be opened or read whole, gives
// a record that is not valid. Logs the header it read and what went wrong to
// `log`.
MoCoSDM readMoCoSDM(const std::string& path, LogSink& log);

}  // namespace ppi::confounds
