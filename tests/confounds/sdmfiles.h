// Design-matrix texts for the confounds tests, written out by hand in the
// host's layout.
#pragma once

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace sdmfiles {

// A header of five items with the given key words.
inline std::string header(int version, int predictors, int dataPoints, int constant,
                          int firstConfound) {
  std::ostringstream text;
  text << "FileVersion: " << version << "\n\nNrOfPredictors: " << predictors
       << "\nNrOfDataPoints: " << dataPoints << "\nIncludesConstant: " << constant
       << "\nFirstConfoundPredictor: " << firstConfound << "\n\n";
  return text.str();
}

// The motion value of column k at row i: varied, and exact in six significant
// digits.
inline double motionValue(int k, int row) {
  return (k + 1) * 0.25 - (row % 40) * 0.125 + k * (row % 7) * 0.5;
}

// A motion-estimates file of `predictors` columns (column k of row i holds
// motionValue(k, i)), with colours k k+10 k+20.
inline std::string motionFile(int predictors, int rows, const std::string& nameLine = "") {
  std::ostringstream text;
  text << header(1, predictors, rows, 0, 1);
  for (int k = 0; k < predictors; ++k) text << k << ' ' << k + 10 << ' ' << k + 20 << '\t';
  text << '\n';
  if (nameLine.empty()) {
    for (int k = 0; k < predictors; ++k) text << "\"Motion " << k << "\"\t";
  } else {
    text << nameLine;
  }
  text << '\n';
  for (int row = 0; row < rows; ++row) {
    for (int k = 0; k < predictors; ++k) text << motionValue(k, row) << '\t';
    text << '\n';
  }
  return text.str();
}

// The design's value of predictor p at row i (exact in six digits).
inline double designValue(int p, int row) { return (p + 1) * 0.5 - (row % 9) * 0.375; }

inline std::string designNameLine(int predictors, bool constant) {
  std::string line;
  for (int p = 0; p < predictors; ++p) {
    bool isConstant = constant && p == predictors - 1;
    line +=
        "\"" + (isConstant ? std::string("Constant") : "Pred " + std::to_string(p + 1)) + "\"\t";
  }
  return line;
}

// A design matrix as the host saves it: predictor p has the colour
// 100+p 50 200-p and the name "Pred p+1"; a constant is the last predictor,
// 1 at every row.
inline std::string designFile(int predictors, int rows, bool constant, int firstConfound = 2,
                              int version = 1, int headerRows = -1) {
  std::ostringstream text;
  text << header(version, predictors, headerRows < 0 ? rows : headerRows, constant ? 1 : 0,
                 firstConfound);
  for (int p = 0; p < predictors; ++p) text << 100 + p << " 50 " << 200 - p << '\t';
  text << '\n' << designNameLine(predictors, constant) << '\n';
  for (int row = 0; row < rows; ++row) {
    for (int p = 0; p < predictors; ++p) {
      if (constant && p == predictors - 1) {
        text << "1\t";
      } else {
        text << designValue(p, row) << '\t';
      }
    }
    text << '\n';
  }
  return text.str();
}

// Reads a file in text mode (the platform's line ends become "\n").
inline std::string readText(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

}  // namespace sdmfiles
