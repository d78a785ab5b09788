// The BIDS path end to end: the demo study written as a BIDS dataset, made
// into a study by ppistudy's code and run by the built host with the built
// plug-in, gives the designs of the same study in the host's own formats.
#include "demo/bidsstudy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "demo/study.h"
#include "standin/designfile.h"
#include "standin/nifti.h"
#include "tests/support/fakehost.h"
#include "tests/support/standinfixtures.h"

namespace {

namespace fs = std::filesystem;
using testsupport::contains;
using testsupport::readFile;
using testsupport::ScopedWorkingDirectory;
using testsupport::writeFile;

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) out.push_back(line);
  }
  return out;
}

demo::BidsStudyOptions studyOptions(const std::string& root, const std::string& out) {
  demo::BidsStudyOptions options;
  options.root = root;
  options.task = "demo";
  options.seed = root + "/" + demo::kBidsRegionsImage;
  options.seedLabel = "Seed";
  options.conditions = {"Rest", "Attend", "Passive"};
  options.plus = {"Attend"};
  options.minus = {"Passive"};
  options.out = out;
  return options;
}

#define REQUIRE_NIFTI() \
  if (!standin::niftiSupported()) GTEST_SKIP() << "built without libnifti2"

TEST(BidsStudy, GivesTheDesignsOfTheSameStudyInTheHostsOwnFormats) {
  REQUIRE_NIFTI();
  ScopedWorkingDirectory dir;
  demo::StudyOptions options;
  options.subjects = 4;  // the fourth has float samples
  options.volumes = 80;
  std::string why;
  ASSERT_TRUE(demo::generateStudy("own", options, &why)) << why;
  options.bids = true;
  ASSERT_TRUE(demo::generateStudy("bids", options, &why)) << why;
  demo::BidsStudy study;
  ASSERT_TRUE(demo::makeBidsStudy(studyOptions("bids", "study"), study, &why)) << why;
  ASSERT_EQ(study.included(), 4);
  EXPECT_FALSE(fs::exists("study/skipped.txt"));

  auto own = testsupport::runHost(STANDIN_APP_PATH, "own",
                                  "--plugin '" STANDIN_PLUGIN_PATH "' demo.session");
  ASSERT_EQ(own.status, 0) << own.output;
  auto bids = testsupport::runHost(STANDIN_APP_PATH, "study",
                                   "--plugin '" STANDIN_PLUGIN_PATH "' study.session");
  ASSERT_EQ(bids.status, 0) << bids.output;
  EXPECT_FALSE(contains(bids.output, "[host]")) << bids.output;

  const auto ownFiles = lines(readFile("own/results/sdm-files.txt"));
  const auto bidsFiles = lines(readFile("study/results/sdm-files.txt"));
  ASSERT_EQ(ownFiles.size(), 4u);
  ASSERT_EQ(bidsFiles.size(), 4u);
  // The 16-bit subjects' designs are the same to the last digit written: the
  // region sums are exact either way. The fourth subject's float samples
  // (about 1000) are summed in floats over 8 cells here and over 27 voxels of
  // each there: 216 additions whose roundings (up to 0.008 each at a sum of
  // 2e5) move the mean by up to some 2e-3, and the z-normalised seed (spread
  // about 15) and the PPI term by some 1.5e-4 (measured: 1.6e-4, 8e-5 of the
  // column's largest value). Its designs agree to that precision: within
  // 5e-4 of each column's largest value; every other column exactly. A wrong
  // volume, repetition time, cell or motion unit moves them by a tenth or
  // more.
  double largest = 0.0;
  for (std::size_t s = 0; s < 4; ++s) {
    for (const char* suffix : {"_3DMC.sdm", ".sdm"}) {
      auto path = [&](const std::string& folder, std::string merged) {
        merged.replace(merged.size() - 9, 9, suffix);
        return folder + "/" + merged;
      };
      SCOPED_TRACE(path("study", bidsFiles[s]));
      auto a = standin::readDesignMatrixFile(path("own", ownFiles[s]), &why);
      ASSERT_TRUE(a) << why;
      auto b = standin::readDesignMatrixFile(path("study", bidsFiles[s]), &why);
      ASSERT_TRUE(b) << why;
      EXPECT_EQ(a->names, b->names);
      ASSERT_EQ(a->columns.size(), b->columns.size());
      const bool merged = std::string(suffix) == "_3DMC.sdm";
      for (std::size_t p = 0; p < a->columns.size(); ++p) {
        ASSERT_EQ(a->columns[p].size(), 80u);
        ASSERT_EQ(b->columns[p].size(), 80u);
        double scale = 0.0;
        for (double x : a->columns[p]) scale = std::max(scale, std::fabs(x));
        const bool fromSeed = a->names[p] == "PPI_Seed" || a->names[p] == "Seed_predictor";
        for (std::size_t t = 0; t < 80; ++t) {
          const double x = a->columns[p][t], y = b->columns[p][t];
          ASSERT_LE(std::fabs(x - y), s == 3 && fromSeed ? 5e-4 * scale : 0.0)
              << a->names[p] << " volume " << t + 1 << (merged ? " (merged)" : "");
          if (scale > 0) largest = std::max(largest, std::fabs(x - y) / scale);
        }
      }
    }
  }
  RecordProperty("largest_difference_of_scale", std::to_string(largest));
  std::cout << "largest difference, relative to its column's scale: " << largest << "\n";
}

// A dataset of two subjects whose second is broken one way: the study goes on
// with the first and says why the second is left out.
TEST(BidsStudy, LeavesOutWhatItCannotReadWithTheReasonAndGoesOn) {
  REQUIRE_NIFTI();
  const std::string func = "bids/sub-02/func/sub-02_task-demo";
  const std::string derived = "bids/derivatives/fmriprep/sub-02/func/sub-02_task-demo";
  const std::string preproc = derived + "_space-demo_desc-preproc_bold.nii.gz";
  struct Row {
    const char* name;
    std::function<void()> breakIt;
    const char* why;
  };
  const Row rows[] = {
      {"truncated run",
       [&] { writeFile(preproc, readFile(preproc).substr(0, 3000)); },
       "the file is truncated or its compression is corrupt"},
      {"3-D run",
       [&] {
         standin::NiftiImage image;
         image.dims = {8, 8, 8, 0};
         image.stored.assign(512, 1.0);
         std::string why;
         ASSERT_TRUE(standin::writeNiftiImage(preproc, image, &why)) << why;
       },
       "a 3-D image (8 x 8 x 8), not a time course"},
      {"no events", [&] { fs::remove(func + "_events.tsv"); }, "cannot open"},
      {"events past the run's end",
       [&] { writeFile(func + "_events.tsv", "onset\tduration\ttrial_type\n170\t2\tAttend\n"); },
       "starts after the run's end (80 volumes of 2 s end at 160 s)"},
      {"confounds without rotations",
       [&] { writeFile(derived + "_desc-confounds_timeseries.tsv", "trans_x\ttrans_y\ttrans_z\n"); },
       "lack the columns rot_x, rot_y, rot_z"},
      {"confounds of another run",
       [&] {
         const std::string path = derived + "_desc-confounds_timeseries.tsv";
         std::string text = readFile(path);
         writeFile(path, text.substr(0, text.rfind('\n', text.size() - 2) + 1));
       },
       "79 rows of confounds for a time course of 80 volumes"},
      {"run on another grid",
       [&] {
         standin::TimeCourse tc;
         tc.nrOfVolumes = 80;
         tc.xEnd = 9, tc.yEnd = 8, tc.zEnd = 8;
         tc.floatSamples.assign(9 * 8 * 8 * 80, 1.0f);
         std::string why;
         ASSERT_TRUE(standin::writeNiftiImage(preproc, standin::niftiFromTimeCourse(tc), &why));
       },
       "the mask's grid (8 x 8 x 8) is not the time course's (9 x 8 x 8)"},
      {"two preprocessed spaces",
       [&] {
         fs::copy_file(preproc, derived + "_space-other_desc-preproc_bold.nii.gz");
       },
       "several preprocessed runs to choose from"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScopedWorkingDirectory dir;
    demo::StudyOptions options;
    options.subjects = 2;
    options.volumes = 80;
    options.bids = true;
    std::string why;
    ASSERT_TRUE(demo::generateStudy("bids", options, &why)) << why;
    row.breakIt();
    demo::BidsStudy study;
    ASSERT_TRUE(demo::makeBidsStudy(studyOptions("bids", "study"), study, &why)) << why;
    ASSERT_EQ(study.runs.size(), 2u);
    EXPECT_TRUE(study.runs[0].reason.empty()) << study.runs[0].reason;
    EXPECT_NE(study.runs[1].reason.find(row.why), std::string::npos) << study.runs[1].reason;
    const auto listed = lines(readFile("study/study.ppi"));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_TRUE(contains(listed[0], "sub-01_task-demo")) << listed[0];
    EXPECT_TRUE(contains(readFile("study/skipped.txt"), "sub-02_task-demo\t"));
    EXPECT_FALSE(fs::exists("study/sub-02"));
    const std::string session = readFile("study/study.session");
    EXPECT_FALSE(contains(session, "sub-02")) << session;
    EXPECT_TRUE(contains(session, "expect-int nr_subs 1"));
  }
}

TEST(BidsStudy, RefusesAStudyWithoutAUsableRunOrContrast) {
  REQUIRE_NIFTI();
  ScopedWorkingDirectory dir;
  demo::StudyOptions generate;
  generate.subjects = 1;
  generate.volumes = 40;
  generate.bids = true;
  std::string why;
  ASSERT_TRUE(demo::generateStudy("bids", generate, &why)) << why;
  struct Row {
    const char* name;
    std::function<void(demo::BidsStudyOptions&)> change;
    const char* why;
  };
  const Row rows[] = {
      {"another task", [](auto& o) { o.task = "rest"; }, "no run of the task \"rest\""},
      {"a condition not in the events", [](auto& o) { o.plus = {"attend"}; },
       "the contrast's condition \"attend\" is not among the conditions"},
      {"no contrast", [](auto& o) { o.plus.clear(); o.minus.clear(); }, "needs a contrast"},
      {"no such seed", [](auto& o) { o.seedLabel = "Amygdala"; }, "has no region \"Amygdala\""},
      {"seed not chosen among three", [](auto& o) { o.seedLabel.clear(); },
       "holds 3 regions: choose the seed with --seed-label"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    demo::BidsStudyOptions options = studyOptions("bids", "study-" + std::string(row.name));
    row.change(options);
    demo::BidsStudy study;
    EXPECT_FALSE(demo::makeBidsStudy(options, study, &why));
    bool found = contains(why, row.why);
    for (const demo::BidsRun& run : study.runs) found = found || contains(run.reason, row.why);
    EXPECT_TRUE(found) << why;
    EXPECT_FALSE(fs::exists(options.out + "/study.ppi"));
  }
  // Chosen by its label number, the seed is the same region; Null is label 3.
  for (const char* label : {"1", "3", "Null"}) {
    SCOPED_TRACE(label);
    demo::BidsStudyOptions byLabel = studyOptions("bids", "study");
    byLabel.seedLabel = label;
    demo::BidsStudy study;
    ASSERT_TRUE(demo::makeBidsStudy(byLabel, study, &why)) << why;
    EXPECT_TRUE(contains(readFile("study/study.ppi"),
                         std::string("_dseg.nii.gz\t") + (label[0] == '1' ? "0" : "2") + "\n"));
  }
}

}  // namespace
