#include "analysis/runanalysis.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "standin/designfile.h"
#include "tests/analysis/studyfixture.h"
#include "tests/confounds/sdmfiles.h"

namespace {

using analysistest::logHas;
using analysistest::logHasPart;
using analysistest::SubjectSetup;
using testsupport::PluginHarness;
using Names = std::vector<std::string>;

// Subject i (from 1): /data/s0i/runi.vtc with FFA.voi, standard approach.
SubjectSetup numberedSubject(int i) {
  SubjectSetup setup;
  const std::string folder = "/data/s0" + std::to_string(i) + "/";
  setup.vtcPath = folder + "run" + std::to_string(i) + ".vtc";
  setup.voiPath = folder + "FFA.voi";
  setup.grid = analysistest::GridSetup{100, 90, 110, 4, 3, 2, 3, 24, i % 2 == 0 ? 1 : 2};
  setup.sample = [i](int x, int y, int z, int t) {
    return analysistest::scatteredSample(x + i, y, z, t * i);
  };
  setup.protocol = analysistest::threeConditions();
  setup.regions = {analysistest::regionOfCells("FFA", setup.grid, {{0, 0, 0}, {2, 1, 1}})};
  return setup;
}

// A harness with `count` numbered subjects, contrast entries, and the
// published results set to values a run must not leave alone when it stops.
struct Study {
  explicit Study(int count) {
    for (int i = 1; i <= count; ++i) analysistest::addSubject(harness, numberedSubject(i));
    model.stringParameters["CondID-0"] = "Faces list2";
    model.stringParameters["CondID-1"] = "Houses list0";
    model.stringParameters["CondID-2"] = "Rest list1";
    model.stringParameters["SDMFileList"] = "before";
    model.intParameters["nr_subs"] = -7;
    model.yesNoAnswers.push_back(true);
  }
  void answerSaves(const Names& paths) {
    for (const std::string& path : paths) model.saveFileAnswers.push_back({true, path});
  }
  bool unpublished() const {
    return model.stringParameters.at("SDMFileList") == "before" &&
           model.intParameters.at("nr_subs") == -7;
  }
  std::size_t linksOf(const std::string& path) const {
    std::size_t links = 0;
    for (const standin::HostCall& call : model.callsTo("nkLinkVTCToCurrentVMR")) {
      links += call.arguments[0] == path ? 1 : 0;
    }
    return links;
  }

  PluginHarness harness;
  standin::HostModel& model = harness.model;
};

TEST(CountListEntries, CountsLineFeedsAndTheTextAfterThem) {
  struct Row {
    const char* list;
    std::size_t entries;
  };
  const Row rows[] = {
      {"", 0},       {"a", 0},        {"ab", 0},       {"abc", 1},
      {"a\nb", 2},   {"\n", 1},       {"a\n", 1},      {"ab\n", 2},
      {"a\n\nb", 2}, {"a\n\n\nb", 3}, {"run1.vtc", 1}, {"run1.vtc\nrun2.vtc\nrun3.vtc", 3},
      {"\n\n", 1},   {"x\ny\n", 3},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.list);
    EXPECT_EQ(ppi::countListEntries(row.list), row.entries);
  }
}

TEST(RunAnalysis, PublishesTheSavedDesignMatricesAfterEverySubject) {
  Study study(3);
  study.answerSaves({"one.sdm", "two.sdm", "three.sdm"});
  ASSERT_TRUE(study.harness.run("Start"));
  standin::HostModel& model = study.model;

  EXPECT_EQ(model.stringParameters["SDMFileList"], "one.sdm\ntwo.sdm\nthree.sdm");
  EXPECT_EQ(model.intParameters["nr_subs"], 3);
  EXPECT_EQ(model.stringParameters["mdmFileName"], "");
  ASSERT_EQ(model.callsTo("nkYesNoMessageBox").size(), 1u);
  EXPECT_EQ(model.callsTo("nkYesNoMessageBox")[0].arguments[0],
            "Multiple files detected (3). Preparations will be run for each file. Continue?");
  EXPECT_TRUE(logHas(model, "Plugin> 3 files found in list.\n"));
  for (int i = 1; i <= 3; ++i) {
    const std::string vtc = "/data/s0" + std::to_string(i) + "/run" + std::to_string(i) + ".vtc";
    EXPECT_EQ(study.linksOf(vtc), 1u);
    EXPECT_TRUE(logHas(model, "Plugin> Running analysis for: " + vtc));
  }
  const auto saves = model.callsTo("nkGetSaveFileName");
  ASSERT_EQ(saves.size(), 3u);
  EXPECT_EQ(saves[1].arguments, (Names{"Select a file to save the design matrix (.*SDM) ",
                                       "standPPI_run2_FFA", "*.sdm"}));
  EXPECT_TRUE(logHas(model, "Plugin> Design matrix saved as: ./three.sdm"));
  for (const char* file : {"one.sdm", "two.sdm", "three.sdm"}) {
    EXPECT_GT(std::filesystem::file_size(file), 0u) << file;
  }
  ASSERT_EQ(study.harness.plugin.savedDesignFiles.size(), 3u);
  EXPECT_EQ(study.harness.plugin.savedDesignFiles[2].view(), "three.sdm");

  // The subject's lines, in order, end with the closing line and a blank one.
  const auto last = model.log.end();
  ASSERT_GE(model.log.size(), 3u);
  EXPECT_EQ(*(last - 3), "Plugin> Design matrix saved as: ./three.sdm");
  EXPECT_EQ(*(last - 2), "Plugin> Construction of PPI regressors finished.");
  EXPECT_EQ(*(last - 1), " ");
  EXPECT_TRUE(model.canariesIntact());
}

TEST(RunAnalysis, RunsOverSubjectsAddedByTheCommands) {
  PluginHarness harness;
  standin::HostModel& model = harness.model;
  std::vector<SubjectSetup> setups = {numberedSubject(1), numberedSubject(2)};
  setups[1].coordinateSystem = 3;
  setups[1].regions = {standin::Region{"V1", {{10, 20, 30}, {0, 0, 0}}},
                       standin::Region{"FFA", {{15, 25, 34}, {14, 28, 37}, {16, 19, 32}}}};
  setups[1].chosenVOI = 1;
  for (const SubjectSetup& setup : setups) {
    analysistest::registerDocuments(model, setup);
    model.openFileAnswers.push_back({true, setup.vtcPath});
    model.openFileAnswers.push_back({true, setup.voiPath});
  }
  model.integerAnswers.push_back(1);
  ASSERT_TRUE(harness.run("AddSubject"));
  ASSERT_TRUE(harness.run("AddSubject"));
  ASSERT_EQ(harness.plugin.subjectCount, 2);
  model.stringParameters["CondID-0"] = "Faces list2";
  model.yesNoAnswers.push_back(true);
  model.saveFileAnswers = {{true, "one.sdm"}, {true, "two.sdm"}};
  ASSERT_TRUE(harness.run("Start"));
  EXPECT_EQ(model.stringParameters["SDMFileList"], "one.sdm\ntwo.sdm");
  // The last subject's design matrix stays in the host.
  EXPECT_EQ(analysistest::predictorValues(model, "FFA_predictor"),
            analysistest::plainRegionTimeCourse(setups[1]));
  EXPECT_TRUE(model.canariesIntact());
}

TEST(RunAnalysis, EachSubjectGetsTheProtocolChosenForIt) {
  // Two time courses without protocols of their own; the second subject's
  // protocol is the host's current one when the run starts.
  PluginHarness harness;
  standin::HostModel& model = harness.model;
  std::vector<SubjectSetup> setups = {numberedSubject(1), numberedSubject(2)};
  setups[1].protocol.conditions[0].intervals = {{15, 20}};
  for (std::size_t i = 0; i < setups.size(); ++i) {
    analysistest::registerDocuments(model, setups[i]);
    standin::TimeCourse& timeCourse = model.timeCourses[setups[i].vtcPath];
    const std::string protocolPath = "/data/p" + std::to_string(i + 1) + ".prt";
    model.protocols[protocolPath] = setups[i].protocol;
    timeCourse.linkedProtocol.clear();
    model.openFileAnswers.push_back({true, setups[i].vtcPath});
    model.openFileAnswers.push_back({true, protocolPath});
    model.openFileAnswers.push_back({true, setups[i].voiPath});
  }
  ASSERT_TRUE(harness.run("AddSubject"));
  ASSERT_TRUE(harness.run("AddSubject"));
  ASSERT_EQ(harness.plugin.subjectCount, 2);
  model.stringParameters["CondID-0"] = "Faces list2";
  model.yesNoAnswers.push_back(true);
  model.saveFileAnswers = {{true, "one.sdm"}, {true, "two.sdm"}};
  ASSERT_TRUE(harness.run("Start"));

  auto first = standin::readDesignMatrixFile("one.sdm");
  ASSERT_TRUE(first);
  ASSERT_EQ(first->names[1], "Psychological regressor");
  const std::vector<float> expected = analysistest::convolvedBoxCar(setups[0], {1.0f, 0.0f, 0.0f});
  ASSERT_EQ(first->columns[1].size(), expected.size());
  for (std::size_t t = 0; t < expected.size(); ++t) {
    EXPECT_FLOAT_EQ(static_cast<float>(first->columns[1][t]), expected[t]) << t;
  }
  EXPECT_EQ(analysistest::predictorValues(model, "Psychological regressor"),
            analysistest::convolvedBoxCar(setups[1], {1.0f, 0.0f, 0.0f}));

  // A protocol that can no longer be loaded stops the run.
  model.protocols.erase("/data/p1.prt");
  model.yesNoAnswers.push_back(true);
  model.saveFileAnswers = {{true, "one.sdm"}, {true, "two.sdm"}};
  EXPECT_FALSE(harness.run("Start"));
  EXPECT_EQ(model.log.back(),
            "Plugin> Could not load the PRT file /data/p1.prt again. Prepare PPI Plugin aborted.");
}

TEST(RunAnalysis, OneSubjectIsNotAskedAbout) {
  Study study(1);
  study.answerSaves({"one.sdm"});
  ASSERT_TRUE(study.harness.run("Start"));
  EXPECT_TRUE(study.model.callsTo("nkYesNoMessageBox").empty());
  EXPECT_TRUE(logHas(study.model, "Plugin> 1 files found in list.\n"));
  EXPECT_EQ(study.model.stringParameters["SDMFileList"], "one.sdm");
  EXPECT_EQ(study.model.intParameters["nr_subs"], 1);
}

TEST(RunAnalysis, DefaultDesignMatrixNames) {
  struct Row {
    const char* vtcPath;
    const char* voiPath;
    int approach;
    const char* label;  // null: no label question
    const char* expected;
  };
  const Row rows[] = {
      {"/data/s01/run1.vtc", "/data/s01/FFA.voi", 0, nullptr, "standPPI_run1_FFA"},
      {"/data/s01/run1.vtc", "/data/s01/FFA.voi", 1, "L", "genPPI_run1_L"},
      {"/data/s01/run1.vtc", "/data/s01/FFA.voi", 2, nullptr, "genPPI_run1_FFA"},
      {"/data/a.vtc.vtc", "/data/FFA.voi.voi", 0, nullptr, "standPPI_a.vtc_FFA.voi"},
      {"/data/RUN.VTC", "/data/FFA.VOI", 0, nullptr, "standPPI_RUN.VTC_FFA.VOI"},
      {"run1.vtc", "rois/left.voi", 0, "L", "standPPI_run1_L"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.expected);
    SubjectSetup setup = numberedSubject(1);
    setup.vtcPath = row.vtcPath;
    setup.voiPath = row.voiPath;
    PluginHarness harness;
    analysistest::addSubject(harness, setup);
    standin::HostModel& model = harness.model;
    model.stringParameters["CondID-0"] = "Faces list2";
    model.stringParameters["CondID-1"] = "Houses list0";
    model.intParameters["whichapproach"] = row.approach;
    if (row.label != nullptr) {
      model.intParameters["changePredName"] = 1;
      model.textAnswers.push_back({true, row.label});
    }
    model.saveFileAnswers.push_back({true, "out.sdm"});
    ASSERT_TRUE(harness.run("Start"));
    ASSERT_EQ(model.callsTo("nkGetSaveFileName").size(), 1u);
    EXPECT_EQ(model.callsTo("nkGetSaveFileName")[0].arguments[1], row.expected);
    // The region label follows the label text, else the VOI's own name.
    const std::string label = row.label != nullptr ? row.label : "FFA";
    EXPECT_EQ(analysistest::predictorNames(model).back(), "Constant");
    EXPECT_NE(model.predictor(label + "_predictor"), nullptr);
    if (row.label != nullptr) {
      EXPECT_EQ(model.callsTo("nkGetTextInput")[0].arguments,
                (Names{"Please specify a string to be added to the predictor name.", ""}));
    }
  }
}

TEST(RunAnalysis, MultiStudyModeSavesBesideTheMultiStudyFileWithoutDialogs) {
  Study study(3);
  std::filesystem::create_directory("group");
  standin::HostModel& model = study.model;
  model.intParameters["saveMDM"] = 1;
  study.answerSaves({"group/Multistudy_PPI.mdm"});
  // Subject 3 has the same file names as subject 1, in another folder.
  study.harness.plugin.subjects[2].header.setTextAt(ppi::host::VTCHeaderRecord::kPath,
                                                    ppi::host::VTCHeaderRecord::kPathEnd,
                                                    "/data/s03/run1.vtc");
  model.timeCourses["/data/s03/run1.vtc"] = model.timeCourses["/data/s03/run3.vtc"];
  ASSERT_TRUE(study.harness.run("Start"));

  const auto saves = model.callsTo("nkGetSaveFileName");
  ASSERT_EQ(saves.size(), 1u);
  EXPECT_EQ(saves[0].arguments, (Names{"Select a location to store the multistudy file (.*MDM) ",
                                       "Multistudy_PPI", "*.mdm"}));
  EXPECT_EQ(model.stringParameters["mdmFileName"], "group/Multistudy_PPI.mdm");
  EXPECT_EQ(
      model.stringParameters["SDMFileList"],
      "group/standPPI_run1_FFA.sdm\ngroup/standPPI_run2_FFA.sdm\ngroup/standPPI_run1_FFA_2.sdm");
  EXPECT_EQ(model.intParameters["nr_subs"], 3);
  EXPECT_TRUE(
      logHas(model,
             "Plugin> A design matrix of this run is already saved as "
             "group/standPPI_run1_FFA.sdm; this one is saved as group/standPPI_run1_FFA_2.sdm"));
  EXPECT_TRUE(logHas(model, "Plugin> Design matrix saved as: ./standPPI_run1_FFA_2.sdm"));
  EXPECT_EQ(model.savedDesignMatrices,
            (Names{"group/standPPI_run1_FFA.sdm", "group/standPPI_run2_FFA.sdm",
                   "group/standPPI_run1_FFA_2.sdm"}));
  EXPECT_TRUE(std::filesystem::exists("group/standPPI_run1_FFA_2.sdm"));
}

TEST(RunAnalysis, TwoRunsInARowPublishOnlyTheSecondRunsFiles) {
  Study study(2);
  study.answerSaves({"a1.sdm", "a2.sdm"});
  ASSERT_TRUE(study.harness.run("Start"));
  EXPECT_EQ(study.model.stringParameters["SDMFileList"], "a1.sdm\na2.sdm");

  study.model.yesNoAnswers.push_back(true);
  study.answerSaves({"b1.sdm", "b2.sdm"});
  ASSERT_TRUE(study.harness.run("Start"));
  EXPECT_EQ(study.model.stringParameters["SDMFileList"], "b1.sdm\nb2.sdm");
  EXPECT_EQ(study.model.intParameters["nr_subs"], 2);
  ASSERT_EQ(study.harness.plugin.savedDesignFiles.size(), 2u);
  EXPECT_EQ(study.harness.plugin.subjects.size(), 2u);
}

TEST(RunAnalysis, StopsBeforeAnySubject) {
  struct Row {
    const char* what;
    std::function<void(Study&)> change;
    std::string line;  // logged last (its beginning)
    bool mdmFileNameSet;
  };
  const char* noFiles = "Plugin> No files selected, plugin finished.";
  const Row rows[] = {
      {"multi-study dialog cancelled", [](Study& s) { s.model.intParameters["saveMDM"] = 1; },
       "PPI Plugin> No SDM file name selected. Prepare PPI Plugin aborted.", false},
      {"empty list and no subjects",
       [](Study& s) {
         s.harness.plugin.subjects.clear();
         s.harness.plugin.subjectVOIs.clear();
         s.harness.plugin.subjectCount = 0;
         s.model.stringParameters["VTCFileList"] = "";
       },
       noFiles, true},
      {"list of two lines for three subjects",
       [](Study& s) { s.model.stringParameters["VTCFileList"] = "run1.vtc\nrun2.vtc"; }, noFiles,
       true},
      {"user answers no", [](Study& s) { s.model.yesNoAnswers = {false}; },
       "Plugin> Prepare PPI Plugin aborted", true},
      {"label text too long",
       [](Study& s) {
         s.model.intParameters["changePredName"] = 1;
         s.model.textAnswers.push_back({true, std::string(291, 'L')});
       },
       "Plugin> The label text has 291 characters, more than the 290 that predictor names allow. "
       "Prepare PPI Plugin aborted.",
       false},
      {"multi-study path too long",
       [](Study& s) {
         s.model.intParameters["saveMDM"] = 1;
         s.model.saveFileAnswers.push_back({true, std::string(301, 'm')});
       },
       "Plugin> The multi-study path " + std::string(301, 'm') +
           " is longer than 300 characters. Prepare PPI Plugin aborted.",
       false},
      {"list past its limit",
       [](Study& s) { s.model.stringParameters["VTCFileList"] += std::string(4990, '\n'); },
       "Plugin> \"VTCFileList\" has 5016 characters, more than 4999. Prepare PPI Plugin aborted.",
       true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Study study(3);
    row.change(study);
    EXPECT_FALSE(study.harness.run("Start"));
    EXPECT_EQ(study.model.log.back().substr(0, row.line.size()), row.line);
    EXPECT_TRUE(study.unpublished());
    EXPECT_EQ(study.model.stringParameters.count("mdmFileName"), row.mdmFileNameSet ? 1u : 0u);
    EXPECT_TRUE(study.model.callsTo("nkLinkVTCToCurrentVMR").empty());
    EXPECT_TRUE(study.model.callsTo("nkSaveSingleStudyGLMDesignMatrix").empty());
  }
  Study mismatch(1);
  mismatch.model.stringParameters["VTCFileList"] = "ab";
  EXPECT_FALSE(mismatch.harness.run("Start"));
  EXPECT_EQ(mismatch.model.messageBoxes, Names{"No files selected."});
}

TEST(RunAnalysis, StopAtTheSecondOfThreeSubjects) {
  struct Row {
    const char* what;
    std::function<void(Study&)> change;
    std::string line;  // logged last (its beginning)
  };
  const Row rows[] = {
      {"VOI file cannot be loaded",
       [](Study& s) { s.model.regionFiles.erase("/data/s02/FFA.voi"); },
       "Plugin> Could not load VOI file. Prepare PPI Plugin aborted."},
      {"VTC file cannot be linked",
       [](Study& s) { s.model.timeCourses.erase("/data/s02/run2.vtc"); },
       "Plugin> failed to load VTC file, Prepare PPI Plugin aborted"},
      {"save dialog cancelled", [](Study& s) { s.model.saveFileAnswers.resize(1); },
       "PPI Plugin> No SDM file name selected. Prepare PPI Plugin aborted."},
      {"VTC file changed since it was added",
       [](Study& s) { s.model.timeCourses["/data/s02/run2.vtc"].nrOfVolumes = 30; },
       "Plugin> The VTC file /data/s02/run2.vtc is not the one added to the list (its volumes or "
       "grid differ). Prepare PPI Plugin aborted."},
      {"constant region signal",
       [](Study& s) {
         auto& samples = s.model.timeCourses["/data/s02/run2.vtc"].intSamples;
         std::fill(samples.begin(), samples.end(), std::int16_t{5});
       },
       "Plugin> The region signal of the VOI \"FFA\" in /data/s02/run2.vtc is constant or not "
       "finite (standard deviation 0); Prepare PPI Plugin aborted."},
      {"host writes nothing",
       [](Study& s) {
         auto write = s.model.designMatrixWriter;
         s.model.designMatrixWriter = [write](const std::string& path, const auto& design) {
           return path == "two.sdm" ? false : write(path, design);
         };
       },
       "Plugin> The design matrix was not saved to two.sdm; Prepare PPI Plugin aborted."},
      {"chosen path too long",
       [](Study& s) { s.model.saveFileAnswers[1].text = "/" + std::string(300, 'p'); },
       "Plugin> The chosen path /" + std::string(300, 'p') +
           " is longer than 300 characters; Prepare PPI Plugin aborted."},
      {"predictor name too long",
       [](Study& s) {
         s.model.protocols["/data/s02/run2.vtc.prt"].conditions[2].name = std::string(280, 'c');
         s.model.regionFiles["/data/s02/FFA.voi"].regions[0].name = std::string(20, 'v');
         s.model.intParameters["whichapproach"] = 1;
       },
       "Plugin> The predictor name \"" +
           ("PPI_" + std::string(280, 'c') + "_" + std::string(20, 'v')).substr(0, 300) +
           "...\" would be longer than 300 characters; Prepare PPI Plugin aborted."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Study study(3);
    study.answerSaves({"one.sdm", "two.sdm", "three.sdm"});
    row.change(study);
    EXPECT_FALSE(study.harness.run("Start"));
    EXPECT_EQ(study.model.log.back().substr(0, row.line.size()), row.line);
    EXPECT_TRUE(study.unpublished());
    EXPECT_FALSE(logHasPart(study.model, "saved as: ./two.sdm"));
    EXPECT_EQ(study.linksOf("/data/s03/run3.vtc"), 0u);
    ASSERT_EQ(study.harness.plugin.savedDesignFiles.size(), 1u);
    EXPECT_EQ(study.harness.plugin.savedDesignFiles[0].view(), "one.sdm");
    EXPECT_GT(std::filesystem::file_size("one.sdm"), 0u);
    EXPECT_TRUE(study.model.canariesIntact());
  }
}

TEST(RunAnalysis, OnlyMotionFlagOneMergesTheMotionPredictors) {
  for (int flag : {0, 2, -1}) {
    SCOPED_TRACE(flag);
    Study study(2);
    study.model.intParameters["addMoCo"] = flag;
    study.answerSaves({"one.sdm", "two.sdm"});
    EXPECT_TRUE(study.harness.run("Start"));
    EXPECT_EQ(study.model.stringParameters["SDMFileList"], "one.sdm\ntwo.sdm");
    EXPECT_TRUE(study.model.callsTo("nkGetOpenFileName").empty());
  }

  Study study(2);
  standin::HostModel& model = study.model;
  model.intParameters["addMoCo"] = 1;
  model.intParameters["zMC"] = 1;
  study.answerSaves({"one.sdm", "two.sdm"});
  testsupport::writeFile("m1_3DMC.sdm", sdmfiles::motionFile(6, 24));
  testsupport::writeFile("m2_3DMC.sdm", sdmfiles::motionFile(6, 24));
  model.openFileAnswers = {{true, "m1_3DMC.sdm"}, {true, "m2_3DMC.sdm"}};
  ASSERT_TRUE(study.harness.run("Start"));
  EXPECT_EQ(model.stringParameters["SDMFileList"], "one_3DMC_z.sdm\ntwo_3DMC_z.sdm");
  EXPECT_TRUE(logHas(model, "Plugin> Design matrix saved as: ./two_3DMC_z.sdm"));
  const auto dialogs = model.callsTo("nkGetOpenFileName");
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[1].arguments[1], "/data/s02");
  auto merged = standin::readDesignMatrixFile("two_3DMC_z.sdm");
  ASSERT_TRUE(merged);
  EXPECT_EQ(merged->names.size(), 5u + 6u);
  EXPECT_EQ(merged->names.back(), "Constant");

  // A cancelled motion dialog: the saved design matrix does not stand for the subject.
  Study cancelled(2);
  cancelled.model.intParameters["addMoCo"] = 1;
  cancelled.answerSaves({"one.sdm", "two.sdm"});
  EXPECT_FALSE(cancelled.harness.run("Start"));
  EXPECT_EQ(cancelled.model.log.back(),
            "PPI Plugin> No SDM file name selected. Prepare PPI Plugin aborted.");
  EXPECT_FALSE(logHasPart(cancelled.model, "Design matrix saved as"));
  EXPECT_TRUE(cancelled.harness.plugin.savedDesignFiles.empty());
  EXPECT_TRUE(cancelled.unpublished());
  EXPECT_TRUE(std::filesystem::exists("one.sdm"));
  EXPECT_EQ(cancelled.linksOf("/data/s02/run2.vtc"), 0u);
}

TEST(RunAnalysis, RefusesAListOfSavedFilesPastItsLimit) {
  // Seventeen paths of 299 characters and their line feeds exceed 4999.
  Study study(17);
  study.model.yesNoAnswers = {true};
  const std::string folder = "d/" + std::string(140, 'x') + "/" + std::string(140, 'y') + "/";
  std::filesystem::create_directories(folder);
  for (int i = 1; i <= 17; ++i) {
    std::string name = folder + std::to_string(100 + i) + "_";
    study.answerSaves({name + std::string(299 - name.size() - 4, 'z') + ".sdm"});
  }
  EXPECT_FALSE(study.harness.run("Start"));
  EXPECT_EQ(study.model.log.back(),
            "Plugin> The saved design matrices do not fit into the 4999 characters of "
            "\"SDMFileList\"; the list is not published.");
  EXPECT_TRUE(study.unpublished());
  EXPECT_EQ(study.harness.plugin.savedDesignFiles.size(), 17u);
}

}  // namespace
