// The embedded engine running scripts: ppi_gui.js's opening dialog, and the
// failures of broken scripts and event handlers.
#include "standin/script/guiscript.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/fakehost.h"

namespace standin::script {
namespace {

using ::testing::HasSubstr;

TEST(GuiScriptEngine, ShowsThePpiDialogWithEmptyListsAndTheStandardApproach) {
  HostModel model;
  model.stringParameters["VTCFileList"] = "left over.vtc";
  GuiScript gui(model, [] { return true; });
  ASSERT_TRUE(gui.loadFile(PPI_GUI_SCRIPT_PATH)) << gui.error();
  const std::string text = gui.render();
  EXPECT_THAT(text, HasSubstr("=== PPI plugin ===\n-- Subjects --\n"
                              "  [Add subject] [Load list] [Save list] [Clear]\n"));
  EXPECT_THAT(text, HasSubstr("  Approach:  (*) Standard  ( ) Generalized\n"));
  EXPECT_THAT(text, HasSubstr("  Checks: Error: No subjects"));
  EXPECT_EQ(model.stringParameters["VTCFileList"], "");
  EXPECT_FALSE(gui.type("baseline", "1"));
}

TEST(GuiScriptEngine, ReportsScriptFailuresWithTheirPlace) {
  struct Case {
    const char* source;
    const char* error;
  };
  const Case cases[] = {
      {"var x = ;", "SyntaxError"},
      {"let x = 1; ScriptHost.showDialog('t');", "SyntaxError"},  // ES5 only
      {"ScriptHost.showDialog('t'); undefinedFunction();", "ReferenceError"},
      {"var quiet = 1;", "broken.js ran without showing its dialog"},
      {"ScriptHost.addControl('slider', 'a', '', '', '');",
       "addControl: unknown kind of control: slider"},
  };
  for (const Case& c : cases) {
    HostModel model;
    GuiScript gui(model, [] { return true; });
    EXPECT_FALSE(gui.loadSource(c.source, "broken.js")) << c.source;
    EXPECT_THAT(gui.error(), HasSubstr(c.error)) << c.source;
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
