#include "formats/sdmfile.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/formats/sdmfiles.h"

namespace {

using sdmfiles::motionFile;

ppi::confounds::DesignMatrixRead read(const std::string& text) {
  std::istringstream in(text);
  return ppi::confounds::readDesignMatrix(in);
}

std::string withoutLastCharacters(std::string text, std::size_t count) {
  text.resize(text.size() - count);
  return text;
}

TEST(ReadDesignMatrix, ReadsAWholeFileAndSaysWhatAnIncompleteOneLacks) {
  const std::string whole = motionFile(6, 3);
  const struct {
    const char* name;
    std::string text;
    std::string problem;  // empty: complete
  } rows[] = {
      {"whole", whole, ""},
      {"CR LF line ends and blank lines after the rows",
       [&] {
         std::string text;
         for (char c : whole) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
         return text + "\r\n\n";
       }(),
       ""},
      {"no line feed after the last row", withoutLastCharacters(whole, 1), ""},
      {"cut in the header", whole.substr(0, 30), "its header is incomplete"},
      {"cut in the colours", whole.substr(0, whole.find('\t', 110)), "it holds "},
      {"a name short", sdmfiles::motionFile(6, 3, "\"a\"\t\"b\""), "its ninth line names 2 of 6"},
      {"cut in the last row", whole.substr(0, whole.rfind('\t', whole.size() - 3)),
       "row 3 of 3 holds 5 of 6 values"},
      {"a row missing", whole.substr(0, whole.rfind('\n', whole.size() - 2) + 1),
       "row 3 of 3 is missing"},
      {"a row more", whole + "1\t2\t3\t4\t5\t6\n", "it holds more rows than its header says"},
      {"a value too many", withoutLastCharacters(whole, 1) + "7\n", "row 3 of 3 is not 6 numbers"},
      {"a word for a value", whole.substr(0, whole.size() - 6) + "x\t\n", "row 3 of 3 is not"},
      {"a negative count", sdmfiles::header(1, -1, 2, 0, 1), "its header gives a negative count"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const ppi::confounds::DesignMatrixRead result = read(row.text);
    EXPECT_EQ(result.complete, row.problem.empty()) << result.problem;
    EXPECT_EQ(result.problem.substr(0, row.problem.size()), row.problem);
    if (result.complete) {
      ASSERT_EQ(result.design.names.size(), 6u);
      EXPECT_EQ(result.design.names[5], "Motion 5");
      EXPECT_EQ(result.design.colours[2], (ppi::confounds::sdm::Colour{2, 12, 22}));
      ASSERT_EQ(result.design.columns.size(), 6u);
      for (int k = 0; k < 6; ++k) {
        ASSERT_EQ(result.design.columns[k].size(), 3u);
        for (int r = 0; r < 3; ++r) {
          EXPECT_EQ(result.design.columns[k][r], sdmfiles::motionValue(k, r));
        }
      }
    }
  }
}

}  // namespace
