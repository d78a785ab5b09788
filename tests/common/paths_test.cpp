#include "common/paths.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SplitPath, SplitsAtTheLastSlashOnlyAndEchoesTheParts) {
  const char* const rows[][3] = {
      // path, directory, file name
      {"/data/s01/run1.vtc", "/data/s01", "run1.vtc"},
      {"run1.vtc", "run1.vtc", "run1.vtc"},
      {"/data/s01/", "/data/s01", ""},
      {"a/b\\c/d.vtc", "a/b\\c", "d.vtc"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row[0]);
    testing::internal::CaptureStdout();
    const ppi::SplitPath parts = ppi::splitPath(row[0]);
    EXPECT_EQ(
        testing::internal::GetCapturedStdout(),
        std::string("Splitting: ") + row[0] + "\n path: " + row[1] + "\n file: " + row[2] + "\n");
    EXPECT_EQ(parts.directory, row[1]);
    EXPECT_EQ(parts.fileName, row[2]);
  }
}

TEST(AppendLine, JoinsWithSingleLineFeedsAndRefusesOverflow) {
  ppi::ListText list;
  ASSERT_TRUE(ppi::appendLine("a.vtc", list) && ppi::appendLine("b.vtc", list));
  EXPECT_EQ(list.view(), "a.vtc\nb.vtc");
  ASSERT_TRUE(list.assign(std::string(4990, 'x')));
  EXPECT_TRUE(ppi::appendLine("12345678", list));  // 4990 + 1 + 8 = 4999
  EXPECT_FALSE(ppi::appendLine("", list));
  EXPECT_EQ(list.size(), 4999u);
}

TEST(CountListEntries, CountsLineFeedsAndTheTextAfterThem) {
  const std::pair<const char*, std::size_t> rows[] = {
      {"", 0},       {"ab", 0},       {"abc", 1},  {"a\nb", 2},   {"\n", 1},
      {"a\n\nb", 2}, {"a\n\n\nb", 3}, {"\n\n", 1}, {"x\ny\n", 3}, {"r1.vtc\nr2.vtc\nr3.vtc", 3}};
  for (const auto& [list, entries] : rows) EXPECT_EQ(ppi::countListEntries(list), entries) << list;
}

}  // namespace
