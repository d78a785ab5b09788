// "Start", the analysis run, through the fake host.
#include <gtest/gtest.h>

#include "commands/guilists.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "run/regiontimecourse.h"
#include "run/regressors.h"
#include "commands/guilists.h"
#include "commands/handlers.h"
#include "design/runsettings.h"
#include "common/checksum.h"
#include "common/filelayer.h"
#include "standin/designfile.h"
#include "run/readsettings.h"
#include "tests/support/runstudy.h"
#include "tests/support/studyfixture.h"
#include "tests/formats/sdmfiles.h"

namespace {

using analysistest::convolvedBoxCar;
using analysistest::Names;
using analysistest::numberedSubject;
using analysistest::plainRegionTimeCourse;
using analysistest::predictorValues;
using analysistest::SubjectSetup;
using testsupport::PluginHarness;
using analysistest::motionFiles;
using analysistest::numbered;
using analysistest::Study;

TEST(RunAnalysis, PredictorsValuesAndDefaultNameOfOneSubject) {
  // Conditions Faces, Houses, Face: "Face" occurs inside the earlier entry for
  // "Faces" and takes its weight. The region is "V" in the file FFA.voi.
  // `halves` puts it on a 2 mm grid, in grid space at halves +1, +3 and -1 from
  // the starts, the far corner, and two voxels outside.
  using Voxel = std::array<std::int32_t, 3>;
  static const Voxel inGrid[] = {{101, 90, 110}, {103, 93, 111}, {99, 89, 109}, {108, 98, 118},
                                 {97, 90, 110},  {104, 95, 112}, {109, 90, 110}};
  auto halves = [](std::int32_t dataType, std::int32_t code) {
    return [=](SubjectSetup& s, standin::HostModel&) {
      s.grid = {100, 90, 110, 5, 5, 5, 2, 24, dataType};
      s.coordinateSystem = code;
      s.regions[0].voxels.clear();
      for (Voxel v : inGrid) {
        // Code 3 stores (c0, c1, c2) for the grid-space voxel (128 - c1, 128 - c2, 128 - c0).
        if (code == 3) v = {128 - v[2], 128 - v[0], 128 - v[1]};
        s.regions[0].voxels.push_back(v);
      }
    };
  };
  using Cars = std::vector<std::vector<float>>;  // weights of the box-car predictors
  const Names standard = {"PPI_V", "Psychological regressor", "Complementary regressor",
                          "V_predictor", "Constant"};
  const Cars standardCars = {{1, -1, 1}, {1, -1, 1}, {1, 1, 1}};
  const Names oneSign = {"PPI_V", "Psychological regressor", "V_predictor", "Constant"};
  const Cars oneSignCars = {{1, 1, 1}, {1, 1, 1}};
  const struct {
    Names predictors;
    Cars cars;
    std::string defaultName;
    std::function<void(SubjectSetup&, standin::HostModel&)> change;
  } rows[] = {
      {standard, standardCars, "standPPI_run1_FFA", [](auto&, auto&) {}},
      {oneSign, oneSignCars, "standPPI_run1_FFA",
       [](auto&, auto& m) { m.stringParameters["CondID-1"] = "Houses list2"; }},
      {oneSign, Cars{{-1, 0, -1}, {-1, 0, -1}}, "standPPI_run1_FFA",
       [](auto&, auto& m) {
         m.stringParameters["CondID-0"] = "Faces list0";
         m.stringParameters["CondID-1"] = "Houses list1";
       }},
      {Names{"PPI_Houses_L", "PPI_Face_L", "Houses", "Face", "L_predictor", "Constant"},
       Cars{{0, 1, 0}, {0, 0, 1}, {0, 1, 0}, {0, 0, 1}}, "genPPI_run1_L",
       [](auto&, auto& m) {
         m.intParameters = {{"whichapproach", 1}, {"baseline", 1}, {"changePredName", 1}};
         m.textAnswers.push_back({true, "L"});
       }},
      {Names{"V_predictor", "Constant"}, Cars{}, "genPPI_run1_FFA",
       [](auto&, auto& m) {
         m.intParameters = {{"whichapproach", 1}, {"baseline", 3}};
       }},
      {standard, standardCars, "genPPI_run1_FFA",
       [](auto&, auto& m) { m.intParameters["whichapproach"] = 2; }},
      {standard, standardCars, "standPPI_a.vtc_FFA.voi",
       [](auto& s, auto&) { s.vtcPath = "/data/a.vtc.vtc", s.voiPath = "/data/FFA.voi.voi"; }},
      {standard, standardCars, "standPPI_RUN.VTC_FFA.VOI",
       [](auto& s, auto&) { s.vtcPath = "/data/RUN.VTC", s.voiPath = "/data/FFA.VOI"; }},
      {standard, standardCars, "standPPI_run1_FFA", halves(1, 1)},
      {standard, standardCars, "standPPI_run1_FFA", halves(1, 3)},
      {standard, standardCars, "standPPI_run1_FFA", halves(2, 3)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(&row - rows);
    SubjectSetup setup = numberedSubject(1, {"Faces", "Houses", "Face"});
    setup.regions[0].name = "V";
    PluginHarness harness;
    standin::HostModel& model = harness.model;
    const Names contrast = {"Faces list2", "Houses list0", "Face list1"};
    for (int n = 0; n < 3; ++n) model.stringParameters["CondID-" + std::to_string(n)] = contrast[n];
    row.change(setup, model);
    analysistest::addSubject(harness, setup);
    model.saveFileAnswers.push_back({true, "out.sdm"});
    // A design without a PPI term is saved as asked, but the run does not complete.
    const bool ppiTerm = row.predictors.front().rfind("PPI_", 0) == 0;
    ASSERT_EQ(harness.run("Start"), ppiTerm);

    Names names;
    for (const standin::Predictor& p : model.designMatrix()) names.push_back(p.name);
    ASSERT_EQ(names, row.predictors);
    const std::vector<float> region = plainRegionTimeCourse(setup);
    for (std::size_t p = 0; p < row.cars.size(); ++p) {
      const bool ppi = row.predictors[p].rfind("PPI_", 0) == 0;
      EXPECT_EQ(predictorValues(model, row.predictors[p]),
                convolvedBoxCar(setup, row.cars[p], ppi ? region : std::vector<float>{}))
          << row.predictors[p];
    }
    EXPECT_EQ(predictorValues(model, row.predictors.end()[-2]), region);
    EXPECT_EQ(predictorValues(model, "Constant"), std::vector<float>(24, 1.0f));
    EXPECT_EQ(model.callsTo("nkGetSaveFileName").at(0).arguments[1], row.defaultName);
    EXPECT_TRUE(model.callsTo("nkYesNoMessageBox").empty());
    // What has an error is never listed.
    EXPECT_EQ(model.stringParameters["SDMFileList"], ppiTerm ? "out.sdm" : "");
    EXPECT_EQ(model.intParameters["nr_subs"], ppiTerm ? 1 : 0);
    EXPECT_EQ(model.stringParameters["mdmFileName"], "");
    EXPECT_TRUE(model.canariesIntact());
  }
}

TEST(RunAnalysis, TwoRunsPublishTheirOwnFilesAndSubjectsKeepTheirOwnProtocols) {
  // Neither time course links a protocol; the second one's is the host's
  // current protocol when the run starts. The second region is the second of
  // its file, in coordinate system 3.
  std::vector<SubjectSetup> setups = numbered(2);
  setups[0].protocolPath = "/data/p1.prt";
  setups[1].protocolPath = "/data/p2.prt";
  setups[1].protocol.conditions[0].intervals = {{15, 20}};
  setups[1].coordinateSystem = 3;
  setups[1].regions = {{"V1", {{10, 20, 30}}}, {"FFA", {{15, 25, 34}, {14, 28, 37}, {16, 19, 32}}}};
  setups[1].chosenVOI = 1;
  Study study(setups);
  standin::HostModel& model = study.model;
  model.intParameters["addMoCo"] = 2;  // only 1 merges the motion predictors
  study.answerSaves({"one.sdm", "two.sdm"});
  ASSERT_TRUE(study.harness.run("Start"));
  EXPECT_EQ(model.stringParameters["SDMFileList"], "one.sdm\ntwo.sdm");
  EXPECT_EQ(model.intParameters["nr_subs"], 2);
  EXPECT_EQ(model.callsTo("nkGetSaveFileName").at(1).arguments[1], "standPPI_run2_FFA");
  EXPECT_TRUE(model.callsTo("nkGetOpenFileName").empty());

  const auto first = standin::readDesignMatrixFile("one.sdm");
  ASSERT_TRUE(first);
  const std::vector<float> expected = convolvedBoxCar(setups[0], {1, -1, 0});
  for (std::size_t t = 0; t < 24; ++t) EXPECT_NEAR(first->columns.at(1).at(t), expected[t], 1e-4);
  EXPECT_EQ(predictorValues(model, "Psychological regressor"),
            convolvedBoxCar(setups[1], {1, -1, 0}));
  EXPECT_EQ(predictorValues(model, "FFA_predictor"), plainRegionTimeCourse(setups[1]));

  model.yesNoAnswers.push_back(true);
  study.answerSaves({"b1.sdm", "b2.sdm"});
  ASSERT_TRUE(study.harness.run("Start"));
  EXPECT_EQ(model.stringParameters["SDMFileList"], "b1.sdm\nb2.sdm");

  model.protocols.erase("/data/p1.prt");
  model.yesNoAnswers.push_back(true);
  EXPECT_FALSE(study.harness.run("Start"));
  EXPECT_EQ(model.log.back(),
            "Plugin> Could not load the PRT file /data/p1.prt again. Prepare PPI Plugin aborted.");
}

TEST(RunAnalysis, MultiStudyModeSavesBesideTheMultiStudyFileUnderDistinctNames) {
  // Subject 2's default name is subject 1's merged one; subjects 3 and 4 give
  // subject 1's default name, the last in other letter case.
  std::vector<SubjectSetup> setups = numbered(4);
  setups[1].vtcPath = "/data/s02/run1.vtc";
  setups[1].voiPath = "/data/s02/FFA_3DMC_z.voi";
  setups[2].vtcPath = "/data/s03/run1.vtc";
  setups[3].vtcPath = "/data/s04/RUN1.vtc";
  Study study(setups);
  std::filesystem::create_directory("group");
  standin::HostModel& model = study.model;
  model.intParameters["saveMDM"] = 1;
  model.intParameters["addMoCo"] = 1;
  model.intParameters["zMC"] = 1;
  study.answerSaves({"group/Multistudy_PPI.mdm"});
  motionFiles(model, 4);
  ASSERT_TRUE(study.harness.run("Start"));

  EXPECT_EQ(model.callsTo("nkGetSaveFileName").size(), 1u);
  EXPECT_EQ(model.callsTo("nkGetOpenFileName").at(1).arguments[1], "/data/s02");
  EXPECT_EQ(model.stringParameters["mdmFileName"], "group/Multistudy_PPI.mdm");
  const Names saved = {"group/standPPI_run1_FFA", "group/standPPI_run1_FFA_3DMC_z_2",
                       "group/standPPI_run1_FFA_2", "group/standPPI_RUN1_FFA_3"};
  std::string list;
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(model.savedDesignMatrices.at(i), saved[i] + ".sdm");
    list += (i == 0 ? "" : "\n") + saved[i] + "_3DMC_z.sdm";
  }
  EXPECT_EQ(model.stringParameters["SDMFileList"], list);
  EXPECT_EQ(model.intParameters["nr_subs"], 4);
  const auto merged = standin::readDesignMatrixFile(saved[3] + "_3DMC_z.sdm");
  ASSERT_TRUE(merged);
  EXPECT_EQ(merged->names.size(), 5u + 6u);
}

TEST(RunAnalysis, PathsLongerThanTheHostRecordsHoldRunWhole) {
  // The host's records keep 263 characters of a path; the plug-in accepts 300.
  std::vector<SubjectSetup> setups = numbered(1);
  const std::string folder = "/data/" + std::string(270, 'd') + "/";
  setups[0].vtcPath = folder + "run1.vtc";
  setups[0].voiPath = folder + "FFA.voi";
  Study study(setups);
  study.answerSaves({"one.sdm"});
  ASSERT_TRUE(study.harness.run("Start"));
  EXPECT_EQ(study.model.callsTo("nkLinkVTCToCurrentVMR").at(0).arguments.at(0), setups[0].vtcPath);
  EXPECT_EQ(study.model.callsTo("nkGetSaveFileName").at(0).arguments.at(1), "standPPI_run1_FFA");
  const auto& log = study.model.log;
  EXPECT_NE(std::find(log.begin(), log.end(), "Plugin> Running analysis for: " + setups[0].vtcPath),
            log.end());
}

TEST(RunAnalysis, ADesignMatrixNotSavedWholeStopsTheRunAndIsRemoved) {
  namespace fs = std::filesystem;
  const std::string aborted = "Prepare PPI Plugin aborted.";
  const struct {
    const char* name;
    std::function<void(standin::HostModel&)> change;
    std::string line;    // logged last (its beginning)
    bool directoryLeft;  // a directory stood at the path and stays
  } rows[] = {
      {"cut in a row (a full disk)",
       [](auto& m) {
         m.designMatrixWriter = [write = m.designMatrixWriter](const auto& path, const auto& d) {
           if (!write(path, d) || path != "two.sdm") return true;
           fs::resize_file(path, fs::file_size(path) * 2 / 3);
           return true;
         };
       },
       "Plugin> The design matrix saved to two.sdm is incomplete (row ", false},
      {"cut in the header",
       [](auto& m) {
         m.designMatrixWriter = [write = m.designMatrixWriter](const auto& path, const auto& d) {
           if (write(path, d) && path == "two.sdm") fs::resize_file(path, 40);
           return true;
         };
       },
       "Plugin> The design matrix saved to two.sdm is incomplete (its header is incomplete) and "
       "was removed. " +
           aborted,
       false},
      {"a predictor short",
       [](auto& m) {
         m.designMatrixWriter = [write = m.designMatrixWriter](const auto& path, auto design) {
           if (path == "two.sdm") design.pop_back();
           return write(path, design);
         };
       },
       "Plugin> The design matrix saved to two.sdm is incomplete (it holds 4 predictors instead "
       "of 5) and was removed. " +
           aborted,
       false},
      // Whole, but not what the plug-in set: another run's contrast written in
      // its place, or the predictors in another order.
      {"another contrast in the file",
       [](auto& m) {
         m.designMatrixWriter = [write = m.designMatrixWriter](const auto& path, auto design) {
           if (path == "two.sdm") {
             for (std::size_t v = 0; v < design[1].values.size(); ++v) {
               design[1].values[v] = -design[1].values[v];
             }
           }
           return write(path, design);
         };
       },
       "Plugin> The design matrix saved to two.sdm is not the one the plug-in set (predictor "
       "\"Psychological regressor\" holds ",
       false},
      {"predictors in another order",
       [](auto& m) {
         m.designMatrixWriter = [write = m.designMatrixWriter](const auto& path, auto design) {
           if (path == "two.sdm") std::swap(design[0], design[1]);
           return write(path, design);
         };
       },
       "Plugin> The design matrix saved to two.sdm is not the one the plug-in set (predictor 1 "
       "is \"Psychological regressor\" instead of \"PPI_",
       false},
      {"a directory at the path", [](auto&) { fs::create_directory("two.sdm"); },
       "Plugin> two.sdm is not a file; the design matrix cannot be saved there. " + aborted, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Study study(3);
    study.answerSaves({"one.sdm", "two.sdm", "three.sdm"});
    row.change(study.model);
    EXPECT_FALSE(study.harness.run("Start"));
    EXPECT_EQ(study.model.log.back().substr(0, row.line.size()), row.line);
    EXPECT_TRUE(study.unpublished());
    EXPECT_EQ(fs::is_directory("two.sdm"), row.directoryLeft);
    EXPECT_EQ(fs::exists("two.sdm"), row.directoryLeft);
    EXPECT_TRUE(fs::is_regular_file("one.sdm"));
    EXPECT_EQ(study.harness.plugin.state.savedDesignFiles.size(), 1u);
  }
}

TEST(RunAnalysis, StopsBeforeAnySubjectOrAtTheSecondOfThree) {
  const std::string aborted = "Prepare PPI Plugin aborted.";
  const std::string noFiles = "Plugin> No files selected, plugin finished.";
  const std::string noName = "PPI Plugin> No SDM file name selected. " + aborted;
  const std::string notSaved = "Plugin> The design matrix was not saved to two.sdm; " + aborted;
  const struct {
    std::function<void(standin::HostModel&)> change;
    std::string line;  // logged last (its beginning)
    bool atSecond;     // false: before the first subject
    std::function<void(std::vector<SubjectSetup>&)> setup = nullptr;  // before "AddSubject"
  } rows[] = {
      {[](auto& m) {
         m.intParameters["saveMDM"] = 1;
         m.saveFileAnswers.clear();
       },
       noName, false},
      {[](auto& m) { m.stringParameters["VTCFileList"] = "run1.vtc\nrun2.vtc"; }, noFiles, false},
      {[](auto& m) { m.stringParameters["VTCFileList"] = "ab"; }, noFiles, false},
      {[](auto& m) { m.yesNoAnswers = {false}; }, "Plugin> Prepare PPI Plugin aborted", false},
      {[](auto& m) {
         m.intParameters["changePredName"] = 1;
         m.textAnswers.push_back({true, std::string(291, 'L')});
       },
       "Plugin> The label text has 291 characters, more than the 290", false},
      {[](auto& m) {
         m.intParameters["saveMDM"] = 1;
         m.saveFileAnswers.push_front({true, std::string(301, 'm')});
       },
       "Plugin> The multi-study path " + std::string(301, 'm') + " is longer than 300", false},
      // Line feeds past one part's length: the list counts more entries than subjects.
      {[](auto& m) { m.stringParameters["VTCFileList"] += std::string(4990, '\n'); }, noFiles,
       false},
      {[](auto& m) { m.regionFiles.erase("/data/s02/FFA.voi"); },
       "Plugin> Could not load VOI file. " + aborted, true},
      {[](auto& m) { m.timeCourses.erase("/data/s02/run2.vtc"); },
       "Plugin> failed to load VTC file, Prepare PPI Plugin aborted", true},
      {[](auto& m) { m.saveFileAnswers.resize(1); }, noName, true},
      // The motion dialog of the second subject is cancelled.
      {[](auto& m) {
         m.intParameters["addMoCo"] = 1;
         motionFiles(m, 1);
       },
       noName, true},
      {[](auto& m) { m.timeCourses["/data/s02/run2.vtc"].nrOfVolumes = 30; },
       "Plugin> The VTC file /data/s02/run2.vtc is not the one added to the list", true},
      {[](auto& m) {
         auto& samples = m.timeCourses["/data/s02/run2.vtc"].intSamples;
         std::fill(samples.begin(), samples.end(), std::int16_t{5});
       },
       "Plugin> The region signal of the VOI \"FFA\" in /data/s02/run2.vtc is constant", true},
      // The host writes nothing, and an earlier run's file at the path does
      // not pass for this subject's.
      {[](auto& m) {
         testsupport::writeFile("two.sdm", "an earlier run's design matrix\n");
         m.designMatrixWriter = [write = m.designMatrixWriter](const auto& path,
                                                               const auto& design) {
           return path != "two.sdm" && write(path, design);
         };
       },
       notSaved, true},
      {[](auto& m) { m.saveFileAnswers[1].text = "/" + std::string(300, 'p'); },
       "Plugin> The chosen path /" + std::string(300, 'p') + " is longer than 300", true},
      {[](auto& m) { m.intParameters["whichapproach"] = 1; },
       "Plugin> The predictor name \"PPI_" + std::string(280, 'c') + "_" + std::string(15, 'v') +
           "...\" would be longer than 300",
       true,
       [](std::vector<SubjectSetup>& setups) {
         setups[1].protocol.conditions[2].name = std::string(280, 'c');
         setups[1].regions[0].name = std::string(20, 'v');
       }},
      // The protocol changed after the subject was added.
      {[](auto& m) { m.protocols["/data/s02/run2.vtc.prt"].conditions[2].name = "Resting"; },
       "Plugin> Subject 2: condition 3 of the protocol linked to /data/s02/run2.vtc was \"Rest\" "
       "when the subject was added and is \"Resting\" now. " +
           aborted,
       true},
      {[](auto& m) { m.protocols.erase("/data/s02/run2.vtc.prt"); },
       "Plugin> Subject 2: the host cannot give the protocol linked to /data/s02/run2.vtc. " +
           aborted,
       true},
      {[](auto& m) { m.protocols["/data/s02/run2.vtc.prt"].conditions.pop_back(); },
       "Plugin> Subject 2: the protocol linked to /data/s02/run2.vtc had 3 conditions when the "
       "subject was added and has 2 now. " +
           aborted,
       true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    std::vector<SubjectSetup> setups = numbered(3);
    if (row.setup) row.setup(setups);
    Study study(setups);
    study.answerSaves({"one.sdm", "two.sdm", "three.sdm"});
    row.change(study.model);
    EXPECT_FALSE(study.harness.run("Start"));
    EXPECT_EQ(study.model.log.back().substr(0, row.line.size()), row.line);
    EXPECT_TRUE(study.unpublished());
    EXPECT_EQ(study.model.callsTo("nkLinkVTCToCurrentVMR").size(), row.atSecond ? 2u : 0u);

    const auto& saved = study.harness.plugin.state.savedDesignFiles;
    ASSERT_EQ(saved.size(), row.atSecond ? 1u : 0u);
    for (const auto& path : saved) EXPECT_GT(std::filesystem::file_size(path.c_str()), 0u);
    EXPECT_TRUE(study.model.canariesIntact());
  }
}

TEST(RunAnalysis, PublishesAListOfSavedFilesPastOnePartInParts) {
  // Seventeen paths of 299 characters and their line feeds exceed 4999:
  // sixteen fill "SDMFileList", the last is "SDMFileList-2".
  Study study(17);
  const std::string folder = "d/" + std::string(140, 'x') + "/" + std::string(140, 'y') + "/";
  std::filesystem::create_directories(folder);
  std::vector<std::string> paths;
  for (int i = 1; i <= 17; ++i) {
    const std::string name = folder + std::to_string(100 + i) + "_";
    paths.push_back(name + std::string(299 - name.size() - 4, 'z') + ".sdm");
    study.answerSaves({paths.back()});
  }
  study.model.stringParameters["SDMFileList-3"] = "an earlier run's third part";
  study.model.intParameters["SDMFileList-parts"] = 3;
  EXPECT_TRUE(study.harness.run("Start"));
  std::string first;
  for (int i = 0; i < 16; ++i) first += (i > 0 ? "\n" : "") + paths[static_cast<std::size_t>(i)];
  EXPECT_EQ(study.model.stringParameters["SDMFileList"], first);
  EXPECT_EQ(study.model.stringParameters["SDMFileList-2"], paths.back());
  EXPECT_EQ(study.model.stringParameters["SDMFileList-3"], "");
  EXPECT_EQ(study.model.intParameters["SDMFileList-parts"], 2);
  EXPECT_EQ(study.model.intParameters["nr_subs"], 17);
  EXPECT_EQ(ppi::commands::readGuiList("SDMFileList"), first + "\n" + paths.back());
}

}  // namespace

namespace {

// Dialog mode, three subjects whose time courses share a file name
// (/data/a/run1.vtc, /data/b/run1.vtc, /data/c/run1.vtc): the dialog never
// proposes a name an earlier subject of the run saved to, and a file another
// subject wrote is refused and asked for again.
TEST(RunAnalysis, DialogNamesNeverCollideWithinARun) {
  const struct {
    const char* name;
    analysistest::Names answers;   // the save dialog's answers, in order
    analysistest::Names proposed;  // what the dialog proposed each time
    bool completed;
    std::string listed;  // "SDMFileList"
    std::size_t refusals;  // message boxes that refuse a file
  } rows[] = {
      {"each proposal accepted",
       {"standPPI_run1_FFA.sdm", "standPPI_run1_FFA_2.sdm", "standPPI_run1_FFA_3.sdm"},
       {"standPPI_run1_FFA", "standPPI_run1_FFA_2", "standPPI_run1_FFA_3"},
       true,
       "standPPI_run1_FFA.sdm\nstandPPI_run1_FFA_2.sdm\nstandPPI_run1_FFA_3.sdm",
       0},
      {"names of the user's own, one proposal taken by the user",
       {"standPPI_run1_FFA_2.sdm", "x.sdm", "y.sdm"},
       {"standPPI_run1_FFA", "standPPI_run1_FFA", "standPPI_run1_FFA"},
       true,
       "standPPI_run1_FFA_2.sdm\nx.sdm\ny.sdm",
       0},
      {"subject 1's file chosen again, then another",
       {"one.sdm", "one.sdm", "ONE.sdm", "two.sdm", "three.sdm"},
       {"standPPI_run1_FFA", "standPPI_run1_FFA", "standPPI_run1_FFA", "standPPI_run1_FFA",
        "standPPI_run1_FFA"},
       true,
       "one.sdm\ntwo.sdm\nthree.sdm",
       2},
      {"subject 1's file chosen again, then cancelled",
       {"one.sdm", "one.sdm"},
       {"standPPI_run1_FFA", "standPPI_run1_FFA", "standPPI_run1_FFA"},
       false,
       "before",
       1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<SubjectSetup> setups;
    for (const char* folder : {"a", "b", "c"}) {
      SubjectSetup setup = analysistest::numberedSubject(static_cast<int>(setups.size()) + 1);
      setup.vtcPath = std::string("/data/") + folder + "/run1.vtc";
      setups.push_back(setup);
    }
    Study study(setups);
    study.answerSaves(row.answers);
    study.model.messageBoxes.clear();  // the note of the second "AddSubject"
    EXPECT_EQ(study.harness.run("Start"), row.completed);
    std::vector<std::string> proposed;
    for (const auto& call : study.model.callsTo("nkGetSaveFileName")) {
      proposed.push_back(call.arguments.at(1));
    }
    EXPECT_EQ(proposed, row.proposed);
    EXPECT_EQ(study.model.stringParameters["SDMFileList"], row.listed);
    EXPECT_EQ(study.model.messageBoxes.size(), row.refusals);
    for (const std::string& box : study.model.messageBoxes) {
      EXPECT_NE(box.find("was written for another subject of this run"), std::string::npos) << box;
    }
    EXPECT_TRUE(study.model.saveFileAnswers.empty()) << "every answer asked for";
  }
}

}  // namespace
