// The command frame: the received line, the VMR check, exact-match dispatch,
// "Clear" and unknown commands.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/commands/subjectfixtures.h"
#include "tests/support/fakehost.h"

namespace {

using namespace subjectfixtures;
using Strings = std::vector<std::string>;
using testsupport::PluginHarness;

const char* const kNoVMR =
    "This plugin requires a VMR to operate. Make sure that a VMR is open and that its window is "
    "selected.";

// Adds one subject with a single-region VOI file and a linked protocol.
void addOneSubject(PluginHarness& harness, const std::string& name) {
  addProtocol(harness.model, name + ".prt", {"A"});
  addTimeCourse(harness.model, name + ".vtc", 20, name + ".prt");
  addRegionFile(harness.model, name + ".voi", {"R"});
  answerAddSubject(harness.model, name + ".vtc", name + ".voi");
  ASSERT_TRUE(harness.run("AddSubject"));
  harness.model.log.clear();
  harness.model.calls.clear();
}

TEST(Dispatch, OnlyTheExactNameIsACommand) {
  const std::string longName = "Clear" + std::string(600, 'x');
  const std::string texts[] = {"addsubject", "ADDSUBJECT", "AddSubject ", " Load", "clear",
                               "Save\n",     "",           "Start.",      "Clea",  longName};
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    PluginHarness harness;
    addOneSubject(harness, "s1");
    EXPECT_TRUE(harness.run(text));
    const std::string unknown = "Plugin> Received unknown command: \"" + text + "\".";
    ASSERT_EQ(harness.model.log.size(), 2u);
    EXPECT_EQ(harness.model.log[0], ("Plugin> Command received: " + text).substr(0, 500));
    EXPECT_EQ(harness.model.log[1], unknown.substr(0, 500));
    EXPECT_TRUE(harness.model.messageBoxes.empty());
    EXPECT_TRUE(harness.model.callsTo("nkGetOpenFileName").empty());
    EXPECT_TRUE(harness.model.callsTo("nkGetSaveFileName").empty());
    EXPECT_EQ(harness.plugin.subjectCount, 1);
  }
}

TEST(Dispatch, WithoutAVMRNoCommandRuns) {
  for (const char* command : {"AddSubject", "Start", "Load", "Save", "Clear", "Unknown"}) {
    SCOPED_TRACE(command);
    PluginHarness harness;
    addOneSubject(harness, "s1");
    const std::string autosave = testsupport::readFile("autosaveList.ppi");
    harness.model.vmrOpen = false;
    chooseFile(harness.model, "s1.vtc");
    chooseSaveFile(harness.model, "copy.ppi");

    EXPECT_FALSE(harness.run(command));
    EXPECT_EQ(harness.model.log, (Strings{std::string("Plugin> Command received: ") + command}));
    EXPECT_EQ(harness.model.messageBoxes, (Strings{kNoVMR}));
    EXPECT_TRUE(harness.model.callsTo("nkGetOpenFileName").empty());
    EXPECT_TRUE(harness.model.callsTo("nkGetSaveFileName").empty());
    EXPECT_EQ(harness.plugin.subjectCount, 1);
    EXPECT_EQ(harness.plugin.subjects.size(), 1u);
    EXPECT_EQ(testsupport::readFile("autosaveList.ppi"), autosave);
  }
}

TEST(Clear, EmptiesTheListAndItsAutosaveButNotTheGUIParameters) {
  PluginHarness harness;
  addOneSubject(harness, "s1");
  addOneSubject(harness, "s2");
  harness.plugin.savedDesignFiles.emplace_back();
  auto stringsBefore = harness.model.stringParameters;
  stringsBefore["Command"] = "Clear";
  const auto intsBefore = harness.model.intParameters;

  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    harness.model.log.clear();
    EXPECT_TRUE(harness.run("Clear"));
    EXPECT_EQ(harness.model.log,
              (Strings{"Plugin> Command received: Clear", "Plugin> Received command: \"Clear\"."}));
    EXPECT_EQ(harness.plugin.subjectCount, 0);
    EXPECT_TRUE(harness.plugin.subjects.empty());
    EXPECT_TRUE(harness.plugin.subjectVOIs.empty());
    EXPECT_TRUE(harness.plugin.savedDesignFiles.empty());
    EXPECT_TRUE(harness.plugin.saveWeights);
    EXPECT_EQ(harness.model.stringParameters, stringsBefore);
    EXPECT_EQ(harness.model.intParameters, intsBefore);
    EXPECT_EQ(testsupport::readFile("autosaveList.ppi"), "");
  }
}

TEST(Clear, LeavesAnAutosaveFileOfAnEarlierSessionAlone) {
  PluginHarness harness;
  testsupport::writeFile("autosaveList.ppi", "earlier.vtc\tearlier.voi\t0\n");
  EXPECT_TRUE(harness.run("Clear"));
  EXPECT_TRUE(harness.run("Clear"));
  EXPECT_EQ(testsupport::readFile("autosaveList.ppi"), "earlier.vtc\tearlier.voi\t0\n");
}

struct MissingCase {
  const char* command;
  const char* missing;
};

TEST(Dispatch, AHandlerNeedingAMissingHostFunctionIsRefusedBeforeItStarts) {
  const MissingCase cases[] = {
      {"AddSubject", "nkGetIntegerInput"}, {"AddSubject", "nkGetVOI"},
      {"Load", "nkLoadProtocol"},          {"Load", "nkSetIntParameter"},
      {"Save", "nkGetSaveFileName"},
  };
  for (const MissingCase& c : cases) {
    SCOPED_TRACE(std::string(c.command) + " without " + c.missing);
    PluginHarness harness;
    addOneSubject(harness, "s1");
    harness.host.remove(c.missing);
    ASSERT_TRUE(harness.host.bind());
    chooseFile(harness.model, "s1.ppi");

    EXPECT_FALSE(harness.run(c.command));
    EXPECT_EQ(harness.model.log, (Strings{std::string("Plugin> Command received: ") + c.command,
                                          std::string("Plugin> The host does not offer ") +
                                              c.missing + "; command refused."}));
    EXPECT_TRUE(harness.model.callsTo("nkGetOpenFileName").empty());
    EXPECT_EQ(harness.plugin.subjectCount, 1);
  }
}

}  // namespace
