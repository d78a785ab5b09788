// The choice of a subject's time course, protocol and region, driven through
// "AddSubject" against the stand-in host.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/commands/subjectfixtures.h"
#include "tests/support/fakehost.h"

namespace {

using namespace subjectfixtures;
using Strings = std::vector<std::string>;
using testsupport::PluginHarness;

Strings dialogs(const standin::HostModel& model) {
  Strings shown;
  for (const standin::HostCall& call : model.calls) {
    if (call.function == "nkGetOpenFileName") {
      shown.push_back(call.arguments[0] + "|" + call.arguments[1] + "|" + call.arguments[2]);
    }
  }
  return shown;
}

TEST(ChooseSubject, AddsTheTimeCourseItsProtocolAndTheChosenRegion) {
  PluginHarness harness;
  standin::HostModel& model = harness.model;
  addTimeCourse(model, "/data/s01/run1.vtc", 120);
  addProtocol(model, "/data/s01/run1.prt", {"Rest", "Faces", "Houses"});
  addRegionFile(model, "/data/s01/regions.voi", {"FFA", "PPA", "V1"});
  answerAddSubject(model, "/data/s01/run1.vtc", "/data/s01/regions.voi", "/data/s01/run1.prt", 2);
  model.stringParameters["VOIFileList"] = "old.voi - X";

  ASSERT_TRUE(harness.run("AddSubject"));

  EXPECT_EQ(dialogs(model), (Strings{"Select a VTC file |.|*.vtc", "Select a PRT file |.|*.prt",
                                     "Select a VOI file |.|*.voi"}));
  EXPECT_EQ(model.log,
            (Strings{"Plugin> Command received: AddSubject", "Plugin> PRT file: /data/s01/run1.prt",
                     "Plugin> Number of volumes in VTC: 120", "Plugin> VOI selected: V1",
                     "Plugin> VTC file: run1.vtc"}));
  ASSERT_EQ(model.callsTo("nkGetIntegerInput").size(), 1u);
  EXPECT_EQ(model.callsTo("nkGetIntegerInput")[0].arguments,
            (Strings{"Which VOI do you want to use? Enter a number between 0 and 2 .\n"
                     "0 : FFA \n1 : PPA \n2 : V1 \n",
                     "0", "0", "2"}));
  EXPECT_EQ(model.callsTo("nkLinkVTCToCurrentVMR")[0].arguments,
            (Strings{"/data/s01/run1.vtc", "1"}));

  EXPECT_EQ(model.intParameters["NrOfConditions"], 3);
  EXPECT_EQ(model.intParameters["saveWeights"], 0);
  EXPECT_EQ(model.stringParameters["CondName-1"], "Rest");
  EXPECT_EQ(model.stringParameters["CondName-3"], "Houses");
  EXPECT_EQ(model.stringParameters.count("CondName-4"), 0u);
  EXPECT_EQ(model.stringParameters["VOIFileList"], "old.voi - X\nregions.voi - V1");
  EXPECT_EQ(model.stringParameters["VTCFileList"], "run1.vtc");
  EXPECT_EQ(model.stringParameters["VTCFileNameList"], "/data/s01/run1.vtc");

  const ppiplugin& plugin = harness.plugin;
  ASSERT_EQ(plugin.subjectCount, 1);
  ASSERT_EQ(plugin.subjects.size(), 1u);
  ASSERT_EQ(plugin.subjectVOIs.size(), 1u);
  EXPECT_EQ(plugin.subjects[0].nrOfVolumes, 120);
  EXPECT_EQ(plugin.subjects[0].header.vtcPath(), "/data/s01/run1.vtc");
  EXPECT_EQ(plugin.subjects[0].protocol.nrOfConditions(), 3);
  EXPECT_EQ(plugin.subjectVOIs[0].chosenVOI, 2);
  EXPECT_EQ(plugin.subjectVOIs[0].voi.name(), "V1");
  EXPECT_EQ(plugin.subjectVOIs[0].voiSet.nrOfVOIs(), 3);
  EXPECT_EQ(testsupport::readFile("autosaveList.ppi"),
            "/data/s01/run1.vtc\t/data/s01/regions.voi\t2\n");
}

TEST(ChooseSubject, LinkedProtocolSingleRegionAndEmptyProtocolNeedNoQuestion) {
  PluginHarness harness;
  standin::HostModel& model = harness.model;
  addProtocol(model, "empty.prt", {});
  addTimeCourse(model, "run.vtc", 80, "empty.prt");
  addRegionFile(model, "one.voi", {"Amygdala"});
  model.stringParameters["CondName-1"] = "kept";
  answerAddSubject(model, "run.vtc", "one.voi");

  ASSERT_TRUE(harness.run("AddSubject"));
  EXPECT_EQ(dialogs(model), (Strings{"Select a VTC file |.|*.vtc", "Select a VOI file |.|*.voi"}));
  EXPECT_TRUE(model.callsTo("nkGetIntegerInput").empty());
  EXPECT_EQ(model.intParameters["NrOfConditions"], 0);
  EXPECT_EQ(model.stringParameters["CondName-1"], "kept");
  EXPECT_EQ(model.stringParameters["VOIFileList"], "one.voi - Amygdala");
  ASSERT_EQ(harness.plugin.subjectVOIs.size(), 1u);
  EXPECT_EQ(harness.plugin.subjectVOIs[0].chosenVOI, 0);
  EXPECT_EQ(testsupport::readFile("autosaveList.ppi"), "run.vtc\tone.voi\t0\n");
}

// Each row stops "AddSubject" at one step; the list, the GUI lists and an
// autosave file left by an earlier session stay as they were.
struct StopCase {
  const char* name;
  std::function<void(standin::HostModel&)> arrange;
  std::string lastLine;
  bool conditionsPublished;  // the time-course step had succeeded
};

TEST(ChooseSubject, EachFailedStepSaysWhyAndLeavesTheListUnchanged) {
  const std::string longPath = "/" + std::string(296, 'd') + ".vtc";  // 301 characters
  const StopCase cases[] = {
      {"time-course dialog cancelled", [](standin::HostModel&) {},
       "Plugin> No VTC file loaded. Please retry.", false},
      {"time course not loadable", [](standin::HostModel& m) { chooseFile(m, "missing.vtc"); },
       "Plugin> Failed to load VTC file. Please retry.", false},
      {"time-course path too long",
       [&](standin::HostModel& m) {
         addTimeCourse(m, longPath, 10);
         chooseFile(m, longPath);
       },
       "Plugin> VTC path longer than 300 characters refused: " + longPath, false},
      {"protocol dialog cancelled", [](standin::HostModel& m) { chooseFile(m, "run.vtc"); },
       "Plugin> No PRT file loaded. Please retry.", false},
      {"protocol not loadable",
       [](standin::HostModel& m) {
         chooseFile(m, "run.vtc");
         chooseFile(m, "missing.prt");
       },
       "Plugin> Unable to load PRT file. Please retry.", false},
      {"linked protocol unreadable",
       [](standin::HostModel& m) {
         addTimeCourse(m, "linked.vtc", 10, "gone.prt");
         chooseFile(m, "linked.vtc");
       },
       "Plugin> Trouble with PRT. Please retry.", false},
      {"VOI dialog cancelled",
       [](standin::HostModel& m) {
         chooseFile(m, "run.vtc");
         chooseFile(m, "run.prt");
       },
       "Plugin> No VOI file loaded. Please retry.", true},
      {"VOI file not loadable",
       [](standin::HostModel& m) { answerAddSubject(m, "run.vtc", "missing.voi", "run.prt"); },
       "Plugin> Could not load VOI file. Please retry.", true},
      {"VOI file without regions",
       [](standin::HostModel& m) {
         addRegionFile(m, "none.voi", {});
         answerAddSubject(m, "run.vtc", "none.voi", "run.prt");
       },
       "Plugin> No condition selected. Please retry.", true},
      {"region question cancelled",
       [](standin::HostModel& m) { answerAddSubject(m, "run.vtc", "three.voi", "run.prt"); },
       "Plugin> No condition selected. Please retry.", true},
      {"region answer above the last index",
       [](standin::HostModel& m) { answerAddSubject(m, "run.vtc", "three.voi", "run.prt", 3); },
       "Plugin> No condition selected. Please retry.", true},
      {"region answer below zero",
       [](standin::HostModel& m) {
         answerAddSubject(m, "run.vtc", "three.voi", "run.prt");
         m.integerAnswers.push_back(-7);
       },
       "Plugin> No condition selected. Please retry.", true},
      {"VOI list full",
       [](standin::HostModel& m) {
         m.stringParameters["VOIFileList"] = std::string(4990, 'x');
         answerAddSubject(m, "run.vtc", "three.voi", "run.prt", 1);
       },
       "Plugin> GUI list \"VOIFileList\" would exceed 4999 characters; subject refused.", true},
      {"VTC list full",
       [](standin::HostModel& m) {
         m.stringParameters["VTCFileList"] = std::string(4995, 'x');
         chooseFile(m, "run.vtc");
         chooseFile(m, "run.prt");
       },
       "Plugin> GUI list \"VTCFileList\" would exceed 4999 characters; subject refused.", true},
  };
  for (const StopCase& c : cases) {
    SCOPED_TRACE(c.name);
    PluginHarness harness;
    standin::HostModel& model = harness.model;
    addTimeCourse(model, "run.vtc", 50);
    addProtocol(model, "run.prt", {"A", "B"});
    addRegionFile(model, "three.voi", {"R0", "R1", "R2"});
    testsupport::writeFile("autosaveList.ppi", "earlier.vtc\tearlier.voi\t1\n");
    c.arrange(model);
    const auto listsBefore = model.stringParameters;

    EXPECT_TRUE(harness.run("AddSubject"));
    ASSERT_FALSE(model.log.empty());
    EXPECT_EQ(model.log.back(), c.lastLine);
    EXPECT_EQ(harness.plugin.subjectCount, 0);
    EXPECT_TRUE(harness.plugin.subjects.empty());
    EXPECT_TRUE(harness.plugin.subjectVOIs.empty());
    for (const char* list : {"VTCFileList", "VTCFileNameList", "VOIFileList"}) {
      EXPECT_EQ(model.stringParameters[list], listsBefore.count(list) ? listsBefore.at(list) : "")
          << list;
    }
    EXPECT_EQ(model.intParameters.count("NrOfConditions"), c.conditionsPublished ? 1u : 0u);
    EXPECT_EQ(model.stringParameters.count("CondName-1"), c.conditionsPublished ? 1u : 0u);
    EXPECT_EQ(testsupport::readFile("autosaveList.ppi"), "earlier.vtc\tearlier.voi\t1\n");
  }
}

TEST(ChooseSubject, ALongRegionQuestionIsCutAtTheEndOfTheMessageLine) {
  PluginHarness harness;
  standin::HostModel& model = harness.model;
  Strings names;
  for (int i = 0; i < 40; ++i) names.push_back("region-with-a-long-name-" + std::to_string(i));
  addTimeCourse(model, "run.vtc", 10);
  addProtocol(model, "run.prt", {"A"});
  addRegionFile(model, "many.voi", names);
  answerAddSubject(model, "run.vtc", "many.voi", "run.prt", 39);

  ASSERT_TRUE(harness.run("AddSubject"));
  const std::string prompt = model.callsTo("nkGetIntegerInput").at(0).arguments.at(0);
  EXPECT_EQ(prompt.size(), 500u);
  EXPECT_EQ(prompt.rfind("Which VOI do you want to use? Enter a number between 0 and 39 .\n"
                         "0 : region-with-a-long-name-0 \n1 : ",
                         0),
            0u);
  EXPECT_EQ(model.callsTo("nkGetIntegerInput")[0].arguments[3], "39");
  EXPECT_EQ(model.log.at(model.log.size() - 2), "Plugin> VOI selected: region-with-a-long-name-39");
}

}  // namespace
