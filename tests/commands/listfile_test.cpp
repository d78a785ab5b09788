#include "commands/listfile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/fakehost.h"

namespace {

using ppi::ListFileLine;
using testsupport::readFile;
using testsupport::writeFile;

TEST(ListFileLine, IsTwoPathsAndTheIndexSeparatedByTabsEndedByALineFeed) {
  EXPECT_EQ(ppi::formatListLine("/d/s01/run1.vtc", "/d/s01/roi.voi", 2),
            "/d/s01/run1.vtc\t/d/s01/roi.voi\t2\n");
  EXPECT_EQ(ppi::formatListLine("run1.vtc", "roi.voi", 0), "run1.vtc\troi.voi\t0\n");
  EXPECT_EQ(ppi::formatListLine("a.vtc", "b.voi", 12), "a.vtc\tb.voi\t12\n");
}

struct ReadCase {
  const char* name;
  std::string text;
  std::vector<ListFileLine> lines;
};

bool sameLines(const std::vector<ListFileLine>& a, const std::vector<ListFileLine>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].vtcPath != b[i].vtcPath || a[i].voiPath != b[i].voiPath ||
        a[i].chosenVOI != b[i].chosenVOI) {
      return false;
    }
  }
  return true;
}

std::string describe(const std::vector<ListFileLine>& lines) {
  std::string text;
  for (const ListFileLine& line : lines) {
    text += "[" + line.vtcPath + "|" + line.voiPath + "|" +
            (line.chosenVOI ? std::to_string(*line.chosenVOI) : "none") + "]";
  }
  return text;
}

TEST(ReadListFileText, OneAttemptPerLineFeedReadingWordsAcrossAnyWhitespace) {
  const ListFileLine failed{"", "", std::nullopt};
  const ReadCase cases[] = {
      {"empty", "", {}},
      {"one line", "a.vtc\tb.voi\t1\n", {{"a.vtc", "b.voi", 1}}},
      {"last line without line feed is not read",
       "a.vtc\tb.voi\t1\nc.vtc\td.voi\t0",
       {{"a.vtc", "b.voi", 1}}},
      {"only a line without line feed", "a.vtc\tb.voi\t1", {}},
      {"carriage return and line feed",
       "a.vtc\tb.voi\t1\r\nc.vtc\td.voi\t0\r\n",
       {{"a.vtc", "b.voi", 1}, {"c.vtc", "d.voi", 0}}},
      {"blank line at the end adds a failed attempt",
       "a.vtc\tb.voi\t1\n\n",
       {{"a.vtc", "b.voi", 1}, failed}},
      {"blank line first: the words move up, the attempt fails at the end",
       "\na.vtc\tb.voi\t1\n",
       {{"a.vtc", "b.voi", 1}, failed}},
      {"blank inside a path: words no longer line up, later reads all fail",
       "my dir/a.vtc\tb.voi\t1\nc.vtc\td.voi\t0\n",
       {{"my", "dir/a.vtc", std::nullopt}, failed}},
      {"index that is no number",
       "a.vtc\tb.voi\tx\nc.vtc\td.voi\t0\n",
       {{"a.vtc", "b.voi", std::nullopt}, failed}},
      {"negative index", "a.vtc\tb.voi\t-1\n", {{"a.vtc", "b.voi", -1}}},
      {"index missing", "a.vtc\tb.voi\n", {{"a.vtc", "b.voi", std::nullopt}}},
      {"blanks instead of tabs", "a.vtc b.voi  3\n", {{"a.vtc", "b.voi", 3}}},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<ListFileLine> lines = ppi::readListFileText(c.text);
    EXPECT_TRUE(sameLines(lines, c.lines)) << describe(lines) << " expected " << describe(c.lines);
  }
}

TEST(ListFiles, WholeFilesAreReadAndWrittenByteForByte) {
  testsupport::ScopedWorkingDirectory directory;
  const std::string bytes = "a.vtc\tb.voi\t0\r\nno final line feed";
  ASSERT_TRUE(ppi::writeWholeFile("list.ppi", bytes));
  EXPECT_EQ(readFile("list.ppi"), bytes);
  std::string read;
  ASSERT_TRUE(ppi::readWholeFile("list.ppi", read));
  EXPECT_EQ(read, bytes);

  ASSERT_TRUE(ppi::writeWholeFile("empty.ppi", ""));
  ASSERT_TRUE(ppi::readWholeFile("empty.ppi", read));
  EXPECT_EQ(read, "");
  EXPECT_FALSE(ppi::readWholeFile("missing.ppi", read));
  std::filesystem::create_directory("folder.ppi");
  EXPECT_FALSE(ppi::writeWholeFile("folder.ppi", bytes));
}

TEST(AutosaveList, IsReplacedWholeAndEveryAppendedLineIsOnTheDiskAtOnce) {
  testsupport::ScopedWorkingDirectory directory;
  writeFile("autosaveList.ppi", "old.vtc\told.voi\t0\n");
  std::ofstream stream;
  EXPECT_FALSE(ppi::ownsAutosaveList(stream));

  ASSERT_TRUE(ppi::replaceAutosaveList(stream, "a.vtc\tb.voi\t1\n"));
  EXPECT_TRUE(ppi::ownsAutosaveList(stream));
  EXPECT_EQ(readFile("autosaveList.ppi"), "a.vtc\tb.voi\t1\n");
  EXPECT_FALSE(std::filesystem::exists("autosaveList.ppi.new"));

  ASSERT_TRUE(ppi::appendAutosaveLine(stream, "c.vtc\td.voi\t0\n"));
  EXPECT_EQ(readFile("autosaveList.ppi"), "a.vtc\tb.voi\t1\nc.vtc\td.voi\t0\n");

  ASSERT_TRUE(ppi::replaceAutosaveList(stream, ""));
  EXPECT_EQ(readFile("autosaveList.ppi"), "");
  ASSERT_TRUE(ppi::appendAutosaveLine(stream, "e.vtc\tf.voi\t2\n"));
  EXPECT_EQ(readFile("autosaveList.ppi"), "e.vtc\tf.voi\t2\n");

  // When the new list cannot be written, the old one survives.
  std::filesystem::create_directory("autosaveList.ppi.new");
  EXPECT_FALSE(ppi::replaceAutosaveList(stream, "lost\n"));
  EXPECT_EQ(readFile("autosaveList.ppi"), "e.vtc\tf.voi\t2\n");
}

}  // namespace
