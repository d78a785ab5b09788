#include <gtest/gtest.h>

#include <string>

#include "commands/paths.h"

namespace {

TEST(SplitPath, SplitsAtTheLastSlashOnly) {
  struct Row {
    const char* path;
    const char* directory;
    const char* fileName;
  };
  const Row rows[] = {
      {"/data/s01/run1.vtc", "/data/s01", "run1.vtc"},
      {"run1.vtc", "run1.vtc", "run1.vtc"},
      {"/data/s01/", "/data/s01", ""},
      {"/run1.vtc", "", "run1.vtc"},
      {"C:\\data\\run1.vtc", "C:\\data\\run1.vtc", "C:\\data\\run1.vtc"},
      {"a/b\\c/d.vtc", "a/b\\c", "d.vtc"},
      {"", "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    testing::internal::CaptureStdout();
    ppi::SplitPath parts = ppi::splitPath(row.path);
    std::string echoed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(parts.directory, row.directory);
    EXPECT_EQ(parts.fileName, row.fileName);
    EXPECT_EQ(echoed, std::string("Splitting: ") + row.path + "\n path: " + row.directory +
                          "\n file: " + row.fileName + "\n");
  }
}

TEST(AppendLine, JoinsWithSingleLineFeedsAndRefusesOverflow) {
  ppi::ListText list;
  ASSERT_TRUE(ppi::appendLine("a.vtc", list));
  EXPECT_EQ(list.view(), "a.vtc");
  ASSERT_TRUE(ppi::appendLine("b.vtc", list));
  EXPECT_EQ(list.view(), "a.vtc\nb.vtc");
  ASSERT_TRUE(ppi::appendLine("", list));
  EXPECT_EQ(list.view(), "a.vtc\nb.vtc\n");

  ppi::ListText full;
  ASSERT_TRUE(full.assign(std::string(4990, 'x')));
  EXPECT_TRUE(ppi::appendLine("12345678", full));  // 4990 + 1 + 8 = 4999
  EXPECT_EQ(full.size(), 4999u);
  EXPECT_FALSE(ppi::appendLine("", full));
  EXPECT_EQ(full.size(), 4999u);
}

}  // namespace
