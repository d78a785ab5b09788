// ppi_gui.js in the embedded engine, driven as a user would, against a
// plug-in stand-in that answers the commands through the host model.
#include "standin/script/guiscript.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/fakehost.h"

namespace standin::script {
namespace {

using ::testing::HasSubstr;

std::string appended(const std::string& list, const std::string& line) {
  return list.empty() ? line : list + "\n" + line;
}

// Publishes what the plug-in publishes after each command, for subjects with
// the given conditions; records the commands and the settings of "Start".
class PluginStandIn {
 public:
  explicit PluginStandIn(HostModel& model, std::vector<std::string> conditions)
      : model_(model), conditions_(std::move(conditions)) {}

  bool execute() {
    const std::string command = model_.stringParameters["Command"];
    commands.push_back(command);
    if (command == "AddSubject") {
      ++subjects_;
      const std::string name = "s" + std::to_string(subjects_) + ".vtc";
      auto& strings = model_.stringParameters;
      strings["VTCFileList"] = appended(strings["VTCFileList"], name);
      strings["VTCFileNameList"] = appended(strings["VTCFileNameList"], "/data/" + name);
      strings["VOIFileList"] = appended(strings["VOIFileList"], "seed.voi - FFA");
      model_.intParameters["NrOfConditions"] = static_cast<int>(conditions_.size());
      for (std::size_t i = 0; i < conditions_.size(); ++i) {
        strings["CondName-" + std::to_string(i + 1)] = conditions_[i];
      }
    } else if (command == "Start") {
      startSettings = model_.intParameters;
      std::string sdms;
      for (int i = 1; i <= subjects_; ++i) {
        sdms = appended(sdms, "/data/group/standPPI_s" + std::to_string(i) + "_seed.sdm");
      }
      model_.stringParameters["mdmFileName"] =
          model_.intParameters["saveMDM"] ? mdmPath : std::string();
      model_.stringParameters["SDMFileList"] = sdms;
      model_.intParameters["nr_subs"] = subjects_;
    }
    return true;
  }

  std::vector<std::string> commands;
  std::map<std::string, int> startSettings;
  std::string mdmPath = "Multistudy_PPI.mdm";

 private:
  HostModel& model_;
  std::vector<std::string> conditions_;
  int subjects_ = 0;
};

class GuiScriptTest : public ::testing::Test {
 protected:
  testsupport::ScopedWorkingDirectory directory;
  HostModel model;
  PluginStandIn plugin{model, {"Faces", "Face", "Rest"}};
  GuiScript gui{model, [this] { return plugin.execute(); }};
};

TEST_F(GuiScriptTest, ShowsTheDialogWithItsSectionsAndStartsWithEmptyLists) {
  model.stringParameters["VTCFileList"] = "left over.vtc";
  ASSERT_TRUE(gui.loadFile(PPI_GUI_SCRIPT_PATH)) << gui.error();
  const std::string text = gui.render();
  EXPECT_THAT(text, HasSubstr("=== PPI plugin ===\n-- Subjects --\n"
                              "  [Add subject] [Load list] [Save list] [Clear]\n"));
  EXPECT_THAT(text, HasSubstr("  Approach:  (*) Standard  ( ) Generalized\n"));
  EXPECT_THAT(text, HasSubstr("  [ ] Multi-study mode"));
  EXPECT_THAT(text, HasSubstr("  Checks: Error: No subjects"));
  EXPECT_EQ(model.stringParameters["VTCFileList"], "");
  EXPECT_EQ(model.intParameters["whichapproach"], 0);
}

TEST_F(GuiScriptTest, RunsAStudyAndWritesTheMultiStudyFile) {
  ASSERT_TRUE(gui.loadFile(PPI_GUI_SCRIPT_PATH)) << gui.error();
  ASSERT_TRUE(gui.click("addSubject")) << gui.error();
  ASSERT_TRUE(gui.click("addSubject")) << gui.error();
  ASSERT_TRUE(gui.moveItem("Faces", "list2")) << gui.error();
  ASSERT_TRUE(gui.moveItem("Face", "list0")) << gui.error();
  ASSERT_TRUE(gui.setChecked("saveMDM", true)) << gui.error();
  ASSERT_TRUE(gui.setChecked("addMoCo", true)) << gui.error();
  ASSERT_TRUE(gui.setChecked("zMC", true)) << gui.error();
  EXPECT_THAT(gui.render(), HasSubstr("    1. s1.vtc  |  seed.voi - FFA\n"
                                      "    2. s2.vtc  |  seed.voi - FFA\n"));
  EXPECT_THAT(gui.render(), HasSubstr("  Checks: Ready to start.\n"));
  ASSERT_TRUE(gui.click("start")) << gui.error();
  EXPECT_EQ(plugin.commands, (std::vector<std::string>{"AddSubject", "AddSubject", "Start"}));
  EXPECT_EQ(plugin.startSettings["whichapproach"], 0);
  EXPECT_EQ(plugin.startSettings["saveMDM"], 1);
  EXPECT_EQ(plugin.startSettings["addMoCo"], 1);
  EXPECT_EQ(plugin.startSettings["zMC"], 1);
  EXPECT_EQ(plugin.startSettings["changePredName"], 0);
  EXPECT_EQ(model.stringParameters["CondID-0"], "Face\tlist0");
  EXPECT_EQ(model.stringParameters["CondID-1"], "Faces\tlist2");
  EXPECT_EQ(model.stringParameters["CondID-2"], "Rest\tlist1");
  EXPECT_TRUE(gui.messages.empty());
  ASSERT_EQ(gui.writtenFiles, (std::vector<std::string>{"Multistudy_PPI.mdm"}));
  EXPECT_EQ(testsupport::readFile("Multistudy_PPI.mdm"),
            "FileVersion: 1\nNrOfStudies: 2\n\n"
            "\"/data/s1.vtc\" \"/data/group/standPPI_s1_seed.sdm\"\n"
            "\"/data/s2.vtc\" \"/data/group/standPPI_s2_seed.sdm\"\n");
  EXPECT_THAT(gui.render(), HasSubstr("Status: Run done; multi-study file written: "
                                      "Multistudy_PPI.mdm"));
}

TEST_F(GuiScriptTest, GeneralizedApproachTakesTheBaselineAndRefusesOneTooLarge) {
  ASSERT_TRUE(gui.loadFile(PPI_GUI_SCRIPT_PATH)) << gui.error();
  EXPECT_FALSE(gui.type("baseline", "1"));
  EXPECT_EQ(gui.error(), "\"baseline\" is disabled");
  ASSERT_TRUE(gui.choose("approach", "Generalized")) << gui.error();
  EXPECT_EQ(model.intParameters["whichapproach"], 1);
  ASSERT_TRUE(gui.click("addSubject")) << gui.error();
  ASSERT_TRUE(gui.type("baseline", "3")) << gui.error();
  ASSERT_TRUE(gui.click("start")) << gui.error();
  ASSERT_EQ(gui.messages.size(), 1u);
  EXPECT_THAT(gui.messages[0], HasSubstr("Start refused:\nBaseline 3 models no condition"));
  ASSERT_TRUE(gui.type("baseline", "1")) << gui.error();
  ASSERT_TRUE(gui.click("start")) << gui.error();
  EXPECT_EQ(plugin.startSettings["baseline"], 1);
  EXPECT_EQ(plugin.startSettings["whichapproach"], 1);
  EXPECT_TRUE(gui.writtenFiles.empty());
}

TEST_F(GuiScriptTest, AnUnwritableMultiStudyFileIsReportedAndNotRecorded) {
  plugin.mdmPath = "missing-folder/Multistudy_PPI.mdm";
  ASSERT_TRUE(gui.loadFile(PPI_GUI_SCRIPT_PATH)) << gui.error();
  ASSERT_TRUE(gui.click("addSubject"));
  ASSERT_TRUE(gui.moveItem("Rest", "list2"));
  ASSERT_TRUE(gui.setChecked("saveMDM", true));
  ASSERT_TRUE(gui.click("start")) << gui.error();
  EXPECT_TRUE(gui.writtenFiles.empty());
  EXPECT_EQ(gui.messages, (std::vector<std::string>{"The multi-study file could not be written: "
                                                    "missing-folder/Multistudy_PPI.mdm"}));
}

TEST(GuiScriptEngine, ReportsScriptFailuresWithTheirPlace) {
  struct Case {
    const char* what;
    const char* source;
    const char* error;
  };
  const Case cases[] = {
      {"syntax error", "var x = ;", "SyntaxError"},
      {"ES2015 syntax", "let x = 1; ScriptHost.showDialog('t');", "SyntaxError"},
      {"error while running", "ScriptHost.showDialog('t'); undefinedFunction();", "ReferenceError"},
      {"no dialog", "var quiet = 1;", "broken.js ran without showing its dialog"},
      {"unknown kind of control", "ScriptHost.addControl('slider', 'a', '', '', '');",
       "addControl: unknown kind of control: slider"},
  };
  for (const Case& c : cases) {
    HostModel model;
    GuiScript gui(model, [] { return true; });
    EXPECT_FALSE(gui.loadSource(c.source, "broken.js")) << c.what;
    EXPECT_THAT(gui.error(), HasSubstr(c.error)) << c.what;
  }
}

TEST(GuiScriptEngine, AnErrorInAnEventHandlerFailsTheActionOnly) {
  HostModel model;
  GuiScript gui(model, [] { return true; });
  ASSERT_TRUE(
      gui.loadSource("ScriptHost.addControl('button', 'bad', 'Bad', '', '');"
                     "ScriptHost.addControl('button', 'good', 'Good', '', '');"
                     "ScriptHost.showDialog('t');"
                     "function onControlEvent(id, value) {"
                     "  if (id === 'bad') ScriptHost.setControlValue('missing', 'x');"
                     "  ScriptHost.setStringParameter('clicked', id);"
                     "}",
                     "events.js"))
      << gui.error();
  EXPECT_FALSE(gui.click("bad"));
  EXPECT_THAT(gui.error(), HasSubstr("setControlValue: no control \"missing\""));
  EXPECT_TRUE(gui.click("good")) << gui.error();
  EXPECT_EQ(model.stringParameters["clicked"], "good");
  EXPECT_FALSE(gui.loadSource("ScriptHost.showDialog('again');", "again.js"));
}

}  // namespace
}  // namespace standin::script
