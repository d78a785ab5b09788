#include "confounds/mocosdm.h"

#include <gtest/gtest.h>

#include <locale>
#include <string>
#include <vector>

#include "tests/confounds/sdmfiles.h"
#include "tests/support/fakehost.h"

namespace {

using sdmfiles::motionFile;
using sdmfiles::motionValue;

const char* const kProblem = "Problem with reading *.sdm file. Please check results.";

class ReadMoCoSDM : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(host.bind()); }

  ppi::MoCoSDM read(const std::string& content) {
    testsupport::writeFile("motion_3DMC.sdm", content);
    host.model.log.clear();
    return ppi::readMoCoSDM("motion_3DMC.sdm");
  }

  // The six kept columns hold the file's first six columns, row by row.
  void expectColumns(const ppi::MoCoSDM& moco, int rows) {
    for (int k = 0; k < ppi::kMotionPredictorCount; ++k) {
      SCOPED_TRACE(k);
      EXPECT_EQ(moco.colors[k], (ppi::sdm::Colour{k, k + 10, k + 20}));
      ASSERT_EQ(moco.values[k].size(), static_cast<std::size_t>(rows));
      for (int row = 0; row < rows; ++row) EXPECT_EQ(moco.values[k][row], motionValue(k, row));
    }
  }

  testsupport::ScopedWorkingDirectory directory;
  testsupport::FakeHost host;
};

TEST_F(ReadMoCoSDM, ReadsSixColumnsAndLogsTheHeader) {
  ppi::MoCoSDM moco = read(motionFile(6, 3));
  EXPECT_TRUE(moco.valid);
  EXPECT_FALSE(moco.zTransformed);
  EXPECT_EQ(moco.fileVersion, 1);
  EXPECT_EQ(moco.nrOfPredictors, 6);
  EXPECT_EQ(moco.nrOfDataPoints, 3);
  EXPECT_EQ(moco.includesConstant, 0);
  EXPECT_EQ(moco.firstConfoundPredictor, 1);
  expectColumns(moco, 3);
  EXPECT_EQ(host.model.log, (std::vector<std::string>{
                                "print line: FileVersion: ",
                                "Fileversion: 1\nNr of Predictors: 6\nNr of datapoints: 3\n"
                                "Includes constant: 0\nFirst confound: 1",
                                "Reading colors...",
                                "Reading motion estimates...",
                            }));
}

TEST_F(ReadMoCoSDM, NamesAreSkippedByTheirQuotesOnly) {
  const char* const nameLines[] = {
      "\"Translation X [mm]\"\t\"Translation Y [mm]\"\t\"Translation Z [mm]\"\t"
      "\"Rotation X [deg]\"\t\"Rotation Y [deg]\"\t\"Rotation Z [deg]\"\t",
      "\"a\"\n\"b\"\n\"c\n  d\"\n\"e\"\t\t\"f\"   \"g\"",  // broken over lines
      "\"1\" \"2\" \"3\" \"4\" \"5\" \"6 6 6\"",
      "\"\"\"\"\"\"\"\"\"\"\"\"",  // six empty names
  };
  for (const char* nameLine : nameLines) {
    SCOPED_TRACE(nameLine);
    ppi::MoCoSDM moco = read(motionFile(6, 4, nameLine));
    EXPECT_TRUE(moco.valid);
    expectColumns(moco, 4);
  }
}

TEST_F(ReadMoCoSDM, HeadersAndDamagedFiles) {
  const std::string six = motionFile(6, 2);
  struct Row {
    const char* what;
    std::string content;
    bool valid;
    std::string lastLine;
  };
  const Row rows[] = {
      {"any key words, version 2",
       "V 2\n\nP 6\nN 2\nC 0\nF 1\n\n" + six.substr(six.find("0 10 20")), true,
       "Reading motion estimates..."},
      {"no rows", motionFile(6, 0), true, "Reading motion estimates..."},
      {"negative rows", sdmfiles::header(1, 6, -1, 0, 1) + six.substr(six.find("0 10 20")), false,
       kProblem},
      {"five predictors", motionFile(5, 2), false,
       "The motion estimates file holds 5 predictors; six are needed."},
      {"file ends within the names", six.substr(0, six.find("\"Motion 4")), false, kProblem},
      {"file ends within the rows", six.substr(0, six.rfind("\t0.5")), false, kProblem},
      {"a value with a comma", six.substr(0, six.rfind('\n', six.size() - 2)) + "\n1,5\n", false,
       kProblem},
      {"a header integer that is not one", "FileVersion: 1.0\n", false, kProblem},
      {"empty file", "", false, kProblem},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ppi::MoCoSDM moco = read(row.content);
    EXPECT_EQ(moco.valid, row.valid);
    ASSERT_FALSE(host.model.log.empty());
    EXPECT_EQ(host.model.log.back(), row.lastLine);
    if (row.valid) {
      for (const auto& column : moco.values) EXPECT_EQ(column.size(), moco.nrOfDataPoints);
    }
  }
}

TEST_F(ReadMoCoSDM, WiderFilesKeepTheirFirstSixColumns) {
  ppi::MoCoSDM moco = read(motionFile(9, 5));
  EXPECT_TRUE(moco.valid);
  EXPECT_EQ(moco.nrOfPredictors, 9);
  expectColumns(moco, 5);
}

TEST_F(ReadMoCoSDM, AMissingFileIsNotRead) {
  host.model.log.clear();
  ppi::MoCoSDM moco = ppi::readMoCoSDM("missing_3DMC.sdm");
  EXPECT_FALSE(moco.valid);
  EXPECT_EQ(host.model.log, std::vector<std::string>{"Unable to open the motion estimates file."});
}

// A process locale with a decimal comma and grouped thousands.
struct CommaDecimals : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

TEST_F(ReadMoCoSDM, ThePointIsTheDecimalSeparatorWhateverTheLocale) {
  const std::string content = motionFile(6, 1200);
  std::locale previous =
      std::locale::global(std::locale(std::locale::classic(), new CommaDecimals));
  ppi::MoCoSDM moco = read(content);
  std::locale::global(previous);
  EXPECT_TRUE(moco.valid);
  EXPECT_EQ(moco.nrOfDataPoints, 1200);
  expectColumns(moco, 1200);
}

}  // namespace
