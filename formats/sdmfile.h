// A whole design-matrix file, read and checked: used to make sure a design
// matrix the host saved is complete before it stands for a subject.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "formats/sdmtext.h"

namespace ppi::confounds {

struct DesignMatrixFile {
  std::int32_t fileVersion = 0;
  std::int32_t nrOfPredictors = 0;
  std::int32_t nrOfDataPoints = 0;
  std::int32_t includesConstant = 0;
  std::int32_t firstConfoundPredictor = 0;
  std::vector<sdm::Colour> colours;          // one per predictor
  std::vector<std::string> names;            // one per predictor, from the ninth line
  std::vector<std::vector<double>> columns;  // one per predictor, a value per data point
};

struct DesignMatrixRead {
  bool complete = false;    // every item of the header, the colours, names and rows was read
  std::string problem;      // when not complete: what is missing, in words
  DesignMatrixFile design;  // what was read
};

// Reads a design matrix whole: the five header items, a colour triple and a
// name per predictor, and a full row of values per data point.
DesignMatrixRead readDesignMatrix(std::istream& in);
// The same over a file's whole text.
DesignMatrixRead readDesignMatrixText(const std::string& text);
// The same over a file, read through the file layer.
DesignMatrixRead readDesignMatrixFile(const std::string& path);

}  // namespace ppi::confounds
