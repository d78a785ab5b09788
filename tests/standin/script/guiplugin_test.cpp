// ppi_gui.js in the embedded engine driving the real plug-in: the subject
// commands as a user clicks them, with the plug-in's own dialogs answered.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "standin/script/guiscript.h"
#include "tests/commands/subjectfixtures.h"
#include "tests/support/fakehost.h"

namespace standin::script {
namespace {

using namespace subjectfixtures;
using ::testing::HasSubstr;

class GuiWithPlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    addProtocol(model, "/d/faces.prt", {"Faces", "Face", "Rest"});
    for (const char* subject : {"s1", "s2"}) {
      const std::string folder = std::string("/d/") + subject;
      addTimeCourse(model, folder + "/run.vtc", 20, "/d/faces.prt");
      addRegionFile(model, folder + "/seed.voi", {"FFA", "PPA"});
    }
    ASSERT_TRUE(gui.loadFile(PPI_GUI_SCRIPT_PATH)) << gui.error();
  }

  const DialogControl& control(const std::string& id) { return *gui.dialog().find(id); }

  testsupport::PluginHarness harness;
  HostModel& model = harness.model;
  GuiScript gui{model, [this] { return harness.plugin.execute(); }};
};

TEST_F(GuiWithPlugin, AddsSubjectsAndShowsTheirListsAndTheSharedContrast) {
  cancelFile(model);  // a cancelled dialog leaves the list as it was
  ASSERT_TRUE(gui.click("addSubject")) << gui.error();
  EXPECT_EQ(control("subjects").value, "(no subjects)");
  EXPECT_EQ(model.log.back(), "Plugin> No VTC file loaded. Please retry.");

  answerAddSubject(model, "/d/s1/run.vtc", "/d/s1/seed.voi", {}, 0);
  ASSERT_TRUE(gui.click("addSubject")) << gui.error();
  EXPECT_EQ(control("list1").value, "Faces\nFace\nRest");
  EXPECT_THAT(control("contrastNote").value, Not(HasSubstr("holds for all subjects")));

  answerAddSubject(model, "/d/s2/run.vtc", "/d/s2/seed.voi", {}, 1);
  ASSERT_TRUE(gui.click("addSubject")) << gui.error();
  EXPECT_EQ(control("subjects").value,
            "1. run.vtc  |  seed.voi - FFA\n2. run.vtc  |  seed.voi - PPA");
  EXPECT_EQ(model.messageBoxes.size(), 1u) << "the plug-in's note on the second subject";
  EXPECT_THAT(control("contrastNote").value, HasSubstr("holds for all subjects"));
  EXPECT_EQ(harness.plugin.state.subjectCount(), 2);
}

TEST_F(GuiWithPlugin, SavesClearsAndLoadsTheSubjectList) {
  answerAddSubject(model, "/d/s1/run.vtc", "/d/s1/seed.voi", {}, 0);
  ASSERT_TRUE(gui.click("addSubject"));
  answerAddSubject(model, "/d/s2/run.vtc", "/d/s2/seed.voi", {}, 1);
  ASSERT_TRUE(gui.click("addSubject"));
  chooseSaveFile(model, "two.ppi");
  ASSERT_TRUE(gui.click("saveList")) << gui.error();
  EXPECT_EQ(testsupport::readFile("two.ppi"),
            "/d/s1/run.vtc\t/d/s1/seed.voi\t0\n/d/s2/run.vtc\t/d/s2/seed.voi\t1\n");

  ASSERT_TRUE(gui.click("clearList")) << gui.error();
  EXPECT_EQ(harness.plugin.state.subjectCount(), 0);
  EXPECT_EQ(control("subjects").value, "(no subjects)");
  EXPECT_EQ(model.stringParameters["VTCFileNameList"], "");

  // Loading after adding: the lists hold the loaded subjects only.
  answerAddSubject(model, "/d/s2/run.vtc", "/d/s2/seed.voi", {}, 0);
  ASSERT_TRUE(gui.click("addSubject"));
  chooseFile(model, "two.ppi");
  ASSERT_TRUE(gui.click("loadList")) << gui.error();
  EXPECT_EQ(harness.plugin.state.subjectCount(), 2);
  EXPECT_EQ(control("subjects").value,
            "1. run.vtc  |  seed.voi - FFA\n2. run.vtc  |  seed.voi - PPA");
  EXPECT_EQ(model.stringParameters["VTCFileNameList"], "/d/s1/run.vtc\n/d/s2/run.vtc");
}

}  // namespace
}  // namespace standin::script
