// "AddSubject" over several subjects: the note, saveWeights and the condition
// names, the GUI lists and the autosave list.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/commands/subjectfixtures.h"
#include "tests/support/fakehost.h"

namespace {

using namespace subjectfixtures;
using Strings = std::vector<std::string>;
using testsupport::PluginHarness;
using testsupport::readFile;

const char* const kNote =
    "Note: you are about to select multiple VTC's. \n\nWeights chosen in the standard approach "
    "are applied to all loaded VTC's.\nPlease make sure that the protocols are the same for each "
    "VTC.";

// Three subjects whose protocols name their conditions differently.
void registerThreeSubjects(standin::HostModel& model) {
  addProtocol(model, "p1.prt", {"Rest", "Task"});
  addProtocol(model, "p2.prt", {"Off", "On", "Extra"});
  addProtocol(model, "p3.prt", {"X"});
  for (int s = 1; s <= 3; ++s) {
    const std::string n = std::to_string(s);
    addTimeCourse(model, "/d/s" + n + "/run.vtc", 100 + s, "p" + n + ".prt");
    addRegionFile(model, "/d/s" + n + "/roi.voi", {"A", "B"});
  }
}

struct ApproachCase {
  int approach;
  Strings notes;
  Strings saveWeights;  // "saveWeights" after each subject
  Strings firstName;    // "CondName-1" after each subject
};

TEST(AddSubject, StandardApproachKeepsTheFirstProtocolsWeightsFromTheSecondSubjectOn) {
  const ApproachCase cases[] = {
      {0, {kNote}, {"0", "1", "1"}, {"Rest", "Rest", "Rest"}},
      {1, {}, {"0", "0", "0"}, {"Rest", "Off", "X"}},
      {2, {}, {"0", "0", "0"}, {"Rest", "Off", "X"}},
  };
  for (const ApproachCase& c : cases) {
    SCOPED_TRACE(c.approach);
    PluginHarness harness;
    standin::HostModel& model = harness.model;
    registerThreeSubjects(model);
    model.intParameters["whichapproach"] = c.approach;
    Strings saveWeights, firstName;
    for (int s = 1; s <= 3; ++s) {
      const std::string n = std::to_string(s);
      answerAddSubject(model, "/d/s" + n + "/run.vtc", "/d/s" + n + "/roi.voi", {}, s % 2);
      ASSERT_TRUE(harness.run("AddSubject"));
      saveWeights.push_back(std::to_string(model.intParameters["saveWeights"]));
      firstName.push_back(model.stringParameters["CondName-1"]);
      EXPECT_EQ(model.intParameters["NrOfConditions"], s == 2 ? 3 : s == 1 ? 2 : 1);
      const std::string autosave = readFile("autosaveList.ppi");
      EXPECT_EQ(std::count(autosave.begin(), autosave.end(), '\n'), s);
    }
    EXPECT_EQ(model.messageBoxes, c.notes);
    EXPECT_EQ(saveWeights, c.saveWeights);
    EXPECT_EQ(firstName, c.firstName);
    EXPECT_EQ(harness.plugin.saveWeights, c.approach == 0);
    EXPECT_EQ(model.stringParameters["VTCFileList"], "run.vtc\nrun.vtc\nrun.vtc");
    EXPECT_EQ(model.stringParameters["VTCFileNameList"],
              "/d/s1/run.vtc\n/d/s2/run.vtc\n/d/s3/run.vtc");
    EXPECT_EQ(model.stringParameters["VOIFileList"], "roi.voi - B\nroi.voi - A\nroi.voi - B");
    EXPECT_EQ(readFile("autosaveList.ppi"),
              "/d/s1/run.vtc\t/d/s1/roi.voi\t1\n/d/s2/run.vtc\t/d/s2/roi.voi\t0\n"
              "/d/s3/run.vtc\t/d/s3/roi.voi\t1\n");
    EXPECT_EQ(harness.plugin.subjectCount, 3);
  }
}

TEST(AddSubject, TheNoteComesBeforeAnyDialogAndHoldsWhenTheUserCancels) {
  PluginHarness harness;
  standin::HostModel& model = harness.model;
  registerThreeSubjects(model);
  answerAddSubject(model, "/d/s1/run.vtc", "/d/s1/roi.voi", {}, 0);
  ASSERT_TRUE(harness.run("AddSubject"));
  model.calls.clear();

  EXPECT_TRUE(harness.run("AddSubject"));  // every dialog cancelled
  EXPECT_EQ(model.messageBoxes, (Strings{kNote}));
  EXPECT_TRUE(harness.plugin.saveWeights);
  std::vector<std::string> order;
  for (const standin::HostCall& call : model.calls) {
    if (call.function == "nkMessageBox" || call.function == "nkGetOpenFileName") {
      order.push_back(call.function);
    }
  }
  EXPECT_EQ(order, (Strings{"nkMessageBox", "nkGetOpenFileName"}));
  EXPECT_EQ(model.log.back(), "Plugin> No VTC file loaded. Please retry.");
  EXPECT_EQ(harness.plugin.subjectCount, 1);

  // The list still holds one subject, so the next attempt is again the second.
  EXPECT_TRUE(harness.run("AddSubject"));
  EXPECT_EQ(model.messageBoxes, (Strings{kNote, kNote}));
}

TEST(AddSubject, TheAutosaveListIsOnTheDiskAfterEverySubjectAndLeftAloneUntilTheFirst) {
  PluginHarness harness;
  standin::HostModel& model = harness.model;
  registerThreeSubjects(model);
  testsupport::writeFile("autosaveList.ppi", "crashed.vtc\tcrashed.voi\t0\n");

  // A cancelled first subject leaves the earlier session's list alone.
  EXPECT_TRUE(harness.run("AddSubject"));
  EXPECT_EQ(readFile("autosaveList.ppi"), "crashed.vtc\tcrashed.voi\t0\n");

  answerAddSubject(model, "/d/s1/run.vtc", "/d/s1/roi.voi", {}, 1);
  ASSERT_TRUE(harness.run("AddSubject"));
  EXPECT_EQ(readFile("autosaveList.ppi"), "/d/s1/run.vtc\t/d/s1/roi.voi\t1\n");

  // A subject that fails after its time course adds nothing to the file.
  chooseFile(model, "/d/s2/run.vtc");
  ASSERT_TRUE(harness.run("AddSubject"));
  EXPECT_EQ(readFile("autosaveList.ppi"), "/d/s1/run.vtc\t/d/s1/roi.voi\t1\n");
  EXPECT_EQ(harness.plugin.subjects.size(), 1u);
}

TEST(AddSubject, AfterSaveTheAutosaveListKeepsTheEarlierSubjects) {
  PluginHarness harness;
  standin::HostModel& model = harness.model;
  registerThreeSubjects(model);
  model.intParameters["whichapproach"] = 1;
  answerAddSubject(model, "/d/s1/run.vtc", "/d/s1/roi.voi", {}, 0);
  ASSERT_TRUE(harness.run("AddSubject"));
  chooseSaveFile(model, "first.ppi");
  ASSERT_TRUE(harness.run("Save"));
  answerAddSubject(model, "/d/s2/run.vtc", "/d/s2/roi.voi", {}, 1);
  ASSERT_TRUE(harness.run("AddSubject"));

  const std::string both = "/d/s1/run.vtc\t/d/s1/roi.voi\t0\n/d/s2/run.vtc\t/d/s2/roi.voi\t1\n";
  EXPECT_EQ(readFile("first.ppi"), "/d/s1/run.vtc\t/d/s1/roi.voi\t0\n");
  EXPECT_EQ(readFile("autosaveList.ppi"), both);
  chooseSaveFile(model, "second.ppi");
  ASSERT_TRUE(harness.run("Save"));
  EXPECT_EQ(readFile("second.ppi"), both);
}

}  // namespace
