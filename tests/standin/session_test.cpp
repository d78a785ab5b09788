#include "standin/session.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "standin/script/guiscript.h"
#include "tests/support/fakehost.h"

namespace {

using standin::StepKind;

TEST(ParseSession, ReadsEveryKindOfStep) {
  struct Row {
    const char* line;
    StepKind kind;
    const char* name;
    const char* text;
    const char* target = "";
    int number = 0;
    bool flag = false;
  };
  const Row rows[] = {
      {"int   saveMDM\t-12  ", StepKind::setInt, "saveMDM", "", "", -12},
      {"string CondID-0 Attend list2", StepKind::setString, "CondID-0", "Attend list2"},
      {"string L a.vtc\\nb.vtc\\t\\\\x\\s", StepKind::setString, "L", "a.vtc\nb.vtc\t\\x "},
      {"string VTCFileList", StepKind::setString, "VTCFileList", ""},
      {"open-file ./data dir/s01.vtc", StepKind::openFile, "", "./data dir/s01.vtc"},
      {"save-file C:\\results\\x.sdm", StepKind::saveFile, "", "C:\\results\\x.sdm"},
      {"text", StepKind::text, "", ""},
      {"cancel save-file", StepKind::cancel, "save-file", ""},
      {"integer -1", StepKind::integer, "", "", "", -1},
      {"answer yes", StepKind::answer, "", "", "", 0, true},
      {"answer no", StepKind::answer, "", ""},
      {"vmr closed", StepKind::vmr, "", ""},
      {"command Start", StepKind::command, "Start", "", "", 0, true},
      {"command Save expect false", StepKind::command, "Save", ""},
      {"expect-int nr_subs 4", StepKind::expectInt, "nr_subs", "", "", 4},
      {"expect-string mdmFileName", StepKind::expectString, "mdmFileName", ""},
      {"write-string L out/list.txt", StepKind::writeString, "L", "out/list.txt"},
      {"  say Now the run  ", StepKind::say, "", "Now the run"},
      {"gui open", StepKind::gui, "open", ""},
      {"gui untick zMC", StepKind::gui, "untick", "", "zMC"},
      {"gui choose approach Generalized", StepKind::gui, "choose", "Generalized", "approach"},
      {"gui type label", StepKind::gui, "type", "", "label"},
      {"gui type label a\\sb", StepKind::gui, "type", "a b", "label"},
      {"gui move list2 Faces and houses", StepKind::gui, "move", "Faces and houses", "list2"},
      {"expect-file ./r/x.mdm A\\n\"b\" c", StepKind::expectFile, "", "A\n\"b\" c", "./r/x.mdm"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    std::string why;
    auto steps = standin::parseSession(std::string("# a comment\n\n") + row.line + "\r\n", &why);
    ASSERT_TRUE(steps) << why;
    ASSERT_EQ(steps->size(), 1u);
    const standin::SessionStep& step = steps->front();
    EXPECT_EQ(step.line, 3);
    EXPECT_EQ(step.kind, row.kind);
    EXPECT_EQ(step.name, row.name);
    EXPECT_EQ(step.target, row.target);
    EXPECT_EQ(step.text, row.text);
    EXPECT_EQ(step.number, row.number);
    EXPECT_EQ(step.flag, row.flag);
  }
}

TEST(ParseSession, NamesTheLineAndTheReasonOfAnError) {
  struct Row {
    const char* line;
    const char* why;
  };
  const Row rows[] = {
      {"int whichapproach", "missing number"},
      {"int whichapproach one", "\"one\" is not an integer"},
      {"int whichapproach 1 2", "unexpected \"2\""},
      {"int", "missing parameter name"},
      {"string X a\\qb", "unknown escape \\q"},
      {"string X ends\\", "a backslash ends the line"},
      {"open-file", "missing path"},
      {"cancel integer", "can cancel open-file, save-file or text"},
      {"answer maybe", "expected yes or no"},
      {"vmr", "missing open or closed"},
      {"command", "missing command name"},
      {"command Start true", "expected \"expect true\""},
      {"command Start expect perhaps", "expected true or false"},
      {"write-string SDMFileList", "missing file path"},
      {"press Start", "unknown step \"press\""},
      {"expect-file", "missing file path"},
      {"gui", "missing GUI action"},
      {"gui press start", "unknown GUI action \"press\""},
      {"gui click", "missing control"},
      {"gui click start now", "unexpected \"now\""},
      {"gui show all", "unexpected \"all\""},
      {"gui move list2", "missing item"},
      {"gui choose approach", "missing option"},
      {"gui type baseline 1\\", "a backslash ends the line"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    std::string why;
    EXPECT_FALSE(standin::parseSession(std::string("vmr open\n") + row.line + "\n", &why));
    EXPECT_EQ(why.rfind(std::string("line 2: ") + row.why, 0), 0u) << why;
  }
}

TEST(RunSession, DrivesTheGuiScriptAndChecksFiles) {
  testsupport::ScopedWorkingDirectory dir;
  testsupport::writeFile("gui.js",
                         "ScriptHost.addControl('button', 'go', 'Go', '', '');"
                         "ScriptHost.addControl('checkbox', 'fast', 'Fast', '0', '');"
                         "ScriptHost.addControl('list', 'a', 'A', 'x\\ny', 'g');"
                         "ScriptHost.addControl('list', 'b', 'B', '', 'g');"
                         "ScriptHost.showDialog('Test');"
                         "function onControlEvent(id, value) {"
                         "  if (id === 'go') {"
                         "    ScriptHost.setStringParameter('Command', 'Start');"
                         "    ScriptHost.executePlugin();"
                         "    ScriptHost.writeTextFile('out.txt', 'done\\n');"
                         "  }"
                         "}");
  const char* text =
      "gui click go\n"  // before the script runs: refused
      "gui open\n"
      "gui tick fast\n"
      "gui move b y\n"
      "gui move b z\n"  // no such item: refused
      "gui click go\n"
      "gui show\n"
      "expect-file out.txt done\\n\n"
      "expect-file out.txt other\n"
      "expect-file missing.txt x\n";
  std::string why;
  auto steps = standin::parseSession(text, &why);
  ASSERT_TRUE(steps) << why;
  standin::HostModel model;
  std::vector<std::string> commands;
  auto execute = [&]() {
    commands.push_back(model.stringParameters["Command"]);
    return true;
  };
  standin::script::GuiScript script(model, execute);
  const standin::SessionGui gui{&script, "gui.js"};
  std::ostringstream out;
  standin::SessionResult result = standin::runSession(*steps, model, execute, out, &gui);

  EXPECT_EQ(commands, (std::vector<std::string>{"Start"}));
  EXPECT_EQ(result.guiActions, 4);
  EXPECT_EQ(result.failedChecks, 4);
  EXPECT_EQ(result.problems, (std::vector<std::string>{
                                 "line 1: gui click: the dialog is not shown",
                                 "line 5: gui move: no other list of \"b\"'s group holds \"z\"",
                                 "line 9: file out.txt holds \"done\\n\", expected \"other\"",
                                 "line 10: file missing.txt cannot be read"}));
  EXPECT_NE(out.str().find("[gui]   [x] Fast\n[gui]   A:\n[gui]     - x\n[gui]   B:\n"
                           "[gui]     - y\n"),
            std::string::npos)
      << out.str();
}

TEST(RunSession, AnEmptySessionIsAllAsExpectedAndGuiStepsFailWithoutAGuiScript) {
  standin::HostModel model;
  std::ostringstream out;
  EXPECT_TRUE(standin::runSession(
                  {}, model, [] { return true; }, out)
                  .ok());
  auto result = standin::runSession(
      *standin::parseSession("gui open\ngui show\n"), model, [] { return true; }, out);
  EXPECT_EQ(result.failedChecks, 2);
  EXPECT_EQ(result.problems.front(), "line 1: this host runs no GUI script");
}

TEST(RunSession, QueuesAnswersSendsCommandsAndCountsWhatWentOtherwise) {
  testsupport::ScopedWorkingDirectory dir;
  const char* text =
      "int whichapproach 1\n"
      "string CondID-0 A\\tlist2\n"
      "open-file ./a.vtc\n"
      "cancel open-file\n"
      "save-file ./out.sdm\n"
      "text L\n"
      "integer 2\n"
      "answer yes\n"
      "vmr closed\n"
      "command AddSubject\n"
      "command Start expect false\n"
      "expect-int nr_subs 2\n"
      "expect-int missing 1\n"
      "expect-string CondID-0 A\\tlist2\n"
      "expect-string CondID-0 other\n"
      "write-string CondID-0 ./param.txt\n"
      "write-string unset ./unset.txt\n"
      "answer no\n";
  std::string why;
  auto steps = standin::parseSession(text, &why);
  ASSERT_TRUE(steps) << why;

  standin::HostModel model;
  std::vector<std::string> commands;
  // The "plug-in": AddSubject takes two answers and succeeds; Start succeeds
  // (which the session did not expect) and publishes nr_subs.
  auto execute = [&]() {
    const std::string command = model.stringParameters["Command"];
    commands.push_back(command);
    EXPECT_FALSE(model.vmrOpen);
    if (command == "AddSubject") {
      char path[8192];
      EXPECT_EQ(model.nkGetOpenFileName("t", ".", "*.vtc", path), 1);
      EXPECT_STREQ(path, "./a.vtc");
      EXPECT_EQ(model.nkGetOpenFileName("t", ".", "*.prt", path), 0);
      return true;
    }
    model.intParameters["nr_subs"] = 2;
    return true;
  };
  std::ostringstream out;
  standin::SessionResult result = standin::runSession(*steps, model, execute, out);

  EXPECT_EQ(commands, (std::vector<std::string>{"AddSubject", "Start"}));
  EXPECT_EQ(model.intParameters["whichapproach"], 1);
  EXPECT_EQ(result.commands, 2);
  EXPECT_EQ(result.mismatches, 1);
  EXPECT_EQ(result.failedChecks, 3);  // missing, other, unset
  // Left queued: the save-file, text, integer and the two yes/no answers.
  EXPECT_EQ(result.unusedAnswers, 5);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.problems,
            (std::vector<std::string>{
                "line 11: Start returned true, expected false",
                "line 13: int parameter missing is not set, expected 1",
                "line 15: string parameter CondID-0 is \"A\\tlist2\", expected \"other\"",
                "line 17: string parameter unset is not set",
                "5 queued answer(s) were never asked for: the session and the plug-in went "
                "different ways"}));
  EXPECT_EQ(testsupport::readFile("param.txt"), "A\tlist2\n");
  EXPECT_FALSE(std::filesystem::exists("unset.txt"));
  EXPECT_NE(out.str().find("[session] AddSubject returned true, as expected"), std::string::npos);
}

}  // namespace
