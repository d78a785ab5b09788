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

TEST(CountListEntries, CountsLineFeedsAndTheTextAfterThem) {
  const std::pair<const char*, std::size_t> rows[] = {
      {"", 0},       {"ab", 0},       {"abc", 1},  {"a\nb", 2},   {"\n", 1},
      {"a\n\nb", 2}, {"a\n\n\nb", 3}, {"\n\n", 1}, {"x\ny\n", 3}, {"r1.vtc\nr2.vtc\nr3.vtc", 3}};
  for (const auto& [list, entries] : rows) EXPECT_EQ(ppi::countListEntries(list), entries) << list;
}

}  // namespace

namespace {

// A list of `lines` lines "<prefix><number>" of `width` characters each.
std::string numberedLines(std::size_t lines, std::size_t width, char fill = 'p') {
  std::string list;
  for (std::size_t i = 0; i < lines; ++i) {
    std::string line = std::to_string(i);
    line.insert(0, width - line.size(), fill);
    if (i > 0) list += '\n';
    list += line;
  }
  return list;
}

struct PartsCase {
  const char* name;
  std::string list;
  std::size_t limit;
  std::vector<std::string> parts;  // empty: refused
};

TEST(ListParts, SplitIntoFullPartsOfWholeLinesAndJoinBackExactly) {
  const std::string x10(10, 'x');
  const PartsCase cases[] = {
      {"empty list, one empty part", "", 10, {""}},
      {"fits exactly", x10, 10, {x10}},
      {"one past the limit", "abcde\nfghij", 10, {"abcde", "fghij"}},
      {"as many lines as fit", "ab\ncd\nef\ngh", 6, {"ab\ncd", "ef\ngh"}},
      {"empty line at a part's start", "abcdef\n\nx", 6, {"abcdef", "\nx"}},
      {"empty last line", "abcdef\n", 6, {"abcdef", ""}},
      {"empty first line before a full one", "\nabcdef", 6, {"", "abcdef"}},
      {"a line longer than a part", "ab\n" + std::string(11, 'y'), 10, {}},
  };
  for (const PartsCase& row : cases) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> parts;
    EXPECT_EQ(ppi::splitListParts(row.list, parts, row.limit), !row.parts.empty());
    EXPECT_EQ(parts, row.parts);
    if (row.parts.empty()) continue;
    EXPECT_EQ(ppi::joinListParts(parts, row.limit), row.list);
    for (std::size_t k = 0; k + 1 < parts.size(); ++k) {
      EXPECT_TRUE(ppi::partIsFull(parts[k], parts[k + 1], row.limit)) << k;
    }
  }
}

TEST(ListParts, AThousandPathsOf150CharactersInPartsOfTheListLimit) {
  const std::string list = numberedLines(1000, 150);
  std::vector<std::string> parts;
  ASSERT_TRUE(ppi::splitListParts(list, parts));
  // 33 lines of 151 characters (with the line feed) fill 4982 of 4999.
  ASSERT_EQ(parts.size(), 31u);
  for (const std::string& part : parts) {
    EXPECT_LE(part.size(), ppi::kListLimit);
    EXPECT_EQ(ppi::countListEntries(part), &part == &parts.back() ? 1000u - 30 * 33 : 33u);
  }
  EXPECT_EQ(ppi::joinListParts(parts), list);
  EXPECT_EQ(ppi::countListEntries(ppi::joinListParts(parts)), 1000u);
}

struct JoinCase {
  const char* name;
  std::vector<std::string> parts;
  std::string joined;
};

TEST(ListParts, AFirstPartRewrittenAloneHidesTheOldParts) {
  const JoinCase cases[] = {
      {"no part", {}, ""},
      {"the parts of one list", {"abcde", "fghijklm", "nop"}, "abcde\nfghijklm\nnop"},
      {"first part emptied", {"", "fghij", "k"}, ""},
      {"first part set to a short list", {"ab", "fghij"}, "ab"},
      {"a middle part not full", {"abcdefgh", "fg", "hijkl"}, "abcdefgh"},
      {"a part too long", {"abcdefghijk", "x"}, "abcdefghijk"},
  };
  for (const JoinCase& row : cases) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ppi::joinListParts(row.parts, 10), row.joined);
  }
  EXPECT_EQ(ppi::listPartName("VTCFileList", 1), "VTCFileList");
  EXPECT_EQ(ppi::listPartName("VTCFileList", 12), "VTCFileList-12");
  EXPECT_EQ(ppi::listCountName("SDMFileList"), "SDMFileList-parts");
}

}  // namespace
