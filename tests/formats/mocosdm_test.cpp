#include "formats/mocosdm.h"

#include <gtest/gtest.h>

#include <locale>
#include <string>
#include <vector>

#include "tests/formats/sdmfiles.h"

namespace {

using sdmfiles::motionFile;
const char* const kProblem = "Problem with reading *.sdm file. Please check results.";

class ReadMoCoSDM : public sdmfiles::InFolder {
 protected:
  ppi::confounds::MoCoSDM read(const std::string& content) {
    testsupport::writeFile("motion_3DMC.sdm", content);
    log.clear();
    return ppi::confounds::readMoCoSDM("motion_3DMC.sdm", sink);
  }
  // The six kept columns are the file's first six, row by row.
  void expectColumns(const ppi::confounds::MoCoSDM& moco, int rows) {
    const ppi::confounds::MoCoSDM expected = sdmfiles::motionRecord(rows);
    EXPECT_EQ(moco.colors, expected.colors);
    EXPECT_EQ(moco.values, expected.values);
  }
};

// A process locale with a decimal comma and grouped thousands.
struct CommaDecimals : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

TEST_F(ReadMoCoSDM, ReadsSixColumnsWhateverTheLocaleAndLogsTheHeader) {
  const std::string content = motionFile(6, 1200);  // written with points
  std::locale previous =
      std::locale::global(std::locale(std::locale::classic(), new CommaDecimals));
  ppi::confounds::MoCoSDM moco = read(content);
  std::locale::global(previous);
  EXPECT_TRUE(moco.valid);
  EXPECT_FALSE(moco.zTransformed);
  EXPECT_EQ(moco.fileVersion, 1);
  EXPECT_EQ(moco.nrOfPredictors, 6);
  EXPECT_EQ(moco.nrOfDataPoints, 1200);
  EXPECT_EQ(moco.firstConfoundPredictor, 1);
  expectColumns(moco, 1200);
  EXPECT_EQ(log, (std::vector<std::string>{"print line: FileVersion: ",
                                           "Fileversion: 1\nNr of Predictors: 6\nNr of datapoints: "
                                           "1200\nIncludes constant: 0\nFirst confound: 1",
                                           "Reading colors...", "Reading motion estimates..."}));
}

TEST_F(ReadMoCoSDM, NamesAreSkippedByTheirQuotesOnlyAndWiderFilesKeepSixColumns) {
  struct Row {
    int predictors;
    const char* nameLine;
  };
  const Row rows[] = {
      {6, "\"Translation X [mm]\"\t\"Translation Y [mm]\"\t\"a\"\t\"b\"\t\"c\"\t\"Rotation Z\"\t"},
      {6, "\"a\"\n\"b\"\n\"c\n  d\"\n\"e\"\t\t\"f\"   \"g\""},  // broken over lines
      {6, "\"\"\"\"\"\"\"\"\"\"\"\""},                          // six empty names
      {9, ""},                                                  // nine names, nine columns
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.nameLine);
    ppi::confounds::MoCoSDM moco = read(motionFile(row.predictors, 4, row.nameLine));
    EXPECT_TRUE(moco.valid);
    EXPECT_EQ(moco.nrOfPredictors, row.predictors);
    expectColumns(moco, 4);
  }
}

TEST_F(ReadMoCoSDM, HeadersAndDamagedFiles) {
  const std::string six = motionFile(6, 2);
  const std::string body = six.substr(six.find("0 10 20"));
  struct Row {
    const char* what;
    std::string content;
    std::string lastLine;  // the record is valid when this is the last step's line
  };
  const Row rows[] = {
      {"any key words, version 2", "V 2\n\nP 6\nN 2\nC 0\nF 1\n\n" + body,
       "Reading motion estimates..."},
      {"no rows", motionFile(6, 0), "Reading motion estimates..."},
      {"negative rows", sdmfiles::header(1, 6, -1, 0, 1) + body, kProblem},
      {"five predictors", motionFile(5, 2),
       "The motion estimates file holds 5 predictors; six are needed."},
      {"file ends within the names", six.substr(0, six.find("\"Motion 4")), kProblem},
      {"file ends within the rows", six.substr(0, six.rfind("\t0.5")), kProblem},
      {"a value with a comma", six.substr(0, six.rfind('\n', six.size() - 2)) + "\n1,5\n",
       kProblem},
      {"a header integer that is not one", "FileVersion: 1.0\n", kProblem},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ppi::confounds::MoCoSDM moco = read(row.content);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), row.lastLine);
    const bool valid = row.lastLine == "Reading motion estimates...";
    EXPECT_EQ(moco.valid, valid);
    if (valid) expectColumns(moco, moco.nrOfDataPoints);
  }
  log.clear();
  EXPECT_FALSE(ppi::confounds::readMoCoSDM("missing_3DMC.sdm", sink).valid);
  EXPECT_EQ(log, std::vector<std::string>{"Unable to open the motion estimates file."});
}

}  // namespace
