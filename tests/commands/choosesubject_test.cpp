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
