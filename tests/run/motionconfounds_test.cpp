#include "run/motionconfounds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "formats/mocomerge.h"
#include "tests/formats/sdmfiles.h"

namespace {

using ppi::confounds::MotionModel;
using sdmfiles::designFile;
using sdmfiles::lines;
using sdmfiles::motionRecord;
using sdmfiles::motionValue;
using sdmfiles::readText;

constexpr double kPi = 3.14159265358979323846;

// The values of a row of the merged text, in order.
std::vector<double> rowValues(const std::string& line) {
  std::vector<double> values;
  std::istringstream in(line);
  for (std::string token; in >> token;) values.push_back(std::strtod(token.c_str(), nullptr));
  return values;
}

std::vector<std::string> quotedNames(const std::string& line) {
  std::vector<std::string> names;
  for (std::size_t at = line.find('"'); at != std::string::npos; at = line.find('"', at)) {
    const std::size_t end = line.find('"', at + 1);
    names.push_back(line.substr(at + 1, end - at - 1));
    at = end + 1;
  }
  return names;
}

// Column by column, written independently of the merge: the columns a
// 24-parameter model with censoring must add to the six, for `rows` volumes
// of motionValue.
struct Expected {
  std::vector<std::vector<double>> continuous;  // 24, z-transformed when asked
  std::vector<std::size_t> censored;            // 0-based
};

void zTransform(std::vector<double>& column) {
  double mean = 0;
  for (double v : column) mean += v / static_cast<double>(column.size());
  double variance = 0;
  for (double v : column) variance += (v - mean) * (v - mean) / static_cast<double>(column.size());
  const double sd = std::sqrt(variance);
  for (double& v : column) v = sd > 0 ? (v - mean) / sd : 0.0;
}

Expected expected(int rows, double threshold, bool z) {
  Expected result;
  std::vector<std::vector<double>> raw(6), derivative(6);
  for (int k = 0; k < 6; ++k) {
    for (int row = 0; row < rows; ++row) {
      raw[k].push_back(motionValue(k, row));
      derivative[k].push_back(row == 0 ? 0.0 : motionValue(k, row) - motionValue(k, row - 1));
    }
  }
  auto squares = [](std::vector<double> v) {
    for (double& x : v) x = x * x;
    return v;
  };
  for (int k = 0; k < 6; ++k) result.continuous.push_back(raw[k]);
  for (int k = 0; k < 6; ++k) result.continuous.push_back(derivative[k]);
  for (int k = 0; k < 6; ++k) result.continuous.push_back(squares(raw[k]));
  for (int k = 0; k < 6; ++k) result.continuous.push_back(squares(derivative[k]));
  if (z) {
    for (auto& column : result.continuous) zTransform(column);
  }
  for (int row = 1; row < rows; ++row) {
    double fd = 0;
    for (int k = 0; k < 6; ++k) {
      fd += std::fabs(derivative[k][row]) * (k < 3 ? 1.0 : 50.0 * kPi / 180.0);
    }
    if (fd > threshold) result.censored.push_back(static_cast<std::size_t>(row));
  }
  return result;
}

class MotionModelMerge : public sdmfiles::InFolder {
 protected:
  ppi::numerics::MotionSummary motion;
  ppi::confounds::MoCoMerge merge(int predictors, int rows, const MotionModel& model, int z) {
    testsupport::writeFile("subject1.sdm", designFile(predictors, rows, true));
    ppi::confounds::MoCoSDM moco = motionRecord(rows);
    ppi::confounds::AddedColumns added = ppi::confounds::expandMotion(moco, model, motion);
    return ppi::confounds::addMoCoToSDM("subject1.sdm", moco, z, sink, std::move(added));
  }
};

TEST_F(MotionModelMerge, TwentyFourParametersAndSpikesMatchAnIndependentComputation) {
  MotionModel model;
  model.expansion = 24;
  model.censorFD = 40.0;  // the backward jumps of motionValue every seventh volume
  for (int z : {0, 1}) {
    SCOPED_TRACE(z);
    const int rows = 120;
    const ppi::confounds::MoCoMerge result = merge(4, rows, model, z);
    ASSERT_TRUE(result.complete) << testing::PrintToString(log);
    EXPECT_EQ(result.mergedPath, z ? "subject1_3DMC_24p_fd40_z.sdm" : "subject1_3DMC_24p_fd40.sdm");
    const Expected want = expected(rows, model.censorFD, z != 0);
    ASSERT_GT(want.censored.size(), 1u);  // the threshold censors some volumes, not all
    ASSERT_LT(want.censored.size(), static_cast<std::size_t>(rows / 2));
    EXPECT_EQ(motion.censored, want.censored);

    const std::vector<std::string> merged = lines(readText(result.mergedPath));
    ASSERT_EQ(merged.size(), 9u + rows);
    const std::size_t spikes = want.censored.size();
    const std::size_t columns = 3 + 24 + spikes + 1;
    EXPECT_EQ(merged[2], "NrOfPredictors: " + std::to_string(columns));
    const std::vector<std::string> names = quotedNames(merged[8]);
    ASSERT_EQ(names.size(), columns);
    EXPECT_EQ(names[3], "Translation TY-X [mm]");
    EXPECT_EQ(names[9], "Translation TY-X [mm] derivative");
    EXPECT_EQ(names[16], "Translation TY-Y [mm] squared");
    EXPECT_EQ(names[26], "Rotation TY-Z [deg] derivative squared");
    EXPECT_EQ(names[27], "Spike " + std::to_string(want.censored[0] + 1));
    EXPECT_EQ(names.back(), "Constant");
    EXPECT_EQ(rowValues(merged[7]).size(), 3 * columns);  // a colour triple each

    for (int row = 0; row < rows; ++row) {
      const std::vector<double> values = rowValues(merged[9 + row]);
      ASSERT_EQ(values.size(), columns) << row;
      for (std::size_t c = 0; c < 24; ++c) {
        const double v = want.continuous[c][static_cast<std::size_t>(row)];
        ASSERT_NEAR(values[3 + c], v, 1e-5 * std::max(1.0, std::fabs(v))) << row << " " << c;
      }
      for (std::size_t s = 0; s < spikes; ++s) {
        ASSERT_EQ(values[27 + s], want.censored[s] == static_cast<std::size_t>(row) ? 1.0 : 0.0)
            << "spikes are never z-transformed";
      }
      ASSERT_EQ(values.back(), 1.0);
    }
  }
}

TEST_F(MotionModelMerge, TwelveParametersAndTheDefaultKeepTheirNames) {
  MotionModel twelve;
  twelve.expansion = 12;
  ppi::confounds::MoCoMerge result = merge(3, 50, twelve, 1);
  ASSERT_TRUE(result.complete);
  EXPECT_EQ(result.mergedPath, "subject1_3DMC_12p_z.sdm");
  EXPECT_EQ(quotedNames(lines(readText(result.mergedPath))[8]).size(), 2u + 12 + 1);

  result = merge(3, 50, MotionModel{}, 1);
  ASSERT_TRUE(result.complete);
  EXPECT_EQ(result.mergedPath, "subject1_3DMC_z.sdm");
  EXPECT_TRUE(motion.censored.empty());
  EXPECT_GT(motion.meanFD, 0.0);  // displacement is reported for every merge
}

TEST_F(MotionModelMerge, NoVolumeLeftBeyondThePredictorsIsRefused) {
  MotionModel model;
  model.expansion = 24;
  model.censorFD = 0.01;  // every moving volume censored
  const ppi::confounds::MoCoMerge result = merge(4, 40, model, 0);
  EXPECT_FALSE(result.complete);
  EXPECT_FALSE(std::filesystem::exists(result.mergedPath));
  ASSERT_FALSE(log.empty());
  EXPECT_NE(log.back().find("no volume is left to estimate them"), std::string::npos) << log.back();
}

}  // namespace
