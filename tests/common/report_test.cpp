#include "common/report.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using ppi::Report;

std::size_t lineCount(const std::string& text) {
  std::size_t lines = text.empty() ? 0 : 1;
  for (const char c : text) lines += c == '\n';
  return lines;
}

TEST(Report, LinesCarryKindPlaceAndAdviceOnOneLineEach) {
  Report report;
  report.setSummary("Load: 1 of 2 subjects loaded from study.ppi");
  report.error("study.ppi line 2 (./s2.vtc)", "Failed to load VTC file. Please retry.\n",
               "Check the file.");
  report.warning({}, "two\nlines", "");
  report.note("region Seed", "said", "");
  EXPECT_EQ(report.text(),
            "Load: 1 of 2 subjects loaded from study.ppi\n"
            "error: study.ppi line 2 (./s2.vtc): Failed to load VTC file. Please retry. Check "
            "the file.\n"
            "warning: two lines\n"
            "note: region Seed: said");
  EXPECT_EQ(report.count(Report::Kind::error), 1u);
  EXPECT_EQ(report.count(Report::Kind::warning), 1u);

  report.clear();
  EXPECT_EQ(report.text(), "");
}

struct LimitRow {
  const char* name;
  std::size_t problems;
  std::size_t limit;
  // The lines kept, summary included, and the count the tail names (0: no tail).
  std::size_t keptLines;
  std::size_t tailCount;
};

class ReportLimit : public testing::TestWithParam<LimitRow> {};

TEST_P(ReportLimit, NeverPassesTheLimitAndCountsWhatItLeftOut) {
  const LimitRow& row = GetParam();
  Report report;
  report.setSummary("Start: 0 of 9 design matrices saved");  // 36 characters
  for (std::size_t i = 0; i < row.problems; ++i) {
    report.warning("here", "x");
  }
  const std::string text = report.text(row.limit);
  EXPECT_LE(text.size(), row.limit);
  const std::string tail =
      row.tailCount == 0 ? std::string()
                         : "\n… " + ppi::counted(row.tailCount, "more problem") + "; see the log";
  EXPECT_EQ(lineCount(text), row.keptLines + (row.tailCount ? 1 : 0)) << text;
  if (row.tailCount) {
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  } else {
    EXPECT_EQ(text.find("more problem"), std::string::npos);
  }
}

// The summary takes 35 bytes, each problem line 17 with its line feed ("warning:
// here: x"), the tail "\n… N more problems; see the log" 33 for N of 2 to 9
// ("…" takes three bytes), 35 for N from 100.
INSTANTIATE_TEST_SUITE_P(
    Rows, ReportLimit,
    testing::Values(LimitRow{"AllFitExactly", 3, 35 + 3 * 17, 4, 0},
                    LimitRow{"OneByteShortMakesRoomForTheTail", 3, 35 + 3 * 17 - 1, 2, 2},
                    LimitRow{"OnlyTheSummaryAndTail", 5, 35 + 33, 1, 5},
                    LimitRow{"NoRoomEvenForTheTail", 5, 40, 1, 0},
                    LimitRow{"DialogLimitWithManyProblems", 400, ppi::kReportLimit, 290, 111},
                    LimitRow{"NoProblems", 0, 35, 1, 0}),
    [](const testing::TestParamInfo<LimitRow>& info) { return std::string(info.param.name); });

TEST(FileNameOf, TakesTheTextAfterEitherSeparator) {
  EXPECT_EQ(ppi::fileNameOf("./My Data/s1.vtc"), "s1.vtc");
  EXPECT_EQ(ppi::fileNameOf("C:\\My Data\\s1.vtc"), "s1.vtc");
  EXPECT_EQ(ppi::fileNameOf("s1.vtc"), "s1.vtc");
  EXPECT_EQ(ppi::fileNameOf("dir/"), "");
  EXPECT_EQ(ppi::counted(1, "warning"), "1 warning");
  EXPECT_EQ(ppi::counted(0, "warning"), "0 warnings");
}

}  // namespace
