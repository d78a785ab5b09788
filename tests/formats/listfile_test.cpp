#include "formats/listfile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ppi::model::ListFileLine;
using ppi::model::readListFileText;

struct ReadRow {
  const char* name;
  std::string text;
  // Each line read: its number, then "<vtc>|<voi>|<index>", "|<motion>" after
  // it when the line has a fourth field, or "!" for a rejection.
  std::vector<std::pair<int, std::string>> lines;
};

std::string shown(const ListFileLine& line) {
  if (line.rejected()) return "!";
  return line.vtcPath + "|" + line.voiPath + "|" + std::to_string(*line.chosenVOI) +
         (line.motionPath.empty() ? "" : "|" + line.motionPath);
}

class ReadListFile : public testing::TestWithParam<ReadRow> {};

TEST_P(ReadListFile, ReadsEachLineAloneWithItsNumber) {
  const ReadRow& row = GetParam();
  const std::vector<ListFileLine> lines = readListFileText(row.text);
  ASSERT_EQ(lines.size(), row.lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(lines[i].lineNumber, row.lines[i].first);
    EXPECT_EQ(shown(lines[i]), row.lines[i].second) << lines[i].problem;
    // A rejection always says why; an accepted line never carries a reason.
    EXPECT_EQ(lines[i].rejected(), !lines[i].chosenVOI.has_value());
    EXPECT_EQ(lines[i].rejected(), lines[i].vtcPath.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReadListFile,
    testing::Values(
        ReadRow{"Empty", "", {}},
        ReadRow{"TwoLines",
                "a.vtc\tr.voi\t0\nb.vtc\tr.voi\t2\n",
                {{1, "a.vtc|r.voi|0"}, {2, "b.vtc|r.voi|2"}}},
        ReadRow{"LastLineWithoutLineFeed",
                "a.vtc\tr.voi\t0\nb.vtc\tr.voi\t1",
                {{1, "a.vtc|r.voi|0"}, {2, "b.vtc|r.voi|1"}}},
        ReadRow{"CarriageReturns",
                "a.vtc\tr.voi\t0\r\nb.vtc\tr.voi\t1\r\n",
                {{1, "a.vtc|r.voi|0"}, {2, "b.vtc|r.voi|1"}}},
        ReadRow{"BlanksInsidePaths",
                "./My Data/a.vtc\t./My Data/r.voi\t3\n",
                {{1, "./My Data/a.vtc|./My Data/r.voi|3"}}},
        ReadRow{"BlanksAroundTabFields", " a.vtc \t r.voi\t 1 \n", {{1, " a.vtc | r.voi|1"}}},
        ReadRow{"HandWrittenBlanks", "a.vtc   r.voi 4\n", {{1, "a.vtc|r.voi|4"}}},
        ReadRow{"BlankLinesSkippedButCounted", "\n  \na.vtc\tr.voi\t0\n\n", {{3, "a.vtc|r.voi|0"}}},
        ReadRow{"MissingIndexSwallowsNothing",
                "a.vtc\tr.voi\nb.vtc\tr.voi\t1\n",
                {{1, "!"}, {2, "b.vtc|r.voi|1"}}},
        ReadRow{"MissingIndexHandWritten",
                "a.vtc r.voi\nb.vtc r.voi 1\n",
                {{1, "!"}, {2, "b.vtc|r.voi|1"}}},
        ReadRow{"NegativeIndex", "a.vtc\tr.voi\t-1\n", {{1, "!"}}},
        ReadRow{"IndexWithLetters", "a.vtc\tr.voi\t1x\n", {{1, "!"}}},
        ReadRow{"IndexPastInt", "a.vtc\tr.voi\t2147483648\n", {{1, "!"}}},
        ReadRow{"LargestIndexRead", "a.vtc\tr.voi\t999999999\n", {{1, "a.vtc|r.voi|999999999"}}},
        ReadRow{"EmptyPathField", "\tr.voi\t0\na.vtc\t\t0\n", {{1, "!"}, {2, "!"}}},
        ReadRow{"CarriageReturnInsidePath", "a.vtc\tr\r.voi\t0\r\n", {{1, "!"}}},
        ReadRow{"MotionFileAsFourthField",
                "a.vtc\tr.voi\t0\t./My Data/a_3DMC.sdm\nb.vtc\tr.voi\t1\n",
                {{1, "a.vtc|r.voi|0|./My Data/a_3DMC.sdm"}, {2, "b.vtc|r.voi|1"}}},
        ReadRow{"MotionFileWithCarriageReturn", "a.vtc\tr.voi\t0\tm.sdm\r\n",
                {{1, "a.vtc|r.voi|0|m.sdm"}}},
        ReadRow{"MotionFileHandWritten", "a.vtc r.voi 2 m.sdm\n", {{1, "a.vtc|r.voi|2|m.sdm"}}},
        ReadRow{"EmptyFourthField", "a.vtc\tr.voi\t0\t\n", {{1, "!"}}},
        ReadRow{"CarriageReturnInsideMotionPath", "a.vtc\tr.voi\t0\tm\r.sdm\n", {{1, "!"}}},
        ReadRow{"FiveFields", "a.vtc\tr.voi\t0\tm.sdm\t9\n", {{1, "!"}}},
        ReadRow{"BlankInPathWithoutTabs", "My Data/a.vtc r.voi 0\n", {{1, "!"}}}),
    [](const testing::TestParamInfo<ReadRow>& info) { return std::string(info.param.name); });

TEST(ListFile, SavedLinesReadBackUnchangedAndOddPathsAreRefused) {
  const std::string vtc = "C:/Users/Ann/My Data/s 01/run.vtc";
  const std::string voi = "./regions (final).voi";
  const std::vector<ListFileLine> lines = readListFileText(ppi::model::formatListLine(vtc, voi, 7));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].vtcPath, vtc);
  EXPECT_EQ(lines[0].voiPath, voi);
  EXPECT_EQ(lines[0].chosenVOI, 7);
  EXPECT_TRUE(lines[0].motionPath.empty());
  // Three fields are written as ever, a motion file as a fourth.
  EXPECT_EQ(ppi::model::formatListLine("a.vtc", "r.voi", 0), "a.vtc\tr.voi\t0\n");
  const std::string motion = "./s 01/run_3DMC.sdm";
  const std::vector<ListFileLine> withMotion =
      readListFileText(ppi::model::formatListLine(vtc, voi, 7, motion));
  ASSERT_EQ(withMotion.size(), 1u);
  EXPECT_EQ(withMotion[0].motionPath, motion);
  EXPECT_EQ(withMotion[0].vtcPath, vtc);

  EXPECT_TRUE(ppi::model::listCanHoldPath(vtc));
  EXPECT_FALSE(ppi::model::listCanHoldPath("a\tb.vtc"));
  EXPECT_FALSE(ppi::model::listCanHoldPath("a\nb.vtc"));
  EXPECT_FALSE(ppi::model::listCanHoldPath("a\rb.vtc"));
}

}  // namespace
