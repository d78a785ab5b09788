// The host's design-matrix files: five header lines, a colour line, a line of
// quoted predictor names, then one row of values per volume.
//
//   Version: 1
//
//   Predictors: 3
//   DataPoints: 4
//   HasConstant: 1
//   FirstConfound: 3
//
//   255 0 0<TAB>0 255 0<TAB>160 160 160<TAB>
//   "PPI_FFA"<TAB>"FFA_predictor"<TAB>"Constant"<TAB>
//   0.125<TAB>-1.5<TAB>1<TAB>
//   ...
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace standin {

struct DesignMatrixFile {
  int version = 1;
  bool hasConstant = false;
  int firstConfound = 0;
  std::vector<std::array<int, 3>> colours;
  std::vector<std::string> names;
  std::vector<std::vector<double>> columns;  // one column per predictor
};

bool writeDesignMatrixFile(const std::string& path, const DesignMatrixFile& design);

// Reads a design-matrix file written by the host or merged by the plug-in;
// nothing when it cannot be read or is inconsistent. `error` says why.
std::optional<DesignMatrixFile> readDesignMatrixFile(const std::string& path,
                                                     std::string* error = nullptr);

}  // namespace standin
