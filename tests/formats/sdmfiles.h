// Design-matrix texts and motion records for the confounds tests, written out
// by hand in the host's layout.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/logsink.h"
#include "formats/mocosdm.h"
#include "tests/support/fakehost.h"

namespace sdmfiles {

// A header of five items with the host's key words.
inline std::string header(int version, int predictors, int dataPoints, int constant,
                          int firstConfound) {
  std::ostringstream text;
  text << "FileVersion: " << version << "\n\nNrOfPredictors: " << predictors
       << "\nNrOfDataPoints: " << dataPoints << "\nIncludesConstant: " << constant
       << "\nFirstConfoundPredictor: " << firstConfound << "\n\n";
  return text.str();
}

// Motion column k at row i: varied, and exact in six significant digits.
inline double motionValue(int k, int row) {
  return (k + 1) * 0.25 - (row % 40) * 0.125 + k * (row % 7) * 0.5;
}
// Design predictor p at row i (exact in six digits).
inline double designValue(int p, int row) { return (p + 1) * 0.5 - (row % 9) * 0.375; }

// A motion-estimates file: column k holds motionValue(k, i) and has the colour
// k k+10 k+20; the names are "Motion k" unless a name line is given.
inline std::string motionFile(int predictors, int rows, const std::string& nameLine = "") {
  std::ostringstream text;
  text << header(1, predictors, rows, 0, 1);
  for (int k = 0; k < predictors; ++k) text << k << ' ' << k + 10 << ' ' << k + 20 << '\t';
  text << '\n';
  for (int k = 0; nameLine.empty() && k < predictors; ++k) text << "\"Motion " << k << "\"\t";
  text << nameLine << '\n';
  for (int row = 0; row < rows; ++row) {
    for (int k = 0; k < predictors; ++k) text << motionValue(k, row) << '\t';
    text << '\n';
  }
  return text.str();
}

// The record readMoCoSDM makes of motionFile(6, rows).
inline ppi::confounds::MoCoSDM motionRecord(int rows) {
  ppi::confounds::MoCoSDM moco;
  moco.nrOfPredictors = 6;
  moco.nrOfDataPoints = rows;
  for (int k = 0; k < 6; ++k) {
    moco.colors[k] = {k, k + 10, k + 20};
    for (int row = 0; row < rows; ++row) moco.values[k].push_back(motionValue(k, row));
  }
  return moco;
}

// A design matrix as the host saves it: predictor p has the colour
// 100+p 50 200-p, the name "Pred p+1" and designValue(p, i); a constant is the
// last predictor, named "Constant", 1 at every row.
inline std::string designFile(int predictors, int rows, bool constant, int firstConfound = 2,
                              int version = 1) {
  std::ostringstream text;
  text << header(version, predictors, rows, constant ? 1 : 0, firstConfound);
  for (int p = 0; p < predictors; ++p) text << 100 + p << " 50 " << 200 - p << '\t';
  text << '\n';
  const int own = constant ? predictors - 1 : predictors;
  for (int p = 0; p < own; ++p) text << "\"Pred " << p + 1 << "\"\t";
  text << (constant ? "\"Constant\"\t\n" : "\n");
  for (int row = 0; row < rows; ++row) {
    for (int p = 0; p < own; ++p) text << designValue(p, row) << '\t';
    text << (constant ? "1\t\n" : "\n");
  }
  return text.str();
}

// A file's text read in text mode (the platform's line ends become "\n"), and its lines.
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

// Keeps every line logged to it.
class RecordingLog final : public ppi::LogSink {
 public:
  void text(const char* line) override { lines.push_back(line); }
  std::vector<std::string> lines;
};

// A test in a fresh working folder. The reader and the merge log into `sink`
// and need no host.
class InFolder : public testing::Test {
 protected:
  testsupport::ScopedWorkingDirectory directory;
  RecordingLog sink;
  std::vector<std::string>& log = sink.lines;
};

}  // namespace sdmfiles
