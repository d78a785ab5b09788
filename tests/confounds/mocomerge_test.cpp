#include "confounds/mocomerge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "standin/designfile.h"
#include "tests/confounds/sdmfiles.h"
#include "tests/support/fakehost.h"

namespace {

namespace fs = std::filesystem;
using sdmfiles::designFile;
using sdmfiles::lines;
using sdmfiles::motionValue;
using sdmfiles::readText;

const std::string kMotionNames =
    "\"Translation TY-X [mm]\"\t\"Translation TY-Y [mm]\"\t\"Translation TY-Z [mm]\"\t"
    "\"Rotation TY-X [deg]\"\t\"Rotation TY-Y [deg]\"\t\"Rotation TY-Z [deg]\"\t";
const std::string kMotionColours = "0 10 20\t1 11 21\t2 12 22\t3 13 23\t4 14 24\t5 15 25\t";

ppi::MoCoSDM motionRecord(int rows) {
  ppi::MoCoSDM moco;
  moco.nrOfPredictors = 6;
  moco.nrOfDataPoints = rows;
  for (int k = 0; k < 6; ++k) {
    moco.colors[k] = {k, k + 10, k + 20};
    for (int row = 0; row < rows; ++row) moco.values[k].push_back(motionValue(k, row));
  }
  return moco;
}

std::string g(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

class MoCoMerge : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(host.bind()); }

  ppi::MoCoMerge merge(const std::string& design, ppi::MoCoSDM moco, int zFlag = 0) {
    testsupport::writeFile("subject1.sdm", design);
    host.model.log.clear();
    return ppi::addMoCoToSDM("subject1.sdm", moco, zFlag);
  }

  testsupport::ScopedWorkingDirectory directory;
  testsupport::FakeHost host;
};

TEST_F(MoCoMerge, WritesDesignMotionAndConstantInThatOrder) {
  // As the host writes it on a platform with CRLF line ends.
  const std::string design =
      "FileVersion: 1\r\n\r\nNrOfPredictors: 3\r\nNrOfDataPoints: 2\r\nIncludesConstant: 1\r\n"
      "FirstConfoundPredictor: 3\r\n\r\n255 0 0\t0 255 0\t255 255 255\t\r\n"
      "\"PPI_FFA\"\t\"FFA predictor\"\t\"Constant\"\t\r\n"
      "0.333333333\t-2.25\t1\t\r\n1e-07\t123456789\t1\t\r\n";
  ppi::MoCoMerge result = merge(design, motionRecord(2));
  EXPECT_TRUE(result.complete);
  EXPECT_EQ(result.mergedPath, "subject1_3DMC.sdm");
  EXPECT_EQ(readText("subject1_3DMC.sdm"),
            "FileVersion: 1\n\nNrOfPredictors: 9\nNrOfDataPoints: 2\nIncludesConstant: 1\n"
            "FirstConfoundPredictor: 3\n\n255 0 0\t0 255 0\t" +
                kMotionColours + "255 255 255\t\n\"PPI_FFA\"\t\"FFA predictor\"\t" + kMotionNames +
                "\"Constant\"\t\n"
                "0.333333\t-2.25\t0.25\t0.5\t0.75\t1\t1.25\t1.5\t1.000000\n"
                "1e-07\t1.23457e+08\t0.125\t0.875\t1.625\t2.375\t3.125\t3.875\t1.000000\n");
  EXPECT_EQ(host.model.log, std::vector<std::string>{"New filename: subject1_3DMC.sdm"});
  EXPECT_EQ(readText("subject1.sdm"), design);  // the saved design is left as it was
  EXPECT_FALSE(fs::exists("subject1_3DMC.sdm.part"));
}

TEST_F(MoCoMerge, FivePredictorsWithAndWithoutConstantOver100Points) {
  for (bool constant : {true, false}) {
    SCOPED_TRACE(constant ? "with constant" : "without constant");
    ppi::MoCoMerge result = merge(designFile(5, 100, constant), motionRecord(100));
    ASSERT_TRUE(result.complete);
    std::vector<std::string> merged = lines(readText(result.mergedPath));
    ASSERT_EQ(merged.size(), 109u);
    EXPECT_EQ(merged[2], "NrOfPredictors: 11");
    EXPECT_EQ(merged[3], "NrOfDataPoints: 100");
    EXPECT_EQ(merged[4], constant ? "IncludesConstant: 1" : "IncludesConstant: 0");
    const int own = constant ? 4 : 5;
    std::string colours, names;
    for (int p = 0; p < own; ++p) {
      colours += std::to_string(100 + p) + " 50 " + std::to_string(200 - p) + "\t";
      names += "\"Pred " + std::to_string(p + 1) + "\"\t";
    }
    EXPECT_EQ(merged[7], colours + kMotionColours + (constant ? "104 50 196\t" : ""));
    EXPECT_EQ(merged[8], names + kMotionNames + (constant ? "\"Constant\"\t" : ""));
    for (int row = 0; row < 100; ++row) {
      std::string expected;
      for (int p = 0; p < own; ++p) expected += g(sdmfiles::designValue(p, row)) + "\t";
      for (int k = 0; k < 6; ++k) expected += g(motionValue(k, row)) + "\t";
      if (constant) expected += "1.000000";
      ASSERT_EQ(merged[9 + row], expected) << "row " << row;
    }
  }
}

TEST_F(MoCoMerge, ZFlagStandardisesTheMotionColumnsAndNamesTheFile) {
  struct Row {
    int zFlag;
    const char* mergedPath;
  };
  for (const Row& row : {Row{0, "subject1_3DMC.sdm"}, Row{1, "subject1_3DMC_z.sdm"},
                         Row{-4, "subject1_3DMC_z.sdm"}}) {
    SCOPED_TRACE(row.zFlag);
    ppi::MoCoMerge result = merge(designFile(3, 120, true), motionRecord(120), row.zFlag);
    ASSERT_TRUE(result.complete);
    EXPECT_EQ(result.mergedPath, row.mergedPath);
    std::string why;
    auto merged = standin::readDesignMatrixFile(result.mergedPath, &why);
    ASSERT_TRUE(merged) << why;
    ASSERT_EQ(merged->columns.size(), 9u);
    for (int k = 0; k < 6; ++k) {
      const std::vector<double>& column = merged->columns[2 + k];
      double mean = 0, squares = 0;
      for (double value : column) mean += value / column.size();
      for (double value : column) squares += (value - mean) * (value - mean) / column.size();
      if (row.zFlag != 0) {
        EXPECT_NEAR(mean, 0.0, 1e-6);
        EXPECT_NEAR(std::sqrt(squares), 1.0, 1e-5);  // six digits written
      } else {
        for (int i = 0; i < 120; ++i) EXPECT_EQ(column[i], motionValue(k, i));
      }
    }
  }
}

TEST_F(MoCoMerge, HeaderItemsAndNamesAreCopiedAsTheyStand) {
  for (int firstConfound : {0, 3, -7, 2147483647}) {
    ppi::MoCoMerge result = merge(designFile(3, 2, true, firstConfound), motionRecord(2));
    ASSERT_TRUE(result.complete);
    EXPECT_EQ(lines(readText(result.mergedPath))[5],
              "FirstConfoundPredictor: " + std::to_string(firstConfound));
  }
  // Other key words, version 0; names with blanks, and blanks and tabs between them.
  std::string design = designFile(3, 2, true);
  design.replace(0, design.find("\n\n", 20), "V 0\n\nP 3\nN 2\nC 1\nF 2");
  design.replace(design.find("\"Pred 1\""), design.find("\"Constant\"") - design.find("\"Pred 1\""),
                 "  \" a  b \" \t\t\"c\td\"\t ");
  ppi::MoCoMerge result = merge(design, motionRecord(2));
  ASSERT_TRUE(result.complete);
  std::vector<std::string> merged = lines(readText(result.mergedPath));
  EXPECT_EQ(merged[0], "V 0");
  EXPECT_EQ(merged[2], "P 9");
  EXPECT_EQ(merged[8], "\" a  b \"\t\"c\td\"\t" + kMotionNames + "\"Constant\"\t");
}

TEST_F(MoCoMerge, AFailedMergeLeavesNoMergedFile) {
  const std::string good = designFile(3, 120, true);
  std::string emptyName = good;
  emptyName.replace(emptyName.find("\"Pred 2\""), 8, "\"\"");
  std::string missingName = good;
  missingName.erase(missingName.find("\"Pred 2\"\t"), 9);
  std::string shortRows = good.substr(0, good.size() - 8);
  std::string hugeConstant = designFile(2, 1, true);
  hugeConstant.replace(hugeConstant.rfind("1\t"), 1, "1e30");
  std::string badValue = good;
  badValue.replace(badValue.rfind("0.5"), 3, "0,5");
  struct Row {
    const char* what;
    std::string design;
    int motionRows;
    const char* line;
  };
  const Row rows[] = {
      {"version 2", designFile(3, 120, true, 2, 2), 120, "Incorrect FileVersion detected."},
      {"120 against 119 points", good, 119, "Number of time points do not match."},
      {"an empty name", emptyName, 120,
       "Specified number of predictors does not match number of predictors read from file."},
      {"a name missing", missingName, 120,
       "Specified number of predictors does not match number of predictors read from file."},
      {"rows end early", shortRows, 120,
       "Error while converting PRT to SDM with 3DMC, heart rate and respiration files."},
      {"a malformed value", badValue, 120,
       "Error while converting PRT to SDM with 3DMC, heart rate and respiration files."},
      {"a header cut short", "FileVersion: 1\n\nNrOfPredictors:", 120,
       "Unable to read the header of the design matrix."},
      {"a constant but no predictors", sdmfiles::header(1, 0, 120, 1, 1), 120,
       "Unable to read the header of the design matrix."},
      {"a constant too large to write", hugeConstant, 1,
       "The constant's value 1e+30 in row 1 is too large to be written."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    testsupport::writeFile("subject1_3DMC.sdm", "an earlier merge");
    ppi::MoCoMerge result = merge(row.design, motionRecord(row.motionRows));
    EXPECT_FALSE(result.complete);
    EXPECT_EQ(result.mergedPath, "subject1_3DMC.sdm");
    ASSERT_EQ(host.model.log.size(), 2u);
    EXPECT_EQ(host.model.log[1], row.line);
    EXPECT_EQ(readText("subject1_3DMC.sdm"), "an earlier merge");
    EXPECT_FALSE(fs::exists("subject1_3DMC.sdm.part"));
  }
}

TEST_F(MoCoMerge, NothingIsWrittenWithoutADesignOrAPlaceToWriteTo) {
  host.model.log.clear();
  ppi::MoCoSDM moco = motionRecord(2);
  EXPECT_FALSE(ppi::addMoCoToSDM("missing.sdm", moco, 0).complete);
  EXPECT_EQ(host.model.log, (std::vector<std::string>{"New filename: missing_3DMC.sdm",
                                                      "Unable to open the design matrix file."}));

  fs::create_directory("subject1_3DMC.sdm.part");  // the temporary file cannot be created
  EXPECT_FALSE(merge(designFile(3, 2, true), motionRecord(2)).complete);
  EXPECT_EQ(host.model.log.back(), "Unable to open a file for writing.");
  EXPECT_FALSE(fs::exists("subject1_3DMC.sdm"));

  ppi::MoCoSDM unread = motionRecord(2);
  unread.valid = false;
  EXPECT_FALSE(merge(designFile(3, 2, true), unread).complete);
  EXPECT_EQ(host.model.log, std::vector<std::string>{
                                "The motion estimates were not read whole; they are not merged."});
}

TEST(ZTransform, ColumnsGetMeanZeroAndPopulationDeviationOne) {
  struct Row {
    std::vector<double> values;
    ppi::ColumnTransform outcome;
    std::vector<double> expected;
  };
  const double big = std::numeric_limits<double>::max();
  const double r = 1.0 / std::sqrt(1.25);  // population sd of {1, 2, 3, 4} is sqrt(1.25)
  const Row rows[] = {
      {{1, 2, 3, 4}, ppi::ColumnTransform::standardised, {-1.5 * r, -0.5 * r, 0.5 * r, 1.5 * r}},
      {{2, 4}, ppi::ColumnTransform::standardised, {-1, 1}},
      {{0.1, 0.1, 0.1}, ppi::ColumnTransform::centredOnly, {0, 0, 0}},
      {{-3}, ppi::ColumnTransform::centredOnly, {0}},
      {{big, big, -big}, ppi::ColumnTransform::notFinite, {big, big, -big}},
      {{}, ppi::ColumnTransform::standardised, {}},
  };
  for (const Row& row : rows) {
    std::vector<double> values = row.values;
    EXPECT_EQ(ppi::zTransformColumn(values.data(), static_cast<int>(values.size())), row.outcome);
    ASSERT_EQ(values.size(), row.expected.size());
    for (std::size_t i = 0; i < values.size(); ++i) EXPECT_DOUBLE_EQ(values[i], row.expected[i]);
  }
}

TEST_F(MoCoMerge, ATransformIsAllOrNothing) {
  ppi::MoCoSDM still = motionRecord(120);
  still.values[2].assign(120, 0.7);
  ppi::MoCoMerge result = merge(designFile(3, 120, true), still, 1);
  EXPECT_TRUE(result.complete);
  EXPECT_EQ(result.mergedPath, "subject1_3DMC_z.sdm");
  EXPECT_EQ(host.model.log[0],
            "Motion predictor \"Translation TY-Z [mm]\" does not vary: it is centred, not scaled.");
  EXPECT_EQ(standin::readDesignMatrixFile(result.mergedPath)->columns[4],
            std::vector<double>(120, 0.0));

  // A column that cannot be transformed: no column is, and the file says so.
  ppi::MoCoSDM wild = motionRecord(120);
  wild.values[4][7] = std::numeric_limits<double>::max();
  wild.values[4][8] = std::numeric_limits<double>::max();
  result = merge(designFile(3, 120, true), wild, 1);
  EXPECT_TRUE(result.complete);
  EXPECT_EQ(result.mergedPath, "subject1_3DMC.sdm");
  EXPECT_EQ(host.model.log[0], "Error while z-transforming motion correction predictors.");
  auto merged = standin::readDesignMatrixFile(result.mergedPath);
  ASSERT_TRUE(merged);
  for (int i = 0; i < 120; ++i) EXPECT_EQ(merged->columns[2][i], motionValue(0, i));
}

TEST(InsertFileSuffix, GoesBeforeTheLastFourCharacters) {
  struct Row {
    const char* path;
    const char* expected;
  };
  const Row rows[] = {
      {"subject1.sdm", "subject1_3DMC.sdm"},
      {"/data/s.01/run.sdm", "/data/s.01/run_3DMC.sdm"},
      {"C:\\data\\x.SDM", "C:\\data\\x_3DMC.SDM"},
      {"noextension", "noexten_3DMCsion"},
      {".sdm", "_3DMC.sdm"},
      {"ab", "_3DMCab"},
      {"", "_3DMC"},
  };
  for (const Row& row : rows) EXPECT_EQ(ppi::insertFileSuffix(row.path, "_3DMC"), row.expected);
}

}  // namespace
