#include "formats/sdmtext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>

namespace {

namespace sdm = ppi::confounds::sdm;

TEST(SdmFormat, ValuesAreWrittenAsPrintfWritesThem) {
  using limits = std::numeric_limits<double>;
  std::vector<double> values = {0.0,
                                -0.0,
                                1.0 / 3.0,
                                9.999995e-5,
                                999999.5,
                                0.1234565,
                                2.0000005,
                                0.9999995,
                                limits::max(),
                                limits::lowest(),
                                limits::denorm_min(),
                                limits::infinity(),
                                -limits::infinity(),
                                1.0,
                                -1.0,
                                42.0,
                                9007199254740991.0,
                                9007199254740992.0,
                                -123456789012345.0,
                                1e20};
  std::mt19937_64 random(20240611);
  while (values.size() < 2000) {  // any bit pattern: every exponent, subnormals
    std::uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    if (!std::isnan(value)) values.push_back(value);
  }
  std::uniform_int_distribution<int> digits(0, 9999999), exponent(-12, 12);
  while (values.size() < 5000) {  // ties and near-ties at the sixth and seventh digit
    double value = digits(random) * std::pow(10.0, exponent(random)) + 0.5 * (values.size() % 3);
    values.push_back(values.size() % 2 ? -value : value);
  }
  for (double value : values) {
    char expected[400], text[sdm::kValueTextCapacity], constant[sdm::kConstantTextLimit + 1];
    std::snprintf(expected, sizeof expected, "%g", value);
    ASSERT_EQ(sdm::formatValue(value, text), std::strlen(expected));
    ASSERT_STREQ(text, expected);
    std::snprintf(expected, sizeof expected, "%4.6lf", value);
    const bool fits = std::strlen(expected) <= sdm::kConstantTextLimit;  // else refused, not cut
    ASSERT_EQ(sdm::formatConstant(value, constant), fits ? std::strlen(expected) : 0u) << value;
    ASSERT_STREQ(constant, fits ? expected : "");
  }
}

// Values from 1e-5 to 1e15 are formatted by scaling in double precision, the
// rest (and near-ties) exactly: every kind of value in and around that range.
TEST(SdmFormat, ScaledValuesMatchPrintfAtTheirEdges) {
  std::vector<double> values;
  auto around = [&values](double value, int steps) {  // the neighbours a few steps apart
    double below = value, above = value;
    for (int i = 0; i < steps; ++i) {
      below = std::nextafter(below, 0.0);
      above = std::nextafter(above, 1e300);
      values.insert(values.end(), {below, above, -below, -above});
    }
  };
  for (double edge : {1e-5, 1e15, 9.999995e-5, 9.9999949999e-5, 999999.5, 99999.95, 0.1, 0.00001,
                      1.0, 100000.0, 1e6, 1e14, 999999999999999.0}) {
    around(edge, 8);
  }
  std::mt19937_64 random(16);
  std::uniform_int_distribution<std::int64_t> digits(100000, 999999);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  for (int exponent = -7; exponent <= 16; ++exponent) {
    for (int i = 0; i < 4000; ++i) values.push_back(mantissa(random) * std::pow(10.0, exponent));
    for (int i = 0; i < 300; ++i) {  // halfway between two six-digit results, and beside it
      around((static_cast<double>(digits(random)) + 0.5) * std::pow(10.0, exponent - 5), 2);
    }
  }
  for (double value : values) {
    char expected[400], text[sdm::kValueTextCapacity];
    std::snprintf(expected, sizeof expected, "%g", value);
    ASSERT_EQ(sdm::formatValue(value, text), std::strlen(expected)) << expected;
    ASSERT_STREQ(text, expected);
  }
}

TEST(SdmFormat, NumbersAreParsedAsDecimalTokensOnly) {
  struct Row {
    const char* token;
    bool value, integer;  // accepted as a value, as an integer
    double expected;
  };
  const Row rows[] = {
      {"-0", true, true, -0.0},   {"+7", true, true, 7},
      {".5", true, false, 0.5},   {"2147483648", true, false, 2147483648.0},
      {"1,5", false, false, 0},   {"inf", false, false, 0},
      {"1e400", false, false, 0}, {"+-1", false, false, 0},
      {"0x10", false, false, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.token);
    double value = 42.0;
    std::int32_t integer = 42;
    EXPECT_EQ(sdm::parseValue(row.token, value), row.value);
    EXPECT_EQ(value, row.value ? row.expected : 42.0);
    EXPECT_EQ(std::signbit(value), std::signbit(row.expected));
    EXPECT_EQ(sdm::parseInteger(row.token, integer), row.integer);
    EXPECT_EQ(integer, row.integer ? static_cast<std::int32_t>(row.expected) : 42);
  }
}

TEST(SdmTokens, ReadsAcrossLinesAndStopsAtTheEndOfInput) {
  const std::string longKey(1000, 'k');
  std::istringstream in(longKey + "\r\n \t\v\f 12\n\n-3 4 5\r\n\"a b\"\t\"c\r\nd\"\n");
  sdm::TokenReader reader(in);
  std::string key;
  std::int32_t version = 0;
  ASSERT_TRUE(reader.readHeaderItem(key, version));
  EXPECT_EQ(key, longKey);
  EXPECT_EQ(version, 12);
  sdm::Colour colour{};
  ASSERT_TRUE(reader.readColour(colour));
  EXPECT_EQ(colour, (sdm::Colour{-3, 4, 5}));
  EXPECT_TRUE(reader.skipQuoteCharacters(4));
  EXPECT_FALSE(reader.skipQuoteCharacters(1));  // the end of the input, not a wait
  ASSERT_TRUE(reader.rewindAndSkipLines(4));    // the fifth line, without its carriage return
  ASSERT_TRUE(reader.readLine(key));
  EXPECT_EQ(key, "\"a b\"\t\"c");
  EXPECT_FALSE(reader.rewindAndSkipLines(7));
}

// A string stream that counts its flushes.
struct CountingBuffer : std::stringbuf {
  int syncs = 0;
  int sync() override { return ++syncs, std::stringbuf::sync(); }
};

TEST(SdmTokens, WriterLinesEndInTabsExceptAfterTheConstant) {
  CountingBuffer buffer;
  std::ostream out(&buffer);
  sdm::Writer writer(out);
  writer.headerLine("Key:", 11);
  writer.emptyLine();
  writer.colour({255, 0, 0});
  writer.colour({0, 0, 255});
  writer.endLine();
  writer.name("a b");
  writer.endLine();
  writer.value(0.5);
  writer.value(1.0 / 3.0);
  EXPECT_TRUE(writer.constant(1.0));
  writer.endLine();
  writer.value(-0.0);
  EXPECT_FALSE(writer.constant(1e30));
  const std::string written = "Key: 11\n\n255 0 0\t0 0 255\t\n\"a b\"\t\n0.5\t0.333333\t1.000000\n";
  EXPECT_EQ(buffer.str(), written);  // a line reaches the stream whole, when it ends
  EXPECT_EQ(buffer.syncs, 5);
  writer.endLine();
  EXPECT_EQ(buffer.str(), written + "-0\t\n");
  EXPECT_EQ(buffer.syncs, 6);
}

}  // namespace

namespace {

// What a reader gives for the merge's sequence of reads: five header items,
// three colours, the ninth line, then values to the end; a failed read ends it.
template <typename Reader, typename Line>
std::string readTrace(Reader& reader) {
  std::string trace, key;
  std::int32_t number = 0;
  for (int i = 0; i < 5; ++i) {
    if (!reader.readHeaderItem(key, number)) return trace + "|header failed";
    trace += key + "=" + std::to_string(number) + ";";
  }
  for (int i = 0; i < 3; ++i) {
    sdm::Colour colour{};
    if (!reader.readColour(colour)) return trace + "|colour failed";
    trace += std::to_string(colour[0] + colour[1] + colour[2]) + ";";
  }
  Line line;
  if (!reader.rewindAndSkipLines(8)) return trace + "|rewind failed";
  if (!reader.readLine(line)) return trace + "|line failed";
  trace += "[" + std::string(line) + "]";
  for (double value = 0.0; reader.readValue(value);) trace += std::to_string(value) + ";";
  return trace;
}

}  // namespace

TEST(SdmTokens, TextReaderReadsAsTheStreamReaderDoes) {
  const std::string header = "K 1\n\nP 3\nD 2\nC 1\nF 1\n\n";
  struct Row {
    const char* name;
    std::string text;
  };
  const Row rows[] = {
      {"plain", header + "1 2 3\t4 5 6\t7 8 9\n\"a\"\t\"b\"\t\"c\"\n0.5\t1\t1\n2\t3\t1\n"},
      {"crlf", "K 1\r\n\r\nP 3\r\nD 2\r\nC 1\r\nF 1\r\n\r\n1 2 3\t4 5 6\t7 8 9\r\n\"a\"\r\n1\r\n"},
      {"colours over lines", header + "1\n2\n3\n4 5 6 7 8 9\n\"n\"\n1 2\n"},
      {"no final line feed", header + "1 2 3 4 5 6 7 8 9\n\"x\"\t\"y\""},
      {"eight lines only", header + "1 2 3 4 5 6 7 8 9\n"},
      {"eight lines, no feed", header + "1 2 3 4 5 6 7 8 9"},
      {"empty ninth line", header + "1 2 3 4 5 6 7 8 9\n\n4\n"},
      {"bad value stops", header + "1 2 3 4 5 6 7 8 9\nn\n1 x 2\n"},
      {"header cut short", "K 1\n\nP"},
      {"key without number", "K\n"},
      {"nul and form feed", header + std::string("1 2 3\f4 5 6\v7 8 9\n\"a\0b\"\n1\0\n", 27)},
      {"empty", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::istringstream in(row.text);
    sdm::TokenReader streamReader(in);
    sdm::TextReader textReader(row.text);
    const std::string expected = readTrace<sdm::TokenReader, std::string>(streamReader);
    const std::string read = readTrace<sdm::TextReader, std::string_view>(textReader);
    EXPECT_EQ(read, expected);
  }
}

// A value read as text must be what formatting the read value writes, "%g" of
// the number the token stands for, whichever way the reader takes: the quick
// way needs 32 bytes after the token, so every token is read both with a long
// tail and as the text's last token.
TEST(SdmTokens, ValuesReadAsTextAreWhatPrintfWritesOfTheToken) {
  struct Row {
    const char* name;
    const char* token;
    const char* expected;  // nullptr: not a value
  };
  const Row rows[] = {
      {"fraction rounded up", "-0.123456789", "-0.123457"},
      {"nines carry into a new decade", "9.999995001", "10"},
      {"tie below: the double decides", "0.1234565", "0.123456"},
      {"tie with trailing zeros", "0.12345650", "0.123456"},
      {"tie of an integer", "999999.5", "1e+06"},
      {"tie between decades", "99999.95", "99999.9"},
      {"negative zero", "-0.000", "-0"},
      {"plus sign", "+5", "5"},
      {"leading and trailing zeros", "007.50", "7.5"},
      {"small, scientific", "0.0000123456789", "1.23457e-05"},
      {"fifteen digits", "123456789012345", "1.23457e+14"},
      {"sixteen characters", "-0.1234567890123", "-0.123457"},
      {"exponent", "1.5e-3", "0.0015"},
      {"point last", "5.", "5"},
      {"point first", "-.5", "-0.5"},
      {"two points", "1.2.3", nullptr},
      {"comma", "1,5", nullptr},
      {"sign alone", "-", nullptr},
      {"word", "seven", nullptr},
  };
  const std::string tail = "\t7\t" + std::string(40, '1');
  for (const Row& row : rows) {
    for (const bool last : {false, true}) {
      SCOPED_TRACE(std::string(row.name) + (last ? ", last token" : ", long tail"));
      const std::string text = std::string(" ") + row.token + (last ? "" : tail);
      sdm::TextReader reader(text);
      char out[sdm::kValueTextCapacity];
      const std::size_t length = reader.readValueFormatted(out);
      ASSERT_EQ(length, row.expected ? std::strlen(row.expected) : 0u);
      if (!row.expected) continue;
      EXPECT_STREQ(out, row.expected);
      double next = 0.0;
      EXPECT_EQ(reader.readValue(next), !last);  // the reader stands after the token
      EXPECT_EQ(next, last ? 0.0 : 7.0);
    }
  }

  // Random tokens of every shape the quick way takes, weighted towards ties,
  // nines and zeros, against printf of the number the C library reads.
  std::mt19937_64 random(20261208);
  auto pick = [&random](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  for (int i = 0; i < 200000; ++i) {
    std::string digits;
    const int count = pick(1, 15);
    const int kind = pick(0, 3);
    for (int d = 0; d < count; ++d) {
      if (kind == 0) digits += static_cast<char>('0' + pick(0, 9));
      if (kind == 1) digits += pick(0, 3) ? '9' : static_cast<char>('0' + pick(0, 9));
      if (kind == 2)
        digits += d == 0 ? static_cast<char>('1' + pick(0, 8)) : pick(0, 1) ? '0' : '5';
      if (kind == 3) digits += d < pick(0, count) ? '0' : static_cast<char>('0' + pick(0, 9));
    }
    std::string token = pick(0, 2) == 0 ? "-" : pick(0, 5) == 0 ? "+" : "";
    const int point = pick(0, count);  // count: no point
    token += point == 0 || point == count ? digits
                                          : digits.substr(0, point) + "." + digits.substr(point);
    if (token.size() > 15) token.erase(15);
    for (const bool last : {false, true}) {
      const std::string text = token + (last ? "" : tail);
      sdm::TextReader reader(text);
      char out[sdm::kValueTextCapacity], expected[64];
      std::snprintf(expected, sizeof expected, "%g", std::strtod(token.c_str(), nullptr));
      ASSERT_EQ(reader.readValueFormatted(out), std::strlen(expected)) << token;
      ASSERT_STREQ(out, expected) << token;
    }
  }
}
