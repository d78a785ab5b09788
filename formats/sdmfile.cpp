#include "formats/sdmfile.h"

#include <algorithm>
#include <sstream>

#include "common/filelayer.h"

namespace ppi::confounds {
namespace {

// Values reserved up front at most per column: a header that promises more
// rows than the file holds must not make the reader claim memory for them.
constexpr std::int32_t kReservedRowsLimit = 1 << 16;

DesignMatrixRead incomplete(DesignMatrixRead read, std::string problem) {
  read.complete = false;
  read.problem = std::move(problem);
  return read;
}

}  // namespace

DesignMatrixRead readDesignMatrix(std::istream& in) {
  DesignMatrixRead read;
  DesignMatrixFile& design = read.design;
  sdm::TokenReader reader(in);
  std::string key;
  for (std::int32_t* field : {&design.fileVersion, &design.nrOfPredictors, &design.nrOfDataPoints,
                              &design.includesConstant, &design.firstConfoundPredictor}) {
    if (!reader.readHeaderItem(key, *field)) {
      return incomplete(std::move(read), "its header is incomplete");
    }
  }
  if (design.nrOfPredictors < 0 || design.nrOfDataPoints < 0) {
    return incomplete(std::move(read), "its header gives a negative count");
  }
  const auto predictors = static_cast<std::size_t>(design.nrOfPredictors);
  design.colours.reserve(std::min<std::size_t>(predictors, kReservedRowsLimit));
  for (std::size_t p = 0; p < predictors; ++p) {
    sdm::Colour colour{};
    if (!reader.readColour(colour)) {
      return incomplete(std::move(read), "it holds " + std::to_string(p) + " of " +
                                             std::to_string(predictors) + " colours");
    }
    design.colours.push_back(colour);
  }
  std::string nameLine;
  if (!reader.rewindAndSkipLines(8) || !reader.readLine(nameLine)) {
    return incomplete(std::move(read), "it has no line of predictor names");
  }
  design.names = sdm::takeQuotedNames(nameLine);
  if (design.names.size() != predictors) {
    return incomplete(std::move(read), "its ninth line names " +
                                           std::to_string(design.names.size()) + " of " +
                                           std::to_string(predictors) + " predictors");
  }
  design.columns.assign(predictors, {});
  for (std::vector<double>& column : design.columns) {
    column.reserve(static_cast<std::size_t>(std::min(design.nrOfDataPoints, kReservedRowsLimit)));
  }
  // Rows are read a line at a time, so that a row cut short is found as such
  // and not filled up from the next one.
  std::string line;
  for (std::int32_t row = 0; row < design.nrOfDataPoints; ++row) {
    const std::string where =
        "row " + std::to_string(row + 1) + " of " + std::to_string(design.nrOfDataPoints);
    if (!reader.readLine(line)) return incomplete(std::move(read), where + " is missing");
    std::size_t values = 0;
    std::size_t at = 0;
    while (at < line.size()) {
      while (at < line.size() && sdm::isSpace(static_cast<unsigned char>(line[at]))) ++at;
      std::size_t end = at;
      while (end < line.size() && !sdm::isSpace(static_cast<unsigned char>(line[end]))) ++end;
      if (end == at) break;
      double value = 0.0;
      if (values == predictors ||
          !sdm::parseValue(std::string_view(line).substr(at, end - at), value)) {
        return incomplete(std::move(read),
                          where + " is not " + std::to_string(predictors) + " numbers");
      }
      design.columns[values++].push_back(value);
      at = end;
    }
    if (values != predictors) {
      return incomplete(std::move(read), where + " holds " + std::to_string(values) + " of " +
                                             std::to_string(predictors) + " values");
    }
  }
  while (reader.readLine(line)) {
    if (std::any_of(line.begin(), line.end(),
                    [](char c) { return !sdm::isSpace(static_cast<unsigned char>(c)); })) {
      return incomplete(std::move(read), "it holds more rows than its header says");
    }
  }
  read.complete = true;
  return read;
}

DesignMatrixRead readDesignMatrixText(const std::string& text) {
  std::istringstream in(text);
  try {
    return readDesignMatrix(in);
  } catch (...) {
    DesignMatrixRead read;
    read.problem = "it cannot be read";
    return read;
  }
}

DesignMatrixRead readDesignMatrixFile(const std::string& path) {
  std::string text;
  if (!readFileBytes(path, text).ok()) {
    DesignMatrixRead read;
    read.problem = "it cannot be opened";
    return read;
  }
  return readDesignMatrixText(text);
}

}  // namespace ppi::confounds
