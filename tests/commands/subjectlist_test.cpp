// "AddSubject", "Load" and "Save" over several subjects: the note and the
// condition names, list files read and written, and the autosave list.
#include <gtest/gtest.h>

#include <algorithm>
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

const std::string kA = "/d/a.vtc\t/d/one.voi\t0\n";
const std::string kB = "/d/b.vtc\t/d/three.voi\t1\n";
const std::string kNoChoice = "Plugin> No condition selected. Please retry.";

struct ApproachCase {
  int approach;
  std::size_t notes;
  std::string saveWeights;  // "saveWeights" after each subject
  Strings firstName;        // "CondName-1" after each subject
};

TEST(AddSubject, UnderTheStandardApproachTheFirstProtocolServesFromTheSecondSubjectOn) {
  const ApproachCase cases[] = {{0, 2, "011", {"RestA", "RestA", "RestA"}},
                                {1, 0, "000", {"RestA", "RestB", "OnlyC"}}};
  for (const ApproachCase& c : cases) {
    SCOPED_TRACE(c.approach);
    PluginHarness harness;
    standin::HostModel& model = harness.model;
    registerStudy(model);
    model.intParameters["whichapproach"] = c.approach;
    model.stringParameters["VOIFileList"] = "old.voi - X";
    std::string saveWeights;
    Strings firstName;
    for (int s = 0; s < 3; ++s) {
      model.calls.clear();
      if (s == 1) {  // the second subject, cancelled once: any note comes before the dialog
        EXPECT_TRUE(harness.run("AddSubject"));
        auto shown = std::find_if(model.calls.begin(), model.calls.end(), [](const auto& call) {
          return call.function == "nkMessageBox" || call.function == "nkGetOpenFileName";
        });
        EXPECT_EQ(shown->function, c.notes ? "nkMessageBox" : "nkGetOpenFileName");
      }
      if (s == 0) answerAddSubject(model, "/d/a.vtc", "/d/three.voi", {}, 1);
      if (s == 1) answerAddSubject(model, "/d/b.vtc", "/d/one.voi");
      if (s == 2) answerAddSubject(model, "/d/c.vtc", "/d/three.voi", "c.prt", 2);
      ASSERT_TRUE(harness.run("AddSubject"));
      saveWeights += std::to_string(model.intParameters["saveWeights"]);
      firstName.push_back(model.stringParameters["CondName-1"]);
    }
    EXPECT_EQ(model.messageBoxes,
              Strings(c.notes,
                      "Note: you are about to select multiple VTC's. \n\nWeights chosen "
                      "in the standard approach are applied to all loaded VTC's.\nPlease "
                      "make sure that the protocols are the same for each VTC."));
    EXPECT_EQ(saveWeights, c.saveWeights);
    EXPECT_EQ(firstName, c.firstName);
    EXPECT_EQ(model.intParameters["NrOfConditions"], 1);
    EXPECT_EQ(model.stringParameters["VTCFileList"], "a.vtc\nb.vtc\nc.vtc");
    EXPECT_EQ(model.stringParameters["VTCFileNameList"], "/d/a.vtc\n/d/b.vtc\n/d/c.vtc");
    EXPECT_EQ(model.stringParameters["VOIFileList"],
              "old.voi - X\nthree.voi - R1\none.voi - Only\nthree.voi - R2");
    EXPECT_EQ(readFile("autosaveList.ppi"),
              "/d/a.vtc\t/d/three.voi\t1\n/d/b.vtc\t/d/one.voi\t0\n/d/c.vtc\t/d/three.voi\t2\n");
    // The last subject in detail: its time course comes without a protocol.
    EXPECT_EQ(fileDialogs(model),
              (Strings{"Select a VTC file |.|*.vtc", "Select a PRT file |.|*.prt",
                       "Select a VOI file |.|*.voi"}));
    EXPECT_EQ(Strings(model.log.end() - 5, model.log.end()),
              (Strings{"Plugin> Command received: AddSubject", "Plugin> PRT file: c.prt",
                       "Plugin> Number of volumes in VTC: 50", "Plugin> VOI selected: R2",
                       "Plugin> VTC file: c.vtc"}));
    EXPECT_EQ(model.callsTo("nkGetIntegerInput").at(0).arguments,
              (Strings{"Which VOI do you want to use? Enter a number between 0 and 2 .\n"
                       "0 : R0 \n1 : R1 \n2 : R2 \n",
                       "0", "0", "2"}));
  }
}

TEST(AutosaveList, IsLeftAloneUntilTheFirstSubjectAndThenHoldsExactlyTheList) {
  PluginHarness harness;
  standin::HostModel& model = harness.model;
  registerStudy(model);
  writeFile("autosaveList.ppi", "crashed\r\n");
  chooseSaveFile(model, "recovered.ppi");
  EXPECT_FALSE(harness.run("Load"));  // cancelled, as is the subject
  ASSERT_TRUE(harness.run("AddSubject") && harness.run("Clear") && harness.run("Save"));
  EXPECT_EQ(readFile("recovered.ppi"), "crashed\r\n");
  EXPECT_EQ(readFile("autosaveList.ppi"), "crashed\r\n");

  answerAddSubject(model, "/d/a.vtc", "/d/one.voi");
  chooseFile(model, "/d/b.vtc");  // fails at the VOI dialog
  chooseSaveFile(model, "first.ppi");
  ASSERT_TRUE(harness.run("AddSubject") && harness.run("AddSubject") && harness.run("Save"));
  answerAddSubject(model, "/d/b.vtc", "/d/three.voi", {}, 1);
  ASSERT_TRUE(harness.run("AddSubject"));
  EXPECT_EQ(readFile("first.ppi"), kA);
  EXPECT_EQ(readFile("autosaveList.ppi"), kA + kB);

  model.calls.clear();
  model.log.clear();
  chooseSaveFile(model, "./autosaveList.ppi");
  chooseSaveFile(model, "second.ppi");
  ASSERT_TRUE(harness.run("Save") && harness.run("Save"));
  EXPECT_EQ(fileDialogs(model),
            Strings(2, "Choose a filename to save the ppi list(.*ppi)|.|*.ppi"));
  EXPECT_EQ(model.log, Strings(2, "Plugin> Command received: Save"));
  EXPECT_EQ(readFile("autosaveList.ppi"), kA + kB);
  EXPECT_EQ(readFile("second.ppi"), kA + kB);

  // Loading it back gives the same list, still mirrored; so does the autosave list itself.
  for (const char* path : {"second.ppi", "autosaveList.ppi"}) {
    chooseFile(model, path);
    ASSERT_TRUE(harness.run("Load"));
    EXPECT_EQ(harness.plugin.state.subjects.at(1).timeCourse.header.vtcPath(), "/d/b.vtc");
    EXPECT_EQ(readFile("autosaveList.ppi"), kA + kB);
  }

  // "Clear" empties the list and the file, and leaves saveWeights and the GUI's parameters.
  harness.plugin.state.savedDesignFiles.emplace_back();
  auto strings = model.stringParameters;
  const auto ints = model.intParameters;
  strings["Command"] = "Clear";
  strings["PPIReport"] = "Clear: the subject list is empty";
  model.log.clear();
  ASSERT_TRUE(harness.run("Clear") && harness.run("Clear"));
  EXPECT_EQ(model.log,
            (Strings{"Plugin> Command received: Clear", "Plugin> Received command: \"Clear\".",
                     "Plugin> Command received: Clear", "Plugin> Received command: \"Clear\"."}));
  EXPECT_TRUE(harness.plugin.state.subjects.empty() &&
              harness.plugin.state.savedDesignFiles.empty() &&
              harness.plugin.state.subjectCount() == 0);
  EXPECT_TRUE(harness.plugin.state.saveWeights);
  EXPECT_EQ(model.stringParameters, strings);
  EXPECT_EQ(model.intParameters, ints);
  EXPECT_EQ(readFile("autosaveList.ppi"), "");
}

TEST(Save, SavesTheListEvenWhenTheAutosaveFileIsLost) {
  PluginHarness harness;
  standin::HostModel& model = harness.model;
  registerStudy(model);
  answerAddSubject(model, "/d/a.vtc", "/d/one.voi");
  ASSERT_TRUE(harness.run("AddSubject"));
  std::filesystem::remove("autosaveList.ppi");  // removed behind the plug-in's back
  answerAddSubject(model, "/d/b.vtc", "/d/three.voi", {}, 1);
  chooseSaveFile(model, "list.ppi");
  ASSERT_TRUE(harness.run("AddSubject") && harness.run("Save"));
  EXPECT_EQ(readFile("list.ppi"), kA + kB);
  chooseSaveFile(model, "autosaveList.ppi");
  ASSERT_TRUE(harness.run("Save"));
  EXPECT_EQ(readFile("autosaveList.ppi"), kA + kB);
}

TEST(Save, ReportsEveryFileItCouldNotWrite) {
  const std::string longName = std::string(301, 'n');
  const std::pair<std::string, std::string> cases[] = {
      {"", "PPI Plugin> Could not save file. Please retry."},
      {"folder", "PPI Plugin> Could not write folder. Please retry."},
      {"no/list.ppi", "PPI Plugin> Could not write no/list.ppi. Please retry."},
      {longName, "Plugin> PPI path longer than 300 characters refused: " + longName},
  };
  for (const auto& [target, lastLine] : cases) {
    PluginHarness harness;
    std::filesystem::create_directory("folder");
    writeFile("autosaveList.ppi", kA);
    if (!target.empty()) chooseSaveFile(harness.model, target);
    EXPECT_FALSE(harness.run("Save"));
    EXPECT_EQ(harness.model.log.back(), lastLine);
    EXPECT_EQ(readFile("autosaveList.ppi"), kA);
  }
}

TEST(Load, ReplacesAnAddedListAndPublishesTheLastAcceptedSubjectsProtocol) {
  PluginHarness harness;
  standin::HostModel& model = harness.model;
  registerStudy(model);
  answerAddSubject(model, "/d/c.vtc", "/d/one.voi", "c.prt");
  answerAddSubject(model, "/d/a.vtc", "/d/one.voi");
  ASSERT_TRUE(harness.run("AddSubject") && harness.run("AddSubject"));  // saveWeights is now on
  harness.plugin.state.savedDesignFiles.emplace_back();
  model.log.clear();
  model.calls.clear();

  // b fails at its region once its protocol has become the host's current one.
  writeFile("list.ppi", "/d/a.vtc\t/d/three.voi\t2\n/d/b.vtc\t/d/three.voi\t3\n");
  chooseFile(model, "list.ppi");
  ASSERT_TRUE(harness.run("Load"));
  EXPECT_EQ(fileDialogs(model), (Strings{"Select a PPI file |.|*.ppi"}));
  EXPECT_TRUE(model.callsTo("nkGetIntegerInput").empty());
  EXPECT_EQ(model.log,
            (Strings{"Plugin> Command received: Load", "Plugin> Received command: \"Load\".",
                     "\tSubject \t0\n\t/d/a.vtc\n\t/d/three.voi\n\t2",
                     "Plugin> Number of volumes in VTC: 30", "Plugin> VOI selected: R2",
                     "Plugin> VTC file: a.vtc", "\tSubject \t1\n\t/d/b.vtc\n\t/d/three.voi\n\t3",
                     "Plugin> Number of volumes in VTC: 40", kNoChoice}));
  EXPECT_EQ(harness.plugin.state.subjectCount(), 1);
  EXPECT_TRUE(harness.plugin.state.savedDesignFiles.empty());
  EXPECT_EQ(readFile("autosaveList.ppi"), "/d/a.vtc\t/d/three.voi\t2\n");
  EXPECT_EQ(model.stringParameters["VTCFileList"], "c.vtc\na.vtc\na.vtc");
  EXPECT_EQ(model.stringParameters["VOIFileList"],
            "one.voi - Only\none.voi - Only\nthree.voi - R2");
  EXPECT_EQ(model.intParameters["NrOfConditions"], 2);
  EXPECT_EQ(model.intParameters["saveWeights"], 1);
  EXPECT_EQ(model.stringParameters["CondName-1"], "OnlyC");  // the first subject's

  // A cancelled "Load" leaves the list, and so its file, empty.
  EXPECT_FALSE(harness.run("Load"));
  EXPECT_EQ(model.log.back(), "Plugin> No PPI file loaded. Please retry.");
  EXPECT_EQ(harness.plugin.state.subjectCount(), 0);
  EXPECT_EQ(readFile("autosaveList.ppi"), "");

  // A new object has saveWeights off: the names are those of the accepted subject.
  PluginHarness fresh;
  registerStudy(fresh.model);
  chooseFile(fresh.model, harness.directory.path() / "list.ppi");
  ASSERT_TRUE(fresh.run("Load"));
  EXPECT_EQ(fresh.model.intParameters["saveWeights"], 0);
  EXPECT_EQ(fresh.model.stringParameters["CondName-1"], "RestA");
  EXPECT_EQ(fresh.model.stringParameters["CondName-2"], "TaskA");
}

TEST(Load, ListFileEdgeCases) {
  const std::string longPath = "/d/" + std::string(300, 'x') + ".vtc";
  const std::string skipLines[] = {
      "Unable to open the PPI file.", "Plugin> Failed to load VTC file. Please retry.", kNoChoice,
      "Plugin> VTC path longer than 300 characters refused: " + longPath,
      "Plugin> VTC path holding a NUL character refused: /d/a"};
  const std::string a3 = "/d/a.vtc\t/d/three.voi";
  // file; "autosaveList.ppi" afterwards ("-": the earlier session's, untouched); the lines
  // that skip a subject (U: no line to read, L: linking failed, N: no region, P: path refused,
  // Z: path refused for its NUL character, R: the line itself rejected, by its number)
  const std::string cases[][3] = {
      {kA + kB, kA + kB, ""},
      {"", "-", "U"},
      {"\n \t\n", "-", "U"},
      {"/d/a.vtc\t/d/one.voi\t0", kA, ""},  // the only line, without a line feed
      {"/d/a.vtc\t/d/one.voi\t0\r\n/d/b.vtc\t/d/three.voi\t1\r\n", kA + kB, ""},
      {kA + "/d/b.vtc\t/d/three.voi\t1", kA + kB, ""},  // no final line feed
      {"\n" + kA + "\n" + kB, kA + kB, ""},             // blank lines are skipped
      {"/d/a.vtc  /d/one.voi 0\n" + kB, kA + kB, ""},   // no tab: split at blanks
      {"/d/my a.vtc\t/d/one.voi\t0\n" + kB, kB, "L"},   // a blank inside a path
      {"/d/my a.vtc /d/one.voi 0\n" + kB, kB, "R"},     // without tabs, four fields
      {a3 + "\t-1\n" + kA, kA, "R"},
      {a3 + "\tx1\n" + kA, kA, "R"},
      {a3 + "\t99999999999\n" + kA, kA, "R"},
      {a3 + "\t3\n" + kA, kA, "N"},
      {"/d/a.vtc\t/d/one.voi\t4\n", kA, ""},
      {kB + a3 + "\n" + kA, kB + kA, "R"},  // a missing index swallows no later line
      {"\t/d/one.voi\t0\n" + kA, kA, "R"},
      {a3 + "\t1\t/d/m.sdm\textra\n", "-", "R"},
      // A fourth field, the motion-estimates file, is kept with the subject.
      {a3 + "\t1\t/d/a_3DMC.sdm\r\n" + kB, a3 + "\t1\t/d/a_3DMC.sdm\n" + kB, ""},
      {a3 + "\t1\t\n", "-", "R"},
      {"/d/c.vtc\t/d/one.voi\t0\n", "/d/c.vtc\t/d/one.voi\t0\n", ""},  // protocol asked for
      {longPath + "\t/d/one.voi\t0\n" + kB, kB, "P"},
      {std::string("/d/a\0.vtc\t/d/one.voi\t0\n", 23) + kB, kB, "Z"},
  };
  for (const auto& [file, autosave, skips] : cases) {
    SCOPED_TRACE(file);
    PluginHarness harness;
    standin::HostModel& model = harness.model;
    registerStudy(model);
    writeFile("autosaveList.ppi", "earlier\n");
    model.intParameters = {{"NrOfConditions", 5}, {"saveWeights", 1}};
    model.stringParameters["CondName-1"] = "Before";
    writeFile("list.ppi", file);
    chooseFile(model, "list.ppi");
    chooseFile(model, "c.prt");

    EXPECT_TRUE(harness.run("Load"));
    const auto accepted = autosave == "-" ? 0 : std::count(autosave.begin(), autosave.end(), '\n');
    EXPECT_EQ(harness.plugin.state.subjectCount(), accepted);
    EXPECT_EQ(harness.plugin.state.subjects.size(), static_cast<std::size_t>(accepted));
    Strings expectedSkips, skipped;
    for (char skip : skips) {
      expectedSkips.push_back(skip == 'R' ? "R" : skipLines[std::string("ULNPZ").find(skip)]);
    }
    for (const std::string& line : model.log) {
      if (line.find("of the PPI file rejected: it ") != line.npos) {
        skipped.push_back("R");
      } else if (line.find("Please retry.") != line.npos || line.find("refused") != line.npos ||
                 line.find("Unable") != line.npos) {
        skipped.push_back(line);
      }
    }
    EXPECT_EQ(skipped, expectedSkips);
    EXPECT_EQ(readFile("autosaveList.ppi"), autosave == "-" ? "earlier\n" : autosave);
    // With no subject accepted the GUI's conditions stay as they were.
    EXPECT_EQ(model.intParameters["NrOfConditions"] == 5, accepted == 0);
    EXPECT_EQ(model.stringParameters["CondName-1"] == "Before", accepted == 0);
    EXPECT_EQ(model.intParameters["saveWeights"], accepted == 0 ? 1 : 0);
  }
}

}  // namespace

namespace {

// A time course listed twice, however the path is written, is refused at its
// second line; paths that only look alike are not.
TEST(LoadList, ATimeCourseListedTwiceIsRefusedHoweverItsPathIsWritten) {
  const struct {
    const char* second;
    bool refused;
  } rows[] = {
      {"/d/a.vtc", true},  {"/d//a.vtc", true},     {"/d/./a.vtc", true}, {"/d/x/../a.vtc", true},
      {"/d/b.vtc", false}, {"/d/a.vtc.vtc", false}, {"/D/a.vtc", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.second);
    PluginHarness harness;
    registerStudy(harness.model);
    for (const char* alias :
         {"/d//a.vtc", "/d/./a.vtc", "/d/x/../a.vtc", "/d/a.vtc.vtc", "/D/a.vtc"})
      addTimeCourse(harness.model, alias, 30, "a.prt");
    writeFile("two.ppi",
              std::string("/d/a.vtc\t/d/one.voi\t0\n") + row.second + "\t/d/one.voi\t0\n");
    chooseFile(harness.model, "two.ppi");
    ASSERT_TRUE(harness.run("Load"));
    EXPECT_EQ(harness.plugin.state.subjectCount(), row.refused ? 1 : 2);
    if (row.refused) {
      EXPECT_EQ(harness.model.log.back(),
                "Plugin> Line 2 of the PPI file rejected: it lists the time course of line 1 "
                "again.");
    }
  }
}

// A long list with many bad lines: the report names the first 25 and counts
// the others; the log keeps a line for every one.
TEST(LoadList, TheReportNamesTheFirstRefusalsAndCountsTheRest) {
  const struct {
    int refused;
    std::size_t problems;
    std::string last;  // the report's last problem
  } rows[] = {
      {25, 25, "error: many.ppi line 26: rejected: it has 1 field;"},
      {26, 26,
       "error: many.ppi: 1 more line refused, from line 27 on; the log gives each one's reason. "
       "Correct the lines listed above first: the others often share their cause."},
      {400, 26,
       "error: many.ppi: 375 more lines refused, from line 27 on; the log gives each one's "
       "reason. Correct the lines listed above first: the others often share their cause."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.refused);
    PluginHarness harness;
    registerStudy(harness.model);
    std::string list = "/d/a.vtc\t/d/one.voi\t0\n";
    for (int i = 0; i < row.refused; ++i) list += "only-one-field\n";
    writeFile("many.ppi", list);
    chooseFile(harness.model, "many.ppi");
    ASSERT_TRUE(harness.run("Load"));
    EXPECT_EQ(harness.plugin.state.subjectCount(), 1);
    const auto& problems = harness.plugin.state.report.problems();
    ASSERT_EQ(problems.size(), row.problems);
    EXPECT_EQ(ppi::Report::problemLine(problems.back()).substr(0, row.last.size()), row.last);
    const auto rejectedLines =
        std::count_if(harness.model.log.begin(), harness.model.log.end(),
                      [](const std::string& line) { return line.rfind("Plugin> Line ", 0) == 0; });
    EXPECT_EQ(rejectedLines, row.refused);
    EXPECT_EQ(harness.plugin.state.report.summary(),
              "Load: 1 of " + std::to_string(row.refused + 1) + " subjects loaded from many.ppi");
  }
}

}  // namespace
