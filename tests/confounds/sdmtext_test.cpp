#include "confounds/sdmtext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using ppi::sdm::formatConstant;
using ppi::sdm::formatValue;

std::vector<double> formattingCases() {
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> values = {0.0,
                                -0.0,
                                0.5,
                                -2.25,
                                1.0 / 3.0,
                                100.0,
                                1.0,
                                1e-4,
                                9.99999e-5,
                                9.999995e-5,
                                1e-5,
                                123456.0,
                                999999.0,
                                999999.5,
                                999999.4,
                                1e6,
                                1234567.0,
                                0.1234565,
                                0.1234575,
                                2.5e-7,
                                -1.5e+17,
                                1e100,
                                1e-100,
                                1e308,
                                std::numeric_limits<double>::max(),
                                std::numeric_limits<double>::lowest(),
                                std::numeric_limits<double>::min(),
                                std::numeric_limits<double>::denorm_min(),
                                1e-310,
                                -3.7e-320,
                                inf,
                                -inf,
                                0.0000005,
                                0.0000015,
                                0.0000025,
                                2.0000005,
                                1e16,
                                1e17,
                                99999999999999999.0,
                                0.9999995,
                                9.5,
                                0.5e-6};
  std::mt19937_64 random(20240611);
  // Any bit pattern: every exponent, subnormals, infinities (NaNs left out).
  while (values.size() < 2000) {
    std::uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    if (!std::isnan(value)) values.push_back(value);
  }
  // Decimal values with ties and near-ties at the sixth and seventh digit.
  std::uniform_int_distribution<int> digits(0, 9999999), exponent(-12, 12);
  while (values.size() < 5000) {
    double value = digits(random) * std::pow(10.0, exponent(random)) + 0.5 * (values.size() % 3);
    values.push_back(values.size() % 2 ? -value : value);
  }
  return values;
}

TEST(SdmFormat, ValuesAreWrittenAsPrintfWritesThem) {
  for (double value : formattingCases()) {
    char expected[400];
    std::snprintf(expected, sizeof expected, "%g", value);
    char text[ppi::sdm::kValueTextCapacity];
    std::size_t length = formatValue(value, text);
    ASSERT_STREQ(text, expected) << "for " << value;
    ASSERT_EQ(length, std::strlen(expected));

    std::snprintf(expected, sizeof expected, "%4.6lf", value);
    char constant[ppi::sdm::kConstantTextLimit + 1];
    length = formatConstant(value, constant);
    if (std::strlen(expected) <= ppi::sdm::kConstantTextLimit) {
      ASSERT_STREQ(constant, expected) << "for " << value;
      ASSERT_EQ(length, std::strlen(expected));
    } else {
      ASSERT_EQ(length, 0u) << "for " << value;  // refused, not cut
      ASSERT_STREQ(constant, "");
    }
  }
}

TEST(SdmFormat, NumbersAreParsedAsDecimalTokensOnly) {
  struct ValueRow {
    const char* token;
    bool accepted;
    double value;
  };
  const ValueRow values[] = {
      {"0.5", true, 0.5},
      {"-2.25", true, -2.25},
      {"+1", true, 1.0},
      {"1e3", true, 1000.0},
      {"1E-3", true, 0.001},
      {".5", true, 0.5},
      {"5.", true, 5.0},
      {"-0", true, -0.0},
      {"0.333333", true, 0.333333},
      {"4.94066e-324", true, std::numeric_limits<double>::denorm_min()},
      {"1,5", false, 0},
      {"inf", false, 0},
      {"-nan", false, 0},
      {"", false, 0},
      {"--1", false, 0},
      {"+-1", false, 0},
      {"1e400", false, 0},
      {"0x1p3", false, 0},
      {"1.5x", false, 0},
      {".", false, 0},
      {"e5", false, 0},
  };
  for (const ValueRow& row : values) {
    SCOPED_TRACE(row.token);
    double value = 42.0;
    EXPECT_EQ(ppi::sdm::parseValue(row.token, value), row.accepted);
    if (row.accepted) {
      EXPECT_EQ(value, row.value);
      EXPECT_EQ(std::signbit(value), std::signbit(row.value));
    } else {
      EXPECT_EQ(value, 42.0);
    }
  }

  struct IntegerRow {
    const char* token;
    bool accepted;
    std::int32_t value;
  };
  const IntegerRow integers[] = {
      {"0", true, 0},
      {"-5", true, -5},
      {"+7", true, 7},
      {"007", true, 7},
      {"2147483647", true, 2147483647},
      {"-2147483648", true, std::numeric_limits<std::int32_t>::min()},
      {"2147483648", false, 0},
      {"1.0", false, 0},
      {"12a", false, 0},
      {"", false, 0},
      {"-", false, 0},
      {"+", false, 0},
      {"+-3", false, 0},
      {"0x10", false, 0},
  };
  for (const IntegerRow& row : integers) {
    SCOPED_TRACE(row.token);
    std::int32_t value = 42;
    EXPECT_EQ(ppi::sdm::parseInteger(row.token, value), row.accepted);
    EXPECT_EQ(value, row.accepted ? row.value : 42);
  }
}

TEST(SdmFormat, QuotedNamesAreTakenBetweenPairsOfQuotes) {
  struct Row {
    const char* line;
    std::vector<std::string> names;
  };
  const Row rows[] = {
      {"\"a\"\t\"b c\"\t", {"a", "b c"}},
      {"  \"a\"   \t\t \"b\"", {"a", "b"}},
      {"\"a\"\t\"\"\t\"c\"\t", {"a", "c"}},  // an empty name is no name
      {"\"a\"\t\"unclosed", {"a"}},
      {"x \"a\" y \"b\" z", {"a", "b"}},
      {"", {}},
      {"no quotes", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    EXPECT_EQ(ppi::sdm::takeQuotedNames(row.line), row.names);
  }
}

TEST(SdmTokens, ReadsAcrossLinesAndStopsAtTheEndOfInput) {
  const std::string longKey(1000, 'k');
  std::istringstream in(longKey + "\r\n \t\v\f 12\n\n-3 4 5\r\n\"a b\"\t\"c\r\nd\"\n");
  ppi::sdm::TokenReader reader(in);
  std::string key;
  std::int32_t version = 0;
  ASSERT_TRUE(reader.readHeaderItem(key, version));
  EXPECT_EQ(key, longKey);
  EXPECT_EQ(version, 12);
  ppi::sdm::Colour colour{};
  ASSERT_TRUE(reader.readColour(colour));
  EXPECT_EQ(colour, (ppi::sdm::Colour{-3, 4, 5}));
  EXPECT_TRUE(reader.skipQuoteCharacters(4));
  EXPECT_FALSE(reader.skipQuoteCharacters(1));  // the end of the input, not a wait
  EXPECT_FALSE(reader.readKey(key));

  // The fifth line, read whole after going back, without its carriage return.
  ASSERT_TRUE(reader.rewindAndSkipLines(4));
  std::string line;
  ASSERT_TRUE(reader.readLine(line));
  EXPECT_EQ(line, "\"a b\"\t\"c");
  EXPECT_TRUE(reader.rewindAndSkipLines(6));
  EXPECT_FALSE(reader.rewindAndSkipLines(7));
}

// A string stream that counts its flushes.
struct CountingBuffer : std::stringbuf {
  int syncs = 0;
  int sync() override {
    ++syncs;
    return std::stringbuf::sync();
  }
};

TEST(SdmTokens, WriterLinesEndInTabsExceptAfterTheConstant) {
  CountingBuffer buffer;
  std::ostream out(&buffer);
  ppi::sdm::Writer writer(out);
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
