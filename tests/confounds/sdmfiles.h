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
