#include "formats/mocomerge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "common/filelayer.h"
#include "standin/designfile.h"
#include "tests/formats/sdmfiles.h"
#include "tests/support/testfilesystems.h"

namespace {

namespace fs = std::filesystem;
using sdmfiles::designFile;
using sdmfiles::lines;
using sdmfiles::motionRecord;
using sdmfiles::readText;

const std::string kMotionNames =
    "\"Translation TY-X [mm]\"\t\"Translation TY-Y [mm]\"\t\"Translation TY-Z [mm]\"\t"
    "\"Rotation TY-X [deg]\"\t\"Rotation TY-Y [deg]\"\t\"Rotation TY-Z [deg]\"\t";
const std::string kMotionColours = "0 10 20\t1 11 21\t2 12 22\t3 13 23\t4 14 24\t5 15 25\t";
const char* const kMismatch =
    "Specified number of predictors does not match number of predictors read from file.";
const char* const kMergeProblem =
    "Error while converting PRT to SDM with 3DMC, heart rate and respiration files.";

// No temporary file of a replacement is left in the working folder.
bool noTemporaryFile() {
  for (const auto& entry : fs::directory_iterator(".")) {
    if (ppi::isTemporaryPath(entry.path().filename().string())) return false;
  }
  return true;
}

std::string g(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%g\t", value);
  return text;
}

class MoCoMerge : public sdmfiles::InFolder {
 protected:
  ppi::confounds::MoCoMerge merge(const std::string& design, ppi::confounds::MoCoSDM moco,
                                  int zFlag = 0) {
    testsupport::writeFile("subject1.sdm", design);
    log.clear();
    return ppi::confounds::addMoCoToSDM("subject1.sdm", moco, zFlag, sink);
  }
};

TEST_F(MoCoMerge, FivePredictorsWithAndWithoutConstantOver100Points) {
  for (bool constant : {true, false}) {
    SCOPED_TRACE(constant);
    ppi::confounds::MoCoMerge result = merge(designFile(5, 100, constant, -7), motionRecord(100));
    ASSERT_TRUE(result.complete);
    EXPECT_EQ(log, std::vector<std::string>{"New filename: subject1_3DMC.sdm"});
    std::vector<std::string> merged = lines(readText(result.mergedPath));
    ASSERT_EQ(merged.size(), 109u);
    EXPECT_EQ(std::vector<std::string>(merged.begin(), merged.begin() + 7),
              lines(sdmfiles::header(1, 11, 100, constant, -7)));
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
      for (int p = 0; p < own; ++p) expected += g(sdmfiles::designValue(p, row));
      for (int k = 0; k < 6; ++k) expected += g(sdmfiles::motionValue(k, row));
      ASSERT_EQ(merged[9 + row], expected + (constant ? "1.000000" : "")) << row;
    }
  }
  EXPECT_EQ(readText("subject1.sdm"), designFile(5, 100, false, -7));  // left as it was
}

TEST_F(MoCoMerge, KeysNamesAndValuesAreCopiedAsTheyStand) {
  // Other key words, version 0, CRLF line ends; names with blanks and tabs,
  // blanks and tabs between them; values rounded to six digits.
  const std::string design =
      "V 0\r\n\r\nP 3\r\nN 2\r\nC 1\r\nF 3\r\n\r\n255 0 0\t0 255 0\t255 255 255\t\r\n"
      "  \" a  b \" \t\t\"c\td\"\t "
      "\"Constant\"\r\n0.333333333\t-2.25\t1\t\r\n1e-07\t123456789\t1\r\n";
  ASSERT_TRUE(merge(design, motionRecord(2)).complete);
  EXPECT_EQ(readText("subject1_3DMC.sdm"),
            "V 0\n\nP 9\nN 2\nC 1\nF 3\n\n255 0 0\t0 255 0\t" + kMotionColours +
                "255 255 255\t\n\" a  b \"\t\"c\td\"\t" + kMotionNames + "\"Constant\"\t\n" +
                "0.333333\t-2.25\t0.25\t0.5\t0.75\t1\t1.25\t1.5\t1.000000\n"
                "1e-07\t1.23457e+08\t0.125\t0.875\t1.625\t2.375\t3.125\t3.875\t1.000000\n");
}

TEST_F(MoCoMerge, ZFlagStandardisesTheMotionColumnsAndNamesTheFile) {
  ppi::confounds::MoCoSDM still = motionRecord(120);
  still.values[2].assign(120, 0.7);
  ppi::confounds::MoCoSDM wild =
      motionRecord(120);                          // no column is transformed, and the name says so
  wild.values[4][7] = wild.values[4][8] = 1e308;  // their sum overflows
  struct Row {
    int zFlag;
    ppi::confounds::MoCoSDM moco;
    const char* mergedPath;
    const char* firstLine;
  };
  const Row rows[] = {
      {0, motionRecord(120), "subject1_3DMC.sdm", "New filename: subject1_3DMC.sdm"},
      {1, motionRecord(120), "subject1_3DMC_z.sdm", "New filename: subject1_3DMC_z.sdm"},
      {-4, still, "subject1_3DMC_z.sdm",
       "Motion predictor \"Translation TY-Z [mm]\" does not vary: it is centred, not scaled."},
      {1, wild, "subject1_3DMC.sdm", "Error while z-transforming motion correction predictors."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.mergedPath);
    ppi::confounds::MoCoMerge result = merge(designFile(3, 120, true), row.moco, row.zFlag);
    ASSERT_TRUE(result.complete);
    EXPECT_EQ(result.mergedPath, row.mergedPath);
    EXPECT_EQ(log[0], row.firstLine);
    auto merged = standin::readDesignMatrixFile(result.mergedPath);
    ASSERT_TRUE(merged);
    for (std::size_t k = 0; k < 6; ++k) {
      const std::vector<double>& column = merged->columns[2 + k];
      if (result.mergedPath.find("_z") == std::string::npos) {
        EXPECT_EQ(column, row.moco.values[k]);  // copied unchanged
        continue;
      }
      double mean = 0, squares = 0;
      for (double value : column) mean += value / 120;
      for (double value : column) squares += (value - mean) * (value - mean) / 120;
      EXPECT_NEAR(mean, 0.0, 1e-6);
      EXPECT_NEAR(std::sqrt(squares), k == 2 && row.zFlag == -4 ? 0.0 : 1.0, 1e-5);
    }
  }
}

TEST_F(MoCoMerge, AFailedMergeLeavesNoMergedFile) {
  const std::string good = designFile(3, 120, true);
  auto edit = [&good](const std::string& from, const std::string& to) {
    std::string design = good;
    return design.replace(design.rfind(from), from.size(), to);
  };
  struct Row {
    std::string design;
    int motionRows;
    const char* line;
  };
  const Row rows[] = {
      {designFile(3, 120, true, 2, 2), 120, "Incorrect FileVersion detected."},
      {good, 119, "Number of time points do not match."},
      {edit("\"Pred 2\"", "\"\""), 120, kMismatch},
      {edit("\"Pred 2\"\t", ""), 120, kMismatch},
      {good.substr(0, good.size() - 8), 120, kMergeProblem},
      {edit("0.5", "0,5"), 120, kMergeProblem},
      {"FileVersion: 1\n\nNrOfPredictors:", 120, "Unable to read the header of the design matrix."},
      {sdmfiles::header(1, 0, 120, 1, 1), 120, "Unable to read the header of the design matrix."},
      {designFile(2, 1, true).replace(designFile(2, 1, true).rfind("1\t"), 1, "1e30"), 1,
       "The constant's value 1e+30 in row 1 is too large to be written."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    testsupport::writeFile("subject1_3DMC.sdm", "an earlier merge");
    ppi::confounds::MoCoMerge result = merge(row.design, motionRecord(row.motionRows));
    EXPECT_FALSE(result.complete);
    EXPECT_EQ(result.mergedPath, "subject1_3DMC.sdm");
    EXPECT_EQ(log, (std::vector<std::string>{"New filename: subject1_3DMC.sdm", row.line}));
    // The reason travels in the result, as logged.
    EXPECT_EQ(result.problem, row.line);
    EXPECT_EQ(readText("subject1_3DMC.sdm"), "an earlier merge");
    EXPECT_TRUE(noTemporaryFile());
  }

  log.clear();
  ppi::confounds::MoCoSDM moco = motionRecord(2);
  const ppi::confounds::MoCoMerge unread =
      ppi::confounds::addMoCoToSDM("missing.sdm", moco, 0, sink);
  EXPECT_FALSE(unread.complete);
  EXPECT_EQ(log.back(), "Unable to open the design matrix file.");
  EXPECT_EQ(unread.problem, log.back());
  fs::remove("subject1_3DMC.sdm");
  fs::create_directory("subject1_3DMC.sdm");  // the merged file cannot be created
  const ppi::confounds::MoCoMerge uncreated = merge(designFile(3, 2, true), motionRecord(2));
  EXPECT_FALSE(uncreated.complete);
  EXPECT_EQ(log.back(), "Unable to open a file for writing.");
  EXPECT_EQ(uncreated.problem, log.back());
  fs::remove("subject1_3DMC.sdm");
  moco.valid = false;
  const ppi::confounds::MoCoMerge invalid = merge(designFile(3, 2, true), moco);
  EXPECT_FALSE(invalid.complete);
  EXPECT_EQ(log, std::vector<std::string>{
                     "The motion estimates were not read whole; they are not merged."});
  EXPECT_EQ(invalid.problem, log.back());
  // A merge that completes has no reason, whatever it logged.
  EXPECT_EQ(merge(designFile(3, 2, true), motionRecord(2)).problem, "");
}

TEST(ZTransform, ColumnsGetMeanZeroAndPopulationDeviationOne) {
  struct Row {
    std::vector<double> values;
    ppi::confounds::ColumnTransform outcome;
    std::vector<double> expected;
  };
  const double big = std::numeric_limits<double>::max();
  const double r = 1.0 / std::sqrt(1.25);  // population sd of {1, 2, 3, 4} is sqrt(1.25)
  const Row rows[] = {
      {{1, 2, 3, 4},
       ppi::confounds::ColumnTransform::standardised,
       {-1.5 * r, -0.5 * r, 0.5 * r, 1.5 * r}},
      {{0.1, 0.1, 0.1}, ppi::confounds::ColumnTransform::centredOnly, {0, 0, 0}},
      {{-3}, ppi::confounds::ColumnTransform::centredOnly, {0}},
      {{big, big, -big}, ppi::confounds::ColumnTransform::notFinite, {big, big, -big}},
      {{}, ppi::confounds::ColumnTransform::standardised, {}},
  };
  for (const Row& row : rows) {
    std::vector<double> values = row.values;
    EXPECT_EQ(ppi::confounds::zTransformColumn(values.data(), static_cast<int>(values.size())),
              row.outcome);
    ASSERT_EQ(values.size(), row.expected.size());
    for (std::size_t i = 0; i < values.size(); ++i) EXPECT_DOUBLE_EQ(values[i], row.expected[i]);
  }
}

TEST(InsertFileSuffix, GoesBeforeTheLastFourCharacters) {
  const char* const rows[][2] = {
      {"/data/s.01/run.sdm", "/data/s.01/run_3DMC.sdm"},
      {"C:\\d\\x.SDM", "C:\\d\\x_3DMC.SDM"},
      {"noextension", "noexten_3DMCsion"},
      {".sdm", "_3DMC.sdm"},
      {"ab", "_3DMCab"},
      {"", "_3DMC"},
  };
  for (const auto& row : rows) EXPECT_EQ(ppi::confounds::insertFileSuffix(row[0], "_3DMC"), row[1]);
}

}  // namespace

namespace {

TEST_F(MoCoMerge, AFaultAtAnyWriteLeavesTheEarlierMergedFileAndNoTemporaryFile) {
  using Operation = ppi::FaultyFileSystem::Operation;
  const std::string design = designFile(5, 300, true, -7);
  ppi::FaultyFileSystem faulty(ppi::realFileSystem());
  {
    ppi::ScopedFileSystem scope(faulty);
    faulty.inject({});
    ASSERT_TRUE(merge(design, motionRecord(300)).complete);
  }
  const std::string whole = readText("subject1_3DMC.sdm");
  int counts[ppi::FaultyFileSystem::kOperationCount];
  for (int kind = 0; kind < ppi::FaultyFileSystem::kOperationCount; ++kind) {
    counts[kind] = faulty.count(static_cast<Operation>(kind));
  }
  ASSERT_GE(counts[static_cast<int>(Operation::write)], 1);
  for (int kind = 0; kind < ppi::FaultyFileSystem::kOperationCount; ++kind) {
    const auto operation = static_cast<Operation>(kind);
    if (operation == Operation::folderFlush) continue;  // the merged file is in place by then
    for (int nth = 1; nth <= counts[kind]; ++nth) {
      for (bool shortWrite : {false, true}) {
        if (shortWrite && operation != Operation::write) continue;
        SCOPED_TRACE(std::to_string(kind) + "#" + std::to_string(nth) +
                     (shortWrite ? " short" : ""));
        testsupport::writeFile("subject1_3DMC.sdm", "an earlier merge");
        ppi::ScopedFileSystem scope(faulty);
        faulty.inject({operation, nth, shortWrite});
        EXPECT_FALSE(merge(design, motionRecord(300)).complete);
        EXPECT_TRUE(faulty.struck());
        EXPECT_EQ(readText("subject1_3DMC.sdm"), "an earlier merge");
        EXPECT_TRUE(noTemporaryFile());
        ASSERT_FALSE(log.empty());
        EXPECT_NE(log.back().find("Unable"), std::string::npos) << log.back();
      }
    }
  }
  EXPECT_FALSE(whole.empty());
}

}  // namespace
