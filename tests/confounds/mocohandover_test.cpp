#include "confounds/mocohandover.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/confounds/sdmfiles.h"
#include "tests/support/fakehost.h"

namespace {

namespace fs = std::filesystem;

const char* const kTitle = "Select motion correction sdm file to read (.*SDM) ";
const char* const kFilter = "SDM file (*3DMC*.sdm)";
const char* const kCancelled = "PPI Plugin> No SDM file name selected. Prepare PPI Plugin aborted.";
const char* const kNotAdded =
    "PPI Plugin> Motion correction predictors could not be added. Prepare PPI Plugin aborted.";

class MoCoHandOver : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host.bind());
    fs::create_directories("data/s01");
    fs::create_directories("data/s02");
    fs::create_directories("out");
    testsupport::writeFile("out/standPPI_run1_FFA.sdm", sdmfiles::designFile(2, 2, true));
    testsupport::writeFile("data/s01/run1_3DMC.sdm", sdmfiles::motionFile(6, 2));
    ASSERT_TRUE(savedPath.assign("out/standPPI_run1_FFA.sdm"));
  }

  void answer(const std::string& motionPath) {
    host.model.openFileAnswers.push_back({true, motionPath});
  }

  testsupport::ScopedWorkingDirectory directory;
  testsupport::FakeHost host;
  ppi::PathText savedPath;
};

TEST_F(MoCoHandOver, TheMergedDesignTakesTheSavedOnesPlace) {
  answer("data/s01/run1_3DMC.sdm");
  ASSERT_TRUE(ppi::handOverMoCo(savedPath, "data/s01", 1));
  EXPECT_EQ(savedPath.view(), "out/standPPI_run1_FFA_3DMC_z.sdm");

  std::vector<standin::HostCall> dialogs = host.model.callsTo("nkGetOpenFileName");
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].arguments, (std::vector<std::string>{kTitle, "data/s01", kFilter}));
  EXPECT_EQ(host.model.log,
            (std::vector<std::string>{
                "Plugin> MoCoSDM selected is: \"data/s01/run1_3DMC.sdm\".",
                "Plugin> Original sdm selected is: \"out/standPPI_run1_FFA.sdm\".",
                "print line: FileVersion: ",
                "Fileversion: 1\nNr of Predictors: 6\nNr of datapoints: 2\nIncludes constant: "
                "0\nFirst confound: 1",
                "Reading colors...",
                "Reading motion estimates...",
                "New filename: out/standPPI_run1_FFA_3DMC_z.sdm",
            }));
  // Two rows per motion column: z-transformed, each is -1 and 1.
  EXPECT_EQ(sdmfiles::readText("out/standPPI_run1_FFA_3DMC_z.sdm"),
            "FileVersion: 1\n\nNrOfPredictors: 8\nNrOfDataPoints: 2\nIncludesConstant: 1\n"
            "FirstConfoundPredictor: 2\n\n"
            "100 50 200\t0 10 20\t1 11 21\t2 12 22\t3 13 23\t4 14 24\t5 15 25\t101 50 199\t\n"
            "\"Pred 1\"\t\"Translation TY-X [mm]\"\t\"Translation TY-Y [mm]\"\t"
            "\"Translation TY-Z [mm]\"\t\"Rotation TY-X [deg]\"\t\"Rotation TY-Y [deg]\"\t"
            "\"Rotation TY-Z [deg]\"\t\"Constant\"\t\n"
            "0.5\t1\t-1\t-1\t-1\t-1\t-1\t1.000000\n"
            "0.125\t-1\t1\t1\t1\t1\t1\t1.000000\n");
}

TEST_F(MoCoHandOver, EachSubjectsDialogStartsInItsOwnFolder) {
  testsupport::writeFile("out/standPPI_run2_FFA.sdm", sdmfiles::designFile(3, 4, false));
  testsupport::writeFile("data/s02/run2_3DMC.sdm", sdmfiles::motionFile(6, 4));
  answer("data/s01/run1_3DMC.sdm");
  answer("data/s02/run2_3DMC.sdm");
  ASSERT_TRUE(ppi::handOverMoCo(savedPath, "data/s01", 0));
  EXPECT_EQ(savedPath.view(), "out/standPPI_run1_FFA_3DMC.sdm");
  ppi::PathText second;
  ASSERT_TRUE(second.assign("out/standPPI_run2_FFA.sdm"));
  ASSERT_TRUE(ppi::handOverMoCo(second, "data/s02", 0));
  EXPECT_EQ(second.view(), "out/standPPI_run2_FFA_3DMC.sdm");
  std::vector<standin::HostCall> dialogs = host.model.callsTo("nkGetOpenFileName");
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[1].arguments, (std::vector<std::string>{kTitle, "data/s02", kFilter}));
  EXPECT_EQ(sdmfiles::lines(sdmfiles::readText(second.c_str()))[2], "NrOfPredictors: 9");
}

TEST_F(MoCoHandOver, TheRunStopsWhenNoMergedDesignCanStand) {
  testsupport::writeFile("data/s01/short_3DMC.sdm", sdmfiles::motionFile(6, 1));
  testsupport::writeFile("data/s01/five_3DMC.sdm", sdmfiles::motionFile(5, 2));
  const std::string longest(ppi::kMotionPathLimit - 4, 'm');
  struct Row {
    const char* what;
    bool answered;
    std::string motionPath;
    std::string failureLine;  // the line before the closing one
    std::string lastLine;
  };
  const Row rows[] = {
      {"the dialog cancelled", false, "", "", kCancelled},
      {"a missing motion file", true, "data/s01/none_3DMC.sdm",
       "Unable to open the motion estimates file.", kNotAdded},
      {"five motion predictors", true, "data/s01/five_3DMC.sdm",
       "The motion estimates file holds 5 predictors; six are needed.", kNotAdded},
      {"one row against two", true, "data/s01/short_3DMC.sdm",
       "Number of time points do not match.", kNotAdded},
      {"a path of 511 characters is taken", true, longest + ".sdm",
       "Unable to open the motion estimates file.", kNotAdded},
      {"a path of 512 characters is refused", true, longest + "m.sdm", "",
       "PPI Plugin> The motion correction file path is longer than 511 characters. Prepare PPI "
       "Plugin aborted."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    host.model.log.clear();
    if (row.answered) answer(row.motionPath);
    EXPECT_FALSE(ppi::handOverMoCo(savedPath, "data/s01", 0));
    EXPECT_EQ(savedPath.view(), "out/standPPI_run1_FFA.sdm");
    ASSERT_FALSE(host.model.log.empty());
    EXPECT_EQ(host.model.log.back(), row.lastLine);
    if (!row.failureLine.empty()) {
      ASSERT_GE(host.model.log.size(), 2u);
      EXPECT_EQ(host.model.log[host.model.log.size() - 2], row.failureLine);
    } else {
      EXPECT_EQ(host.model.log.size(), 1u);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator("out"), fs::directory_iterator()), 1);
  }
}

TEST_F(MoCoHandOver, RefusesBeforeAskingWhenTheMergedPathCouldNotBeKept) {
  struct Row {
    std::size_t savedLength;
    int zFlag;
    bool asked;
  };
  for (const Row& row :
       {Row{293, 1, true}, Row{294, 1, false}, Row{295, 0, true}, Row{296, 0, false}}) {
    SCOPED_TRACE(row.savedLength);
    host.model.calls.clear();
    host.model.log.clear();
    ppi::PathText longSaved;
    ASSERT_TRUE(longSaved.assign(std::string(row.savedLength - 4, 'd') + ".sdm"));
    EXPECT_FALSE(ppi::handOverMoCo(longSaved, "data/s01", row.zFlag));  // cancelled when asked
    EXPECT_EQ(host.model.callsTo("nkGetOpenFileName").size(), row.asked ? 1u : 0u);
    EXPECT_EQ(host.model.log.back(),
              row.asked ? kCancelled
                        : "PPI Plugin> The merged design matrix path would be longer than 300 "
                          "characters. Prepare PPI Plugin aborted.");
  }

  host.remove("nkGetOpenFileName");
  ASSERT_TRUE(host.bind());
  host.model.log.clear();
  EXPECT_FALSE(ppi::handOverMoCo(savedPath, "data/s01", 0));
  EXPECT_EQ(host.model.log,
            std::vector<std::string>{
                "Plugin> The host does not offer nkGetOpenFileName; command refused."});
}

}  // namespace
