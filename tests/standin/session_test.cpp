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
    int number;
    bool flag;
  };
  const Row rows[] = {
      {"int whichapproach 0", StepKind::setInt, "whichapproach", "", 0, false},
      {"int   saveMDM\t-12  ", StepKind::setInt, "saveMDM", "", -12, false},
      {"string CondID-0 Attend list2", StepKind::setString, "CondID-0", "Attend list2", 0, false},
      {"string VTCFileList a.vtc\\nb.vtc\\t\\\\x\\s", StepKind::setString, "VTCFileList",
       "a.vtc\nb.vtc\t\\x ", 0, false},
      {"string VTCFileList", StepKind::setString, "VTCFileList", "", 0, false},
      {"open-file ./data dir/s01.vtc", StepKind::openFile, "", "./data dir/s01.vtc", 0, false},
      {"save-file C:\\results\\x.sdm", StepKind::saveFile, "", "C:\\results\\x.sdm", 0, false},
      {"text my label", StepKind::text, "", "my label", 0, false},
      {"text", StepKind::text, "", "", 0, false},
      {"cancel save-file", StepKind::cancel, "save-file", "", 0, false},
      {"integer -1", StepKind::integer, "", "", -1, false},
      {"answer yes", StepKind::answer, "", "", 0, true},
      {"answer no", StepKind::answer, "", "", 0, false},
      {"vmr closed", StepKind::vmr, "", "", 0, false},
      {"command Start", StepKind::command, "Start", "", 0, true},
      {"command Save expect false", StepKind::command, "Save", "", 0, false},
      {"expect-int nr_subs 4", StepKind::expectInt, "nr_subs", "", 4, false},
      {"expect-string mdmFileName", StepKind::expectString, "mdmFileName", "", 0, false},
      {"write-string SDMFileList out/list.txt", StepKind::writeString, "SDMFileList",
       "out/list.txt", 0, false},
      {"  say Now the run  ", StepKind::say, "", "Now the run", 0, false},
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

TEST(ParseSession, ReadsGuiStepsAndFileChecks) {
  struct Row {
    const char* line;
    StepKind kind;
    const char* name;
    const char* target;
    const char* text;
  };
  const Row rows[] = {
      {"gui open", StepKind::gui, "open", "", ""},
      {"gui show", StepKind::gui, "show", "", ""},
      {"gui click addSubject", StepKind::gui, "click", "addSubject", ""},
      {"gui tick saveMDM", StepKind::gui, "tick", "saveMDM", ""},
      {"gui untick zMC", StepKind::gui, "untick", "zMC", ""},
      {"gui choose approach Generalized", StepKind::gui, "choose", "approach", "Generalized"},
      {"gui type baseline 2", StepKind::gui, "type", "baseline", "2"},
      {"gui type label", StepKind::gui, "type", "label", ""},
      {"gui type label a\\sb", StepKind::gui, "type", "label", "a b"},
      {"gui move list2 Faces and houses", StepKind::gui, "move", "list2", "Faces and houses"},
      {"expect-file ./r/x.mdm A\\n\"b\" c", StepKind::expectFile, "", "./r/x.mdm", "A\n\"b\" c"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    std::string why;
    auto steps = standin::parseSession(std::string(row.line) + "\n", &why);
    ASSERT_TRUE(steps) << why;
    ASSERT_EQ(steps->size(), 1u);
    EXPECT_EQ(steps->front().kind, row.kind);
    EXPECT_EQ(steps->front().name, row.name);
    EXPECT_EQ(steps->front().target, row.target);
    EXPECT_EQ(steps->front().text, row.text);
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
  ASSERT_EQ(result.problems.size(), 4u);
  EXPECT_EQ(result.problems[0], "line 1: gui click: the dialog is not shown");
  EXPECT_EQ(result.problems[1], "line 5: gui move: no other list of \"b\"'s group holds \"z\"");
  EXPECT_EQ(result.problems[2], "line 9: file out.txt holds \"done\\n\", expected \"other\"");
  EXPECT_EQ(result.problems[3], "line 10: file missing.txt cannot be read");
  EXPECT_NE(out.str().find("[gui]   [x] Fast\n[gui]   A:\n[gui]     - x\n[gui]   B:\n"
                           "[gui]     - y\n"),
            std::string::npos)
      << out.str();
}

TEST(RunSession, GuiStepsFailInAHostWithoutAGuiScript) {
  auto steps = standin::parseSession("gui open\ngui show\n");
  ASSERT_TRUE(steps);
  standin::HostModel model;
  std::ostringstream out;
  auto result = standin::runSession(
      *steps, model, [] { return true; }, out);
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
      EXPECT_EQ(model.getOpenFileName("t", ".", "*.vtc", path), 1);
      EXPECT_STREQ(path, "./a.vtc");
      EXPECT_EQ(model.getOpenFileName("t", ".", "*.prt", path), 0);
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
  ASSERT_EQ(result.problems.size(), 5u);
  EXPECT_EQ(result.problems[0], "line 11: Start returned true, expected false");
  EXPECT_EQ(result.problems[1], "line 13: int parameter missing is not set, expected 1");
  EXPECT_EQ(result.problems[2],
            "line 15: string parameter CondID-0 is \"A\\tlist2\", expected \"other\"");
  EXPECT_EQ(result.problems[3], "line 17: string parameter unset is not set");
  EXPECT_EQ(testsupport::readFile("param.txt"), "A\tlist2\n");
  EXPECT_FALSE(std::filesystem::exists("unset.txt"));
  EXPECT_NE(out.str().find("[session] AddSubject returned true, as expected"), std::string::npos);
}

TEST(RunSession, AnEmptySessionIsAllAsExpected) {
  standin::HostModel model;
  std::ostringstream out;
  auto result = standin::runSession(
      {}, model, [] { return true; }, out);
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(result.commands, 0);
}

}  // namespace
