#include "run/mocohandover.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/formats/sdmfiles.h"

namespace {

namespace fs = std::filesystem;
const char* const kCancelled = "PPI Plugin> No SDM file name selected. Prepare PPI Plugin aborted.";
const char* const kNotAdded =
    "PPI Plugin> Motion correction predictors could not be added. Prepare PPI Plugin aborted.";

// The hand-over asks the host for the file and logs through it.
class MoCoHandOver : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host.bind());
    fs::create_directories("data/s01");
    fs::create_directories("out");
    testsupport::writeFile("out/run1.sdm", sdmfiles::designFile(2, 2, true));
    testsupport::writeFile("data/s01/run1_3DMC.sdm", sdmfiles::motionFile(6, 2));
    testsupport::writeFile("data/s01/short_3DMC.sdm", sdmfiles::motionFile(6, 1));
    ASSERT_TRUE(savedPath.assign("out/run1.sdm"));
  }
  testsupport::ScopedWorkingDirectory directory;
  testsupport::FakeHost host;
  std::vector<std::string>& log = host.model.log;
  ppi::PathText savedPath;
};

TEST_F(MoCoHandOver, TheMergedDesignTakesTheSavedOnesPlace) {
  host.model.openFileAnswers.push_back({true, "data/s01/run1_3DMC.sdm"});
  ASSERT_TRUE(ppi::confounds::handOverMoCo(savedPath, "data/s01", 1).ok());
  EXPECT_EQ(savedPath.view(), "out/run1_3DMC_z.sdm");
  std::vector<standin::HostCall> dialogs = host.model.callsTo("nkGetOpenFileName");
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].arguments,
            (std::vector<std::string>{"Select motion correction sdm file to read (.*SDM) ",
                                      "data/s01", "SDM file (*3DMC*.sdm)"}));
  EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 2),
            (std::vector<std::string>{"Plugin> MoCoSDM selected is: \"data/s01/run1_3DMC.sdm\".",
                                      "Plugin> Original sdm selected is: \"out/run1.sdm\"."}));
  EXPECT_EQ(log.back(), "New filename: out/run1_3DMC_z.sdm");
  // Two rows per motion column: z-transformed, each is -1 and 1.
  EXPECT_EQ(sdmfiles::lines(sdmfiles::readText(savedPath.c_str())).back(),
            "0.125\t-1\t1\t1\t1\t1\t1\t1.000000");
}

TEST_F(MoCoHandOver, TheRunStopsWhenNoMergedDesignCanStand) {
  const std::string longest(ppi::confounds::kMotionPathLimit - 4, 'm');
  struct Row {
    std::size_t savedLength;  // 0: out/run1.sdm
    bool answered;
    std::string motionPath;
    std::string failureLine;  // the line before the closing one, if any
    std::string lastLine;
  };
  const Row rows[] = {
      {0, false, "", "", kCancelled},
      {0, true, "data/s01/short_3DMC.sdm", "Number of time points do not match.", kNotAdded},
      {0, true, longest + ".sdm", "Unable to open the motion estimates file.", kNotAdded},
      {0, true, longest + "m.sdm", "",
       "PPI Plugin> The motion correction file path is longer than 511 characters. Prepare PPI "
       "Plugin aborted."},
      {295, false, "", "", kCancelled},  // "_3DMC" fits in 300 characters; the dialog is shown
      {296, false, "", "",
       "PPI Plugin> The merged design matrix path would be longer than 300 characters. Prepare "
       "PPI Plugin aborted."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.lastLine);
    const std::string saved =
        row.savedLength ? std::string(row.savedLength - 4, 'd') + ".sdm" : "out/run1.sdm";
    ASSERT_TRUE(savedPath.assign(saved));
    log.clear();
    if (row.answered) host.model.openFileAnswers.push_back({true, row.motionPath});
    EXPECT_FALSE(ppi::confounds::handOverMoCo(savedPath, "data/s01", 0).ok());
    EXPECT_EQ(savedPath.view(), saved);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), row.lastLine);
    EXPECT_EQ(log.size() < 2 ? "" : log[log.size() - 2], row.failureLine);
    EXPECT_EQ(std::distance(fs::directory_iterator("out"), fs::directory_iterator()), 1);
  }
}

}  // namespace

namespace {

TEST_F(MoCoHandOver, AStillMotionColumnIsAWarningInTheReport) {
  std::string still = sdmfiles::header(1, 6, 2, 0, 1) +
                      "0 0 0\t1 1 1\t2 2 2\t3 3 3\t4 4 4\t5 5 5\n"
                      "\"a\"\t\"b\"\t\"c\"\t\"d\"\t\"e\"\t\"f\"\n"
                      "1\t2\t7\t4\t5\t6\n2\t3\t7\t5\t6\t7\n";
  testsupport::writeFile("data/s01/still_3DMC.sdm", still);
  for (int zFlag : {0, 1}) {
    SCOPED_TRACE(zFlag);
    ASSERT_TRUE(savedPath.assign("out/run1.sdm"));
    host.model.openFileAnswers.push_back({true, "data/s01/still_3DMC.sdm"});
    ppi::Report report;
    ASSERT_TRUE(ppi::confounds::handOverMoCo(savedPath, "data/s01", zFlag, nullptr, &report,
                                             "subject 1 (run1.vtc)")
                    .ok());
    const std::string text = report.text();
    // Only a z-transform has a column it can only centre.
    EXPECT_EQ(text.find("subject 1 (run1.vtc)") != std::string::npos, zFlag == 1) << text;
    EXPECT_EQ(text.find("Translation TY-Z [mm]") != std::string::npos, zFlag == 1) << text;
  }
}

}  // namespace

namespace {

// The dialog starts at the one motion-estimates file beside the time course.
TEST(MotionFileProposal, TheOneMatchingFileElseTheFolder) {
  const struct {
    const char* name;
    std::vector<std::string> files;  // in the folder "f"
    const char* folder;
    std::string proposed;
  } rows[] = {
      {"one match", {"f/run.vtc", "f/run_3DMC.sdm", "f/run.prt"}, "f", "f/run_3DMC.sdm"},
      {"one match, folder with a separator", {"f/run_3DMC.sdm"}, "f/", "f/run_3DMC.sdm"},
      {"letter case aside", {"f/Run_3dmc.SDM"}, "f", "f/Run_3dmc.SDM"},
      {"3DMC in the middle", {"f/a3DMCb.sdm"}, "f", "f/a3DMCb.sdm"},
      {"two matches", {"f/a_3DMC.sdm", "f/b_3DMC.sdm"}, "f", "f"},
      {"none", {"f/run.sdm", "f/3DMC.txt", "f/x.sdm3DMC"}, "f", "f"},
      {"3DMC before the extension", {"f/run.3DMC.sdm"}, "f", "f/run.3DMC.sdm"},
      {"a folder of that name does not count", {}, "f", "f"},
      {"no such folder", {}, "missing", "missing"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    testsupport::ScopedWorkingDirectory directory;
    fs::create_directory("f");
    fs::create_directory("f/dir_3DMC.sdm");
    for (const std::string& file : row.files) testsupport::writeFile(file, "x");
    EXPECT_EQ(ppi::confounds::proposedMotionFile(row.folder), row.proposed);
  }
}

}  // namespace

TEST_F(MoCoHandOver, AListedMotionFileIsMergedWithoutADialog) {
  ppi::Report report;
  std::uint64_t samples = 0, again = 0;
  ASSERT_TRUE(ppi::confounds::handOverMoCo(savedPath, "data/s01", 0, nullptr, &report, "s1", {},
                                           nullptr, "data/s01/run1_3DMC.sdm", &samples)
                  .ok());
  EXPECT_TRUE(host.model.callsTo("nkGetOpenFileName").empty());
  EXPECT_EQ(savedPath.view(), "out/run1_3DMC.sdm");
  // The samples' checksum does not depend on the file's colours or names.
  std::string other = sdmfiles::motionFile(6, 2, "\"x\"\t\"y\"\t\"z\"\t\"u\"\t\"v\"\t\"w\"");
  testsupport::writeFile("data/s01/other_3DMC.sdm", other);
  ASSERT_TRUE(savedPath.assign("out/run1.sdm"));
  ASSERT_TRUE(ppi::confounds::handOverMoCo(savedPath, "data/s01", 0, nullptr, &report, "s1", {},
                                           nullptr, "data/s01/other_3DMC.sdm", &again)
                  .ok());
  EXPECT_EQ(samples, again);
  EXPECT_NE(samples, 0u);

  // A file that cannot be read says why, and where, in the report.
  testsupport::writeFile("data/s01/cut_3DMC.sdm", sdmfiles::motionFile(6, 2).substr(0, 120));
  ASSERT_TRUE(savedPath.assign("out/run1.sdm"));
  EXPECT_FALSE(ppi::confounds::handOverMoCo(savedPath, "data/s01", 0, nullptr, &report, "s1", {},
                                            nullptr, "data/s01/cut_3DMC.sdm")
                   .ok());
  ASSERT_FALSE(report.problems().empty());
  EXPECT_EQ(report.problems().back().id, "motion-not-merged");
  EXPECT_NE(report.problems().back().what.find("is rejected: line "), std::string::npos)
      << report.problems().back().what;
}
