#include "standin/textutil.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ParseInt, ReadsOnlyAWholeDecimalIntegerAndLeavesTheValueOtherwise) {
  struct Row {
    const char* name;
    const char* text;
    bool read;
    int value;  // what the variable holds afterwards (it starts at 99)
  };
  const Row rows[] = {
      {"plain", "12", true, 12},
      {"negative", "-7", true, -7},
      {"leading zeros", "007", true, 7},
      {"smallest", "-2147483648", true, -2147483647 - 1},
      {"empty", "", false, 99},
      {"plus sign", "+3", false, 99},
      {"leading blank", " 1", false, 99},
      {"trailing blank", "1 ", false, 99},
      {"trailing letters", "12abc", false, 99},
      {"hexadecimal", "0x10", false, 99},
      {"decimal point", "1.5", false, 99},
      {"minus alone", "-", false, 99},
      {"one past the largest", "2147483648", false, 99},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    int value = 99;
    EXPECT_EQ(standin::parseInt(row.text, value), row.read);
    EXPECT_EQ(value, row.value);
  }
}

TEST(FolderOf, CutsAtTheLastSlashOrBackslash) {
  struct Row {
    const char* name;
    const char* path;
    const char* folder;
  };
  const Row rows[] = {
      {"relative", "a/b/c.txt", "a/b"},
      {"no folder", "c.txt", "."},
      {"empty", "", "."},
      {"Windows", "C:\\Program Files\\TessarayNK.exe", "C:\\Program Files"},
      {"mixed separators", "C:\\plugins/sub\\ppiplugin.dll", "C:\\plugins/sub"},
      {"root", "/libppiplugin.so", ""},
      {"trailing slash", "build/", "build"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(standin::folderOf(row.path), row.folder);
  }
}

}  // namespace
