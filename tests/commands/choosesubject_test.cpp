// The choice of a subject's time course, protocol and region: every way it
// stops, and the region question, driven through "AddSubject".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/commands/subjectfixtures.h"
#include "tests/support/fakehost.h"

namespace {

using namespace subjectfixtures;
using Strings = std::vector<std::string>;
using testsupport::PluginHarness;

// Each row stops "AddSubject" at one step: the open-file answers ("-" cancels),
// the region answers, and the line that says why.
struct StopCase {
  Strings files;
  std::vector<int> regions;
  std::string lastLine;
};

TEST(ChooseSubject, EachFailedStepSaysWhyAndLeavesTheListUnchanged) {
  const std::string longPath = "/" + std::string(296, 'd') + ".vtc";  // 301 characters
  const std::string noChoice = "Plugin> No condition selected. Please retry.";
  const std::string c = "/d/c.vtc";
  const StopCase cases[] = {
      {{}, {}, "Plugin> No VTC file loaded. Please retry."},
      {{"missing.vtc"}, {}, "Plugin> Failed to load VTC file. Please retry."},
      {{longPath}, {}, "Plugin> VTC path longer than 300 characters refused: " + longPath},
      {{c}, {}, "Plugin> No PRT file loaded. Please retry."},
      {{c, "missing.prt"}, {}, "Plugin> Unable to load PRT file. Please retry."},
      {{"/d/gone.vtc"}, {}, "Plugin> Trouble with PRT. Please retry."},
      {{c, "c.prt", "-"}, {}, "Plugin> No VOI file loaded. Please retry."},
      {{c, "c.prt", "missing.voi"}, {}, "Plugin> Could not load VOI file. Please retry."},
      {{c, "c.prt", "/d/none.voi"}, {}, noChoice},
      {{c, "c.prt", "/d/three.voi"}, {-1}, noChoice},
      {{c, "c.prt", "/d/three.voi"}, {3}, noChoice},
      {{c, "c.prt", "/d/three.voi"}, {-7}, noChoice},
  };
  for (const StopCase& row : cases) {
    SCOPED_TRACE(row.lastLine);
    PluginHarness harness;
    standin::HostModel& model = harness.model;
    registerStudy(model);
    addTimeCourse(model, "/d/gone.vtc", 10, "gone.prt");
    for (const std::string& file : row.files)
      file == "-" ? cancelFile(model) : chooseFile(model, file);
    for (int region : row.regions) model.integerAnswers.push_back(region);
    testsupport::writeFile("autosaveList.ppi", "earlier.vtc\tearlier.voi\t1\n");
    const auto parametersBefore = model.stringParameters;

    EXPECT_TRUE(harness.run("AddSubject"));
    EXPECT_EQ(model.log.back(), row.lastLine);
    EXPECT_EQ(harness.plugin.state.subjectCount(), 0);
    EXPECT_TRUE(harness.plugin.state.subjects.empty());
    for (const char* list : {"VTCFileList", "VTCFileNameList", "VOIFileList"}) {
      EXPECT_EQ(model.stringParameters[list],
                parametersBefore.count(list) ? parametersBefore.at(list) : "");
    }
    // The conditions are published only once the time course and protocol are in.
    EXPECT_EQ(model.intParameters.count("NrOfConditions"),
              row.files.size() > 1 && row.files[1] == "c.prt" ? 1u : 0u);
    EXPECT_EQ(testsupport::readFile("autosaveList.ppi"), "earlier.vtc\tearlier.voi\t1\n");
  }
}

TEST(ChooseSubject, ALongRegionQuestionIsCutAtTheEndOfTheMessageLine) {
  PluginHarness harness;
  standin::HostModel& model = harness.model;
  Strings names;
  for (int i = 0; i < 40; ++i) names.push_back("region-with-a-long-name-" + std::to_string(i));
  registerStudy(model);
  addRegionFile(model, "many.voi", names);
  answerAddSubject(model, "/d/a.vtc", "many.voi", {}, 39);

  ASSERT_TRUE(harness.run("AddSubject"));
  const Strings question = model.callsTo("nkGetIntegerInput").at(0).arguments;
  EXPECT_EQ(question[0].size(), 500u);
  EXPECT_EQ(question[0].rfind("Which VOI do you want to use? Enter a number between 0 and 39 .\n"
                              "0 : region-with-a-long-name-0 \n1 : ",
                              0),
            0u);
  EXPECT_EQ(question[3], "39");
  EXPECT_EQ(harness.plugin.state.subjects.at(0).region.voi.name(), "region-with-a-long-name-39");
}

}  // namespace

namespace {

// Each refused line of a list file gets the hint of its own cause in the
// report, and so does a run whose lists disagree.
TEST(ChooseSubject, EachRefusalsHintFitsItsCause) {
  const struct {
    const char* name;
    std::string line;
    std::string problem;  // the report's line for it, after "error: list.ppi line 1"
  } rows[] = {
      {"region file missing", "/d/a.vtc\t/d/gone.voi\t0\n",
       " (/d/gone.voi, region 0): Could not load VOI file. Please retry. Check that the region "
       "file exists and holds the region index, or correct the line."},
      {"region index past the regions", "/d/a.vtc\t/d/three.voi\t3\n",
       " (/d/three.voi, region 3): No condition selected. Please retry. Check that the region "
       "file exists and holds the region index, or correct the line."},
      {"time course missing", "/d/gone.vtc\t/d/one.voi\t0\n",
       " (/d/gone.vtc): Failed to load VTC file. Please retry. Check that the time course exists "
       "and has a protocol, or correct the line."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    PluginHarness harness;
    registerStudy(harness.model);
    testsupport::writeFile("list.ppi", row.line);
    chooseFile(harness.model, "list.ppi");
    ASSERT_TRUE(harness.run("Load"));
    EXPECT_EQ(harness.plugin.state.report.text(),
              "Load: 0 of 1 subject loaded from list.ppi\nerror: list.ppi line 1" + row.problem);
  }

  const struct {
    const char* name;
    int subjects;
    std::string vtcList;
    std::string problem;
  } runs[] = {
      {"no subject", 0, "",
       "error: The subject list is empty. Add subjects or load a list file, then start."},
      {"lists out of step", 1, "a.vtc\nb.vtc",
       "error: \"VTCFileList\": the dialog lists 2 time courses, the plug-in's list 1 subject. "
       "Clear, add or load the subjects again, then start."},
  };
  for (const auto& run : runs) {
    SCOPED_TRACE(run.name);
    PluginHarness harness;
    registerStudy(harness.model);
    if (run.subjects > 0) {
      answerAddSubject(harness.model, "/d/a.vtc", "/d/one.voi");
      ASSERT_TRUE(harness.run("AddSubject"));
    }
    harness.model.stringParameters["VTCFileList"] = run.vtcList;
    EXPECT_FALSE(harness.run("Start"));
    EXPECT_EQ(harness.model.log.back(), "Plugin> No files selected, plugin finished.");
    ASSERT_EQ(harness.plugin.state.report.problems().size(), 1u);
    EXPECT_EQ(ppi::Report::problemLine(harness.plugin.state.report.problems()[0]), run.problem);
  }
}

}  // namespace
