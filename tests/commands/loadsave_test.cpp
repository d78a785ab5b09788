// "Load" and "Save": list files read and written, and the autosave list kept
// in step with the subject list.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/commands/subjectfixtures.h"
#include "tests/support/fakehost.h"

namespace {

using namespace subjectfixtures;
using Strings = std::vector<std::string>;
using testsupport::PluginHarness;
using testsupport::readFile;
using testsupport::writeFile;

// a.vtc and b.vtc come with their protocols; c.vtc has none. three.voi holds
// three regions, one.voi a single one.
void registerDocuments(standin::HostModel& model) {
  addProtocol(model, "a.prt", {"RestA", "TaskA"});
  addProtocol(model, "b.prt", {"RestB", "TaskB", "OtherB"});
  addProtocol(model, "c.prt", {"OnlyC"});
  addTimeCourse(model, "/d/a.vtc", 30, "a.prt");
  addTimeCourse(model, "/d/b.vtc", 40, "b.prt");
  addTimeCourse(model, "/d/c.vtc", 50);
  addRegionFile(model, "/d/three.voi", {"R0", "R1", "R2"});
  addRegionFile(model, "/d/one.voi", {"Only"});
}

// The VTC paths of the listed subjects, as the host reported them.
Strings listedTimeCourses(const ppiplugin& plugin) {
  Strings paths;
  for (const SubjectRecord& subject : plugin.subjects) paths.push_back(subject.header.vtcPath());
  return paths;
}

Strings dialogTitles(const standin::HostModel& model) {
  Strings titles;
  for (const standin::HostCall& call : model.calls) {
    if (call.function == "nkGetOpenFileName" || call.function == "nkGetSaveFileName") {
      titles.push_back(call.arguments.at(0) + "|" + call.arguments.at(1) + "|" +
                       call.arguments.at(2));
    }
  }
  return titles;
}

TEST(Load, ReadsEverySubjectWithoutFileDialogsAndRewritesTheAutosaveList) {
  PluginHarness harness;
  standin::HostModel& model = harness.model;
  registerDocuments(model);
  writeFile("list.ppi", "/d/a.vtc\t/d/three.voi\t2\n/d/b.vtc\t/d/one.voi\t0\n");
  model.stringParameters["VTCFileList"] = "earlier.vtc";
  chooseFile(model, "list.ppi");

  ASSERT_TRUE(harness.run("Load"));
  EXPECT_EQ(dialogTitles(model), (Strings{"Select a PPI file |.|*.ppi"}));
  EXPECT_TRUE(model.callsTo("nkGetIntegerInput").empty());
  EXPECT_EQ(model.log,
            (Strings{"Plugin> Command received: Load", "Plugin> Received command: \"Load\".",
                     "\tSubject \t0\n\t/d/a.vtc\n\t/d/three.voi\n\t2",
                     "Plugin> Number of volumes in VTC: 30", "Plugin> VOI selected: R2",
                     "Plugin> VTC file: a.vtc", "\tSubject \t1\n\t/d/b.vtc\n\t/d/one.voi\n\t0",
                     "Plugin> Number of volumes in VTC: 40", "Plugin> VOI selected: Only",
                     "Plugin> VTC file: b.vtc"}));
  EXPECT_EQ(listedTimeCourses(harness.plugin), (Strings{"/d/a.vtc", "/d/b.vtc"}));
  EXPECT_EQ(harness.plugin.subjectCount, 2);
  EXPECT_EQ(model.stringParameters["VTCFileList"], "earlier.vtc\na.vtc\nb.vtc");
  EXPECT_EQ(model.stringParameters["VTCFileNameList"], "/d/a.vtc\n/d/b.vtc");
  EXPECT_EQ(model.stringParameters["VOIFileList"], "three.voi - R2\none.voi - Only");
  EXPECT_EQ(model.intParameters["NrOfConditions"], 3);
  EXPECT_EQ(model.intParameters["saveWeights"], 0);
  EXPECT_EQ(model.stringParameters["CondName-1"], "RestB");
  EXPECT_EQ(model.stringParameters["CondName-3"], "OtherB");
  EXPECT_EQ(readFile("autosaveList.ppi"), readFile("list.ppi"));
}

struct LoadCase {
  const char* name;
  std::string file;
  Strings listed;        // VTC paths of the subjects in the list afterwards
  std::string autosave;  // "autosaveList.ppi" afterwards
  Strings skipLines;     // log lines that say why lines were skipped, in order
};

TEST(Load, ListFileEdgeCases) {
  const std::string a0 = "/d/a.vtc\t/d/three.voi\t0\n";
  const std::string b1 = "/d/b.vtc\t/d/three.voi\t1\n";
  const std::string failedLink = "Plugin> Failed to load VTC file. Please retry.";
  const std::string noChoice = "Plugin> No condition selected. Please retry.";
  const LoadCase cases[] = {
      {"line feeds only", a0 + b1, {"/d/a.vtc", "/d/b.vtc"}, a0 + b1, {}},
      {"carriage returns and line feeds",
       "/d/a.vtc\t/d/three.voi\t0\r\n/d/b.vtc\t/d/three.voi\t1\r\n",
       {"/d/a.vtc", "/d/b.vtc"},
       a0 + b1,
       {}},
      {"no final line feed", a0 + "/d/b.vtc\t/d/three.voi\t1", {"/d/a.vtc"}, a0, {}},
      {"blank lines",
       "\n" + a0 + "\n" + b1,
       {"/d/a.vtc", "/d/b.vtc"},
       a0 + b1,
       {failedLink, failedLink}},
      {"blank inside a path",
       "/d/my a.vtc\t/d/three.voi\t0\n" + b1,
       {},
       "",
       {failedLink, failedLink}},
      {"stored index -1", "/d/a.vtc\t/d/three.voi\t-1\n" + b1, {"/d/b.vtc"}, b1, {noChoice}},
      {"stored index past the regions",
       "/d/a.vtc\t/d/three.voi\t3\n" + b1,
       {"/d/b.vtc"},
       b1,
       {noChoice}},
      {"single region written back as 0",
       "/d/a.vtc\t/d/one.voi\t4\n",
       {"/d/a.vtc"},
       "/d/a.vtc\t/d/one.voi\t0\n",
       {}},
      {"missing index takes the one before",
       a0 + "/d/b.vtc\t/d/three.voi\n",
       {"/d/a.vtc", "/d/b.vtc"},
       a0 + "/d/b.vtc\t/d/three.voi\t0\n",
       {}},
      {"missing index on the first line", "/d/a.vtc\t/d/three.voi\n", {}, "", {noChoice}},
      {"path over 300 characters",
       "/d/" + std::string(300, 'x') + ".vtc\t/d/three.voi\t0\n" + b1,
       {"/d/b.vtc"},
       b1,
       {"Plugin> VTC path longer than 300 characters refused: /d/" + std::string(300, 'x') +
        ".vtc"}},
  };
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(c.name);
    PluginHarness harness;
    standin::HostModel& model = harness.model;
    registerDocuments(model);
    writeFile("list.ppi", c.file);
    chooseFile(model, "list.ppi");

    EXPECT_TRUE(harness.run("Load"));
    EXPECT_EQ(listedTimeCourses(harness.plugin), c.listed);
    EXPECT_EQ(harness.plugin.subjectCount, static_cast<int>(c.listed.size()));
    EXPECT_EQ(harness.plugin.subjectVOIs.size(), c.listed.size());
    Strings skipLines;
    for (const std::string& line : model.log) {
      if (line.find("Please retry.") != std::string::npos ||
          line.find("refused") != std::string::npos) {
        skipLines.push_back(line);
      }
    }
    EXPECT_EQ(skipLines, c.skipLines);
    if (c.listed.empty() && c.autosave.empty()) {
      EXPECT_FALSE(std::filesystem::exists("autosaveList.ppi"));
    } else {
      EXPECT_EQ(readFile("autosaveList.ppi"), c.autosave);
    }
  }
}

TEST(Load, AskForTheProtocolOfATimeCourseThatHasNone) {
  PluginHarness harness;
  standin::HostModel& model = harness.model;
  registerDocuments(model);
  writeFile("list.ppi", "/d/c.vtc\t/d/one.voi\t0\n");
  chooseFile(model, "list.ppi");
  chooseFile(model, "c.prt");

  ASSERT_TRUE(harness.run("Load"));
  EXPECT_EQ(dialogTitles(model),
            (Strings{"Select a PPI file |.|*.ppi", "Select a PRT file |.|*.prt"}));
  EXPECT_EQ(model.log.at(3), "Plugin> PRT file: c.prt");
  EXPECT_EQ(harness.plugin.subjectCount, 1);
  EXPECT_EQ(model.stringParameters["CondName-1"], "OnlyC");
}

TEST(Load, ReplacesAnAddedListAndPublishesTheLastAcceptedSubjectsConditions) {
  PluginHarness harness;
  standin::HostModel& model = harness.model;
  registerDocuments(model);
  answerAddSubject(model, "/d/c.vtc", "/d/one.voi", "c.prt");
  ASSERT_TRUE(harness.run("AddSubject"));
  answerAddSubject(model, "/d/a.vtc", "/d/one.voi");
  ASSERT_TRUE(harness.run("AddSubject"));  // saveWeights is now true
  harness.plugin.savedDesignFiles.emplace_back();
  ASSERT_TRUE(harness.plugin.saveWeights);

  // a is accepted; b fails at its region after its protocol (three
  // conditions) has become the host's current one.
  writeFile("list.ppi", "/d/a.vtc\t/d/three.voi\t1\n/d/b.vtc\t/d/three.voi\t7\n");
  chooseFile(model, "list.ppi");
  ASSERT_TRUE(harness.run("Load"));
  EXPECT_EQ(listedTimeCourses(harness.plugin), (Strings{"/d/a.vtc"}));
  EXPECT_TRUE(harness.plugin.savedDesignFiles.empty());
  EXPECT_EQ(readFile("autosaveList.ppi"), "/d/a.vtc\t/d/three.voi\t1\n");
  EXPECT_EQ(model.intParameters["NrOfConditions"], 2);
  EXPECT_EQ(model.intParameters["saveWeights"], 1);
  EXPECT_EQ(model.stringParameters["CondName-1"], "OnlyC");  // kept from the first subject

  // In a new object saveWeights is false: the names are the accepted subject's.
  PluginHarness fresh;
  registerDocuments(fresh.model);
  writeFile("list.ppi", "/d/a.vtc\t/d/three.voi\t1\n/d/b.vtc\t/d/three.voi\t7\n");
  chooseFile(fresh.model, "list.ppi");
  ASSERT_TRUE(fresh.run("Load"));
  EXPECT_EQ(fresh.model.intParameters["NrOfConditions"], 2);
  EXPECT_EQ(fresh.model.intParameters["saveWeights"], 0);
  EXPECT_EQ(fresh.model.stringParameters["CondName-1"], "RestA");
  EXPECT_EQ(fresh.model.stringParameters["CondName-2"], "TaskA");
}

TEST(Load, AcceptingNoSubjectLeavesTheConditionParametersAsTheyWere) {
  PluginHarness harness;
  standin::HostModel& model = harness.model;
  registerDocuments(model);
  model.intParameters["NrOfConditions"] = 5;
  model.intParameters["saveWeights"] = 1;
  model.stringParameters["CondName-1"] = "Before";
  // The last line's time course and protocol load; only its region fails.
  writeFile("list.ppi", "/d/none.vtc\t/d/one.voi\t0\n/d/b.vtc\t/d/three.voi\t-1\n");
  chooseFile(model, "list.ppi");

  EXPECT_TRUE(harness.run("Load"));
  EXPECT_EQ(harness.plugin.subjectCount, 0);
  EXPECT_EQ(model.intParameters["NrOfConditions"], 5);
  EXPECT_EQ(model.intParameters["saveWeights"], 1);
  EXPECT_EQ(model.stringParameters["CondName-1"], "Before");
}

struct EmptyLoadCase {
  const char* name;
  bool ownList;      // the object has added a subject before
  bool chooseFile;   // a file is chosen in the dialog
  std::string file;  // content of the chosen file ("-" for a missing file)
  bool result;
  std::string lastLine;
};

TEST(Load, CancelledEmptyOrMissingFilesLeaveAnEmptyList) {
  const EmptyLoadCase cases[] = {
      {"cancelled, earlier session's list", false, false, "", false,
       "Plugin> No PPI file loaded. Please retry."},
      {"cancelled, own list", true, false, "", false, "Plugin> No PPI file loaded. Please retry."},
      {"empty file, earlier session's list", false, true, "", true, "Unable to open the PPI file."},
      {"empty file, own list", true, true, "", true, "Unable to open the PPI file."},
      {"missing file, own list", true, true, "-", true, "Unable to open the PPI file."},
      {"no line feed, own list", true, true, "/d/a.vtc\t/d/one.voi\t0", true,
       "Unable to open the PPI file."},
  };
  for (const EmptyLoadCase& c : cases) {
    SCOPED_TRACE(c.name);
    PluginHarness harness;
    standin::HostModel& model = harness.model;
    registerDocuments(model);
    writeFile("autosaveList.ppi", "crashed.vtc\tcrashed.voi\t0\n");
    if (c.ownList) {
      answerAddSubject(model, "/d/a.vtc", "/d/one.voi");
      ASSERT_TRUE(harness.run("AddSubject"));
    }
    if (c.chooseFile) {
      if (c.file != "-") writeFile("list.ppi", c.file);
      chooseFile(model, "list.ppi");
    }
    model.log.clear();

    EXPECT_EQ(harness.run("Load"), c.result);
    EXPECT_EQ(model.log.back(), c.lastLine);
    EXPECT_EQ(harness.plugin.subjectCount, 0);
    EXPECT_TRUE(harness.plugin.subjects.empty());
    EXPECT_EQ(readFile("autosaveList.ppi"), c.ownList ? "" : "crashed.vtc\tcrashed.voi\t0\n");
  }
}

TEST(Load, TheAutosaveListItselfLoadsWithoutLoss) {
  PluginHarness harness;
  standin::HostModel& model = harness.model;
  registerDocuments(model);
  const std::string lines = "/d/a.vtc\t/d/three.voi\t2\n/d/b.vtc\t/d/one.voi\t0\n";

  // A new object recovering what a crashed session left behind...
  writeFile("autosaveList.ppi", lines);
  chooseFile(model, "autosaveList.ppi");
  ASSERT_TRUE(harness.run("Load"));
  EXPECT_EQ(listedTimeCourses(harness.plugin), (Strings{"/d/a.vtc", "/d/b.vtc"}));
  EXPECT_EQ(readFile("autosaveList.ppi"), lines);

  // ...and loading it again while it is the object's own.
  chooseFile(model, "./autosaveList.ppi");
  ASSERT_TRUE(harness.run("Load"));
  EXPECT_EQ(listedTimeCourses(harness.plugin), (Strings{"/d/a.vtc", "/d/b.vtc"}));
  EXPECT_EQ(readFile("autosaveList.ppi"), lines);
}

TEST(Save, CopiesTheAutosaveListToTheChosenFile) {
  PluginHarness harness;
  standin::HostModel& model = harness.model;
  registerDocuments(model);
  answerAddSubject(model, "/d/a.vtc", "/d/three.voi", {}, 2);
  ASSERT_TRUE(harness.run("AddSubject"));
  answerAddSubject(model, "/d/c.vtc", "/d/one.voi", "c.prt");
  ASSERT_TRUE(harness.run("AddSubject"));
  const std::string lines = "/d/a.vtc\t/d/three.voi\t2\n/d/c.vtc\t/d/one.voi\t0\n";
  model.calls.clear();
  model.log.clear();

  chooseSaveFile(model, "saved.ppi");
  ASSERT_TRUE(harness.run("Save"));
  EXPECT_EQ(dialogTitles(model),
            (Strings{"Choose a filename to save the ppi list(.*ppi)|.|*.ppi"}));
  EXPECT_EQ(model.log, (Strings{"Plugin> Command received: Save"}));
  EXPECT_EQ(readFile("saved.ppi"), lines);

  // Saving onto the autosave list itself destroys nothing.
  chooseSaveFile(model, "autosaveList.ppi");
  ASSERT_TRUE(harness.run("Save"));
  EXPECT_EQ(readFile("autosaveList.ppi"), lines);

  // What was saved loads back as the same subjects, in the same order.
  ASSERT_TRUE(harness.run("Clear"));
  chooseFile(model, "saved.ppi");
  chooseFile(model, "c.prt");
  ASSERT_TRUE(harness.run("Load"));
  EXPECT_EQ(listedTimeCourses(harness.plugin), (Strings{"/d/a.vtc", "/d/c.vtc"}));
  EXPECT_EQ(readFile("autosaveList.ppi"), lines);
}

struct SaveStopCase {
  const char* name;
  std::string target;  // "" cancels the dialog
  std::string lastLine;
};

TEST(Save, ReportsEveryFileItCouldNotWrite) {
  const std::string longName = std::string(301, 'n');
  const SaveStopCase cases[] = {
      {"cancelled", "", "PPI Plugin> Could not save file. Please retry."},
      {"a folder", "folder", "PPI Plugin> Could not write folder. Please retry."},
      {"in a missing folder", "missing/list.ppi",
       "PPI Plugin> Could not write missing/list.ppi. Please retry."},
      {"path too long", longName,
       "Plugin> PPI path longer than 300 characters refused: " + longName},
  };
  for (const SaveStopCase& c : cases) {
    SCOPED_TRACE(c.name);
    PluginHarness harness;
    std::filesystem::create_directory("folder");
    writeFile("autosaveList.ppi", "a.vtc\tb.voi\t0\n");
    if (!c.target.empty()) chooseSaveFile(harness.model, c.target);
    EXPECT_FALSE(harness.run("Save"));
    EXPECT_EQ(harness.model.log.back(), c.lastLine);
    EXPECT_EQ(readFile("autosaveList.ppi"), "a.vtc\tb.voi\t0\n");
  }
}

TEST(Save, BeforeTheFirstSubjectCopiesWhatTheAutosaveListHolds) {
  PluginHarness harness;
  chooseSaveFile(harness.model, "nothing.ppi");
  ASSERT_TRUE(harness.run("Save"));
  EXPECT_TRUE(std::filesystem::exists("nothing.ppi"));
  EXPECT_EQ(readFile("nothing.ppi"), "");

  writeFile("autosaveList.ppi", "crashed.vtc\tcrashed.voi\t1\r\n");
  ASSERT_TRUE(harness.run("Clear"));
  chooseSaveFile(harness.model, "recovered.ppi");
  ASSERT_TRUE(harness.run("Save"));
  EXPECT_EQ(readFile("recovered.ppi"), "crashed.vtc\tcrashed.voi\t1\r\n");
  EXPECT_EQ(readFile("autosaveList.ppi"), "crashed.vtc\tcrashed.voi\t1\r\n");
}

}  // namespace
