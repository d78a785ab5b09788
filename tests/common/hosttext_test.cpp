#include "common/hosttext.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

struct Row {
  const char* name;
  std::string host;
  std::string utf8;
};

class HostText : public testing::TestWithParam<Row> {};

TEST_P(HostText, BecomesUtf8WithItsCharacters) {
  EXPECT_EQ(ppi::hostTextToUtf8(GetParam().host), GetParam().utf8);
  EXPECT_TRUE(ppi::isValidUtf8(GetParam().utf8));
}

const Row kRows[] = {
    {"Empty", "", ""},
    {"Ascii", "C:\\study\\s01 run1.vtc", "C:\\study\\s01 run1.vtc"},
    {"ControlBytesStay", "a\tb\x01", "a\tb\x01"},
    {"Latin1Umlaut", "Ger\xe4t", "Ger\xc3\xa4t"},
    {"Latin1Mueller", "M\xfcller", "M\xc3\xbcller"},
    {"Latin1HighBytes", "\x80\xa0\xff", "\xc2\x80\xc2\xa0\xc3\xbf"},
    {"Utf8Kept", "M\xc3\xbcller \xe2\x80\x93 \xf0\x9f\x98\x80", "M\xc3\xbcller \xe2\x80\x93 \xf0\x9f\x98\x80"},
    {"Utf8WithOneStrayByteIsLatin1Whole", "\xc3\xa4\xe4", "\xc3\x83\xc2\xa4\xc3\xa4"},
    {"LoneContinuation", "\xbf", "\xc2\xbf"},
    {"Overlong", "\xc0\xaf", "\xc3\x80\xc2\xaf"},
    {"Surrogate", "\xed\xa0\x80", "\xc3\xad\xc2\xa0\xc2\x80"},
    {"PastU10FFFF", "\xf4\x90\x80\x80", "\xc3\xb4\xc2\x90\xc2\x80\xc2\x80"},
    {"TruncatedAtTheEnd", "ab\xe2\x80", "ab\xc3\xa2\xc2\x80"},
};

INSTANTIATE_TEST_SUITE_P(Common, HostText, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& info) {
                           return std::string(info.param.name);
                         });

// Over every text of up to two bytes: the result is UTF-8; texts that are not
// UTF-8 never meet (nor meet an ASCII text), and their bytes come back as the
// characters' code points.
TEST(HostText, DistinctTextsStayDistinct) {
  std::map<std::string, std::string> seen;  // result -> the text it came from
  int meetings = 0;
  const auto visit = [&](const std::string& text) {
    const std::string utf8 = ppi::hostTextToUtf8(text);
    ASSERT_TRUE(ppi::isValidUtf8(utf8));
    if (!ppi::isValidUtf8(text)) {
      std::string back;
      for (std::size_t at = 0; at < utf8.size(); ++at) {
        const auto lead = static_cast<unsigned char>(utf8[at]);
        back += lead < 0x80 ? utf8[at] : static_cast<char>(((lead & 0x1F) << 6) | (utf8[++at] & 0x3F));
      }
      ASSERT_EQ(back, text);
    }
    auto [where, added] = seen.emplace(utf8, text);
    // Only a UTF-8 text can meet a Latin-1 one: "\xc3\xa4" and "\xe4" are both "ä".
    if (!added) {
      ++meetings;
      ASSERT_NE(ppi::isValidUtf8(where->second), ppi::isValidUtf8(text));
    }
  };
  visit("");
  for (int a = 0; a < 256; ++a) {
    visit(std::string(1, static_cast<char>(a)));
    for (int b = 0; b < 256; ++b) visit({static_cast<char>(a), static_cast<char>(b)});
  }
  // The UTF-8 texts of two bytes that name U+0080..U+00FF, each met by the
  // one Latin-1 byte of that character.
  EXPECT_EQ(meetings, 128);
}

}  // namespace
