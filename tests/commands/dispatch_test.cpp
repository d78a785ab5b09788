// The command frame: the received line, the VMR check and exact-match dispatch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/commands/subjectfixtures.h"
#include "tests/support/fakehost.h"

namespace {

using namespace subjectfixtures;
using Strings = std::vector<std::string>;
using testsupport::PluginHarness;
using testsupport::readFile;

// A harness whose list holds /d/a.vtc, with the log and calls cleared.
void addSubjectA(PluginHarness& harness) {
  registerStudy(harness.model);
  answerAddSubject(harness.model, "/d/a.vtc", "/d/one.voi");
  ASSERT_TRUE(harness.run("AddSubject"));
  harness.model.log.clear();
  harness.model.calls.clear();
}

TEST(Dispatch, OnlyTheExactNameIsACommandAndNothingRunsWithoutAVMR) {
  const std::string longName = "Clear" + std::string(600, 'x');
  for (const std::string& text :
       {std::string("addsubject"), std::string("CLEAR"), std::string("AddSubject "),
        std::string(" Load"), std::string("Save\n"), std::string(""), longName}) {
    SCOPED_TRACE(text);
    PluginHarness harness;
    addSubjectA(harness);
    EXPECT_TRUE(harness.run(text));
    EXPECT_EQ(harness.model.log,
              (Strings{("Plugin> Command received: " + text).substr(0, 500),
                       ("Plugin> Received unknown command: \"" + text + "\".").substr(0, 500)}));
    EXPECT_TRUE(fileDialogs(harness.model).empty());
    EXPECT_EQ(harness.plugin.state.subjectCount(), 1);
  }
  for (const char* command : {"AddSubject", "Start", "Load", "Save", "Clear"}) {
    SCOPED_TRACE(command);
    PluginHarness harness;
    addSubjectA(harness);
    harness.model.vmrOpen = false;
    EXPECT_FALSE(harness.run(command));
    EXPECT_EQ(harness.model.log, (Strings{std::string("Plugin> Command received: ") + command}));
    EXPECT_EQ(harness.model.messageBoxes,
              (Strings{"This plugin requires a VMR to operate. Make sure that a VMR is open and "
                       "that its window is selected."}));
    EXPECT_TRUE(fileDialogs(harness.model).empty());
    EXPECT_EQ(harness.plugin.state.subjects.size(), 1u);
    EXPECT_EQ(readFile("autosaveList.ppi"), "/d/a.vtc\t/d/one.voi\t0\n");
  }
}

}  // namespace
