// The GUI lists in parts through the host's parameters: published whole,
// appended line by line, read back, and never with a stale part.
#include "commands/guilists.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/paths.h"
#include "tests/commands/subjectfixtures.h"
#include "tests/support/fakehost.h"

namespace {

using ppi::commands::GuiListAppend;
using ppi::commands::publishGuiList;
using ppi::commands::readGuiList;
using Strings = std::vector<std::string>;

// `count` lines of `width` characters, numbered.
Strings pathLines(std::size_t count, std::size_t width) {
  Strings lines;
  for (std::size_t i = 0; i < count; ++i) {
    std::string line = "/" + std::to_string(i) + ".vtc";
    line.insert(1, width - line.size(), 'd');
    lines.push_back(line);
  }
  return lines;
}

std::string joined(const Strings& lines) {
  std::string list;
  for (std::size_t i = 0; i < lines.size(); ++i) list += (i > 0 ? "\n" : "") + lines[i];
  return list;
}

class GuiLists : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(host.bind()); }
  testsupport::ScopedWorkingDirectory directory;
  testsupport::FakeHost host;
  standin::HostModel& model = host.model;
};

TEST_F(GuiLists, AListThatFitsIsTheOneParameterAsBefore) {
  const std::string list = joined(pathLines(33, 150));  // 4982 characters
  ASSERT_TRUE(publishGuiList("VTCFileNameList", list));
  EXPECT_EQ(model.stringParameters,
            (std::map<std::string, std::string>{{"VTCFileNameList", list}}));
  EXPECT_TRUE(model.intParameters.empty());
  EXPECT_EQ(readGuiList("VTCFileNameList"), list);
}

TEST_F(GuiLists, ALongerListInPartsWithItsCountAndShorterOnesClearThem) {
  struct Step {
    const char* name;
    std::size_t lines;
    int count;  // "SDMFileList-parts"; 0: unset
  };
  const Step steps[] = {
      {"one part", 10, 0},  {"five parts", 150, 5}, {"two parts", 40, 2},
      {"fits again", 3, 1}, {"empty", 0, 1},        {"three parts", 70, 3},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    const Strings lines = pathLines(step.lines, 150);
    const std::string list = joined(lines);
    ASSERT_TRUE(publishGuiList("SDMFileList", list));
    EXPECT_EQ(readGuiList("SDMFileList"), list);
    EXPECT_EQ(model.intParameters.count("SDMFileList-parts")
                  ? model.intParameters["SDMFileList-parts"]
                  : 0,
              step.count);
    // Every part holds whole lines within the limit; the ones past the count are empty.
    for (const auto& [key, value] : model.stringParameters) {
      EXPECT_LE(value.size(), ppi::kListLimit) << key;
    }
    for (int k = std::max(step.count, 1) + 1; k <= 5; ++k) {
      const std::string key = ppi::listPartName("SDMFileList", static_cast<std::size_t>(k));
      EXPECT_EQ(model.stringParameters.count(key) ? model.stringParameters[key] : "", "") << key;
    }
  }
}

TEST_F(GuiLists, AppendingLineByLineGivesThePartsOfTheWholeList) {
  const Strings lines = pathLines(200, 150);
  for (const std::string& line : lines) {
    GuiListAppend append;
    ASSERT_TRUE(append.plan("VTCFileNameList", line).ok());
    append.apply();
  }
  const auto appended = model.stringParameters;
  EXPECT_EQ(readGuiList("VTCFileNameList"), joined(lines));
  model.stringParameters.clear();
  model.intParameters.clear();
  ASSERT_TRUE(publishGuiList("VTCFileNameList", joined(lines)));
  EXPECT_EQ(model.stringParameters, appended);
  EXPECT_EQ(model.intParameters["VTCFileNameList-parts"], 7);

  // A line no part can hold is refused before anything is set.
  GuiListAppend tooLong;
  EXPECT_FALSE(tooLong.plan("VTCFileNameList", std::string(5000, 'l')).ok());
  EXPECT_EQ(model.log.back(),
            "Plugin> A line of the GUI list \"VTCFileNameList\" has 5000 characters, more than the "
            "4999 a list part holds; subject refused.");
  EXPECT_FALSE(publishGuiList("VTCFileNameList", "a\n" + std::string(5000, 'l')));
  EXPECT_EQ(model.stringParameters, appended);
}

TEST_F(GuiLists, AFirstPartRewrittenByAScriptThatKnowsNoPartsIsTheWholeList) {
  ASSERT_TRUE(publishGuiList("VTCFileList", joined(pathLines(100, 150))));
  ASSERT_EQ(model.intParameters["VTCFileList-parts"], 4);
  // The script empties the list the old way, with the one parameter.
  model.stringParameters["VTCFileList"] = "";
  EXPECT_EQ(readGuiList("VTCFileList"), "");
  GuiListAppend append;
  ASSERT_TRUE(append.plan("VTCFileList", "a.vtc").ok());
  append.apply();
  EXPECT_EQ(readGuiList("VTCFileList"), "a.vtc");
  EXPECT_EQ(model.intParameters["VTCFileList-parts"], 1);
  for (const char* stale : {"VTCFileList-2", "VTCFileList-3", "VTCFileList-4"}) {
    EXPECT_EQ(model.stringParameters[stale], "") << stale;
  }
}

TEST_F(GuiLists, ACountThatIsNotTheListsIsReadNoFurtherThanItsParts) {
  const Strings lines = pathLines(100, 150);
  ASSERT_TRUE(publishGuiList("VTCFileNameList", joined(lines)));  // 4 parts
  const struct {
    const char* name;
    int count;
    std::size_t lines;  // the list as read
    int countAfter;     // once a line is appended
  } rows[] = {
      {"the count", 4, 100, 4},
      // The short part 4 is not full against the empty part 5: the parts are
      // not the count's, and the first part alone is the list.
      {"a count past the parts", 2000000000, 33, 1},
      // The parts it names are full, as a list of 99 lines has them.
      {"a count short of the parts", 3, 99, 3},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    model.intParameters["VTCFileNameList-parts"] = row.count;
    const std::size_t callsBefore = model.calls.size();
    const std::string read = readGuiList("VTCFileNameList");
    EXPECT_EQ(ppi::countListEntries(read), row.lines);
    EXPECT_LE(model.calls.size() - callsBefore, 6u);
    // The next line goes after the list as read, and the parts and the count
    // are the ones of that list.
    GuiListAppend append;
    ASSERT_TRUE(append.plan("VTCFileNameList", "/next.vtc").ok());
    append.apply();
    EXPECT_EQ(readGuiList("VTCFileNameList"), read + "\n/next.vtc");
    EXPECT_EQ(model.intParameters["VTCFileNameList-parts"], row.countAfter);
    ASSERT_TRUE(publishGuiList("VTCFileNameList", joined(lines)));
  }
}

// "AddSubject" with each list one line short of a full part: its lines open
// the second parts, and "Start" reads the list whole.
TEST(GuiListsThroughCommands, ASubjectPastAFullPartOpensTheNextPartOfEveryList) {
  using namespace subjectfixtures;
  testsupport::PluginHarness harness;
  standin::HostModel& model = harness.model;
  registerStudy(model);
  const std::string earlier(4995, 'x');  // no room for another line
  for (const char* list : {"VTCFileList", "VTCFileNameList", "VOIFileList"}) {
    model.stringParameters[list] = earlier;
  }
  answerAddSubject(model, "/d/a.vtc", "/d/three.voi", {}, 2);
  ASSERT_TRUE(harness.run("AddSubject"));
  ASSERT_EQ(harness.plugin.state.subjectCount(), 1);
  const std::pair<const char*, const char*> lines[] = {
      {"VTCFileList", "a.vtc"}, {"VTCFileNameList", "/d/a.vtc"}, {"VOIFileList", "three.voi - R2"}};
  for (const auto& [list, line] : lines) {
    SCOPED_TRACE(list);
    EXPECT_TRUE(model.stringParameters[list] == earlier);
    EXPECT_EQ(model.stringParameters[std::string(list) + "-2"], line);
    EXPECT_EQ(model.intParameters[std::string(list) + "-parts"], 2);
  }
  // Two entries against one subject: the list check reads every part.
  EXPECT_FALSE(harness.run("Start"));
  EXPECT_EQ(model.log.back(), "Plugin> No files selected, plugin finished.");
}

}  // namespace
