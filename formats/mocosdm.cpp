#include "formats/mocosdm.h"

#include <algorithm>
#include <istream>
#include <sstream>

#include "common/filelayer.h"

namespace ppi::confounds {
namespace {

constexpr const char* kReadProblem = "Problem with reading *.sdm file. Please check results.";

// Rows reserved up front at most: a header that promises more rows than the
// file holds must not make the reader claim memory for them.
constexpr std::int32_t kReservedRowsLimit = 1 << 16;

// Reads the record's fields from an open file; false at the first item that
// cannot be read, after the reading problem has been logged.
bool readMotionEstimates(std::istream& in, MoCoSDM& moco, LogSink& log) {
  sdm::TokenReader reader(in);
  auto stopped = [&](const std::string& what) {
    const int line = reader.lineNumber();
    moco.problem = (line == 0 ? std::string("the file is empty: ")
                              : "line " + std::to_string(line) + ": ") +
                   what;
    return false;
  };
  std::string key;
  if (!reader.readHeaderItem(key, moco.fileVersion)) return stopped("the header cannot be read");
  log.line("print line: %s ", key.c_str());
  for (std::int32_t* field : {&moco.nrOfPredictors, &moco.nrOfDataPoints, &moco.includesConstant,
                              &moco.firstConfoundPredictor}) {
    if (!reader.readHeaderItem(key, *field)) return stopped("the header cannot be read");
  }
  log.line(
      "Fileversion: %i\nNr of Predictors: %i\nNr of datapoints: %i\nIncludes constant: "
      "%i\nFirst confound: %i",
      moco.fileVersion, moco.nrOfPredictors, moco.nrOfDataPoints, moco.includesConstant,
      moco.firstConfoundPredictor);
  if (moco.nrOfPredictors < kMotionPredictorCount) {
    log.line("The motion estimates file holds %i predictors; six are needed.", moco.nrOfPredictors);
    moco.valid = false;
    moco.problem = "line " + std::to_string(reader.lineNumber()) + ": the file holds " +
                   std::to_string(moco.nrOfPredictors) + " predictors; six are needed";
    return true;  // said why already
  }

  log.text("Reading colors...");
  for (std::int32_t p = 0; p < moco.nrOfPredictors; ++p) {
    sdm::Colour colour{};
    if (!reader.readColour(colour)) {
      return stopped("the colour of predictor " + std::to_string(p + 1) + " cannot be read");
    }
    if (p < kMotionPredictorCount) moco.colors[static_cast<std::size_t>(p)] = colour;
  }
  // The names are not used: skip them by their quote characters.
  if (!reader.skipQuoteCharacters(2 * static_cast<std::int64_t>(moco.nrOfPredictors))) {
    return stopped("the predictor names end early");
  }
  if (moco.nrOfDataPoints < 0) {
    return stopped("the header gives " + std::to_string(moco.nrOfDataPoints) + " data points");
  }
  for (std::vector<double>& column : moco.values) {
    column.reserve(static_cast<std::size_t>(std::min(moco.nrOfDataPoints, kReservedRowsLimit)));
  }

  log.text("Reading motion estimates...");
  for (std::int32_t row = 0; row < moco.nrOfDataPoints; ++row) {
    for (std::int32_t p = 0; p < moco.nrOfPredictors; ++p) {
      double value = 0.0;
      if (!reader.readValue(value)) {
        return stopped("value " + std::to_string(p + 1) + " of row " + std::to_string(row + 1) +
                       " of " + std::to_string(moco.nrOfDataPoints) + " cannot be read");
      }
      if (p < kMotionPredictorCount) moco.values[static_cast<std::size_t>(p)].push_back(value);
    }
  }
  return true;
}

}  // namespace

MoCoSDM readMoCoSDM(const std::string& path, LogSink& log) {
  MoCoSDM moco;
  std::string text;
  if (!readFileBytes(path, text).ok()) {
    log.text("Unable to open the motion estimates file.");
    moco.valid = false;
    moco.problem = "the file cannot be opened";
    return moco;
  }
  bool read = false;
  try {
    std::istringstream in(text);
    read = readMotionEstimates(in, moco, log);
  } catch (...) {
    read = false;
    if (moco.problem.empty()) moco.problem = "the file cannot be read";
  }
  if (!read) {
    log.text(kReadProblem);
    moco.valid = false;
  }
  return moco;
}

}  // namespace ppi::confounds
