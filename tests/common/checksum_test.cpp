#include "common/checksum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// Bytes (i * 7 + 3) mod 256, the pattern the reference values were taken over
// with the xxhsum tool (xxhsum -H3).
std::vector<unsigned char> pattern(std::size_t size) {
  std::vector<unsigned char> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>((i * 7 + 3) % 256);
  return bytes;
}

struct Reference {
  const char* name;
  std::size_t size;
  std::uint64_t checksum;
};

class Checksum64 : public testing::TestWithParam<Reference> {};

// The lengths where XXH3 changes its method: 0, 1-3, 4-8, 9-16, 17-128,
// 129-240 and longer.
INSTANTIATE_TEST_SUITE_P(XxhsumReference, Checksum64,
                         testing::Values(Reference{"empty", 0, 0x2d06800538d394c2ULL},
                                         Reference{"one", 1, 0x13e608bc156defedULL},
                                         Reference{"three", 3, 0xa9088dda485b481cULL},
                                         Reference{"four", 4, 0x6d9253b16c8b1ed3ULL},
                                         Reference{"eight", 8, 0x60539db630471163ULL},
                                         Reference{"nine", 9, 0xfeff668361d723a8ULL},
                                         Reference{"sixteen", 16, 0xb8c859b0f030b585ULL},
                                         Reference{"seventeen", 17, 0x714a04408e79b80fULL},
                                         Reference{"oneTwentyEight", 128, 0x67425a03650261bfULL},
                                         Reference{"oneTwentyNine", 129, 0xc664bf3311c6abc4ULL},
                                         Reference{"twoForty", 240, 0x64556dc6b462a6cfULL},
                                         Reference{"twoFortyOne", 241, 0x8beadd3a8874fe17ULL},
                                         Reference{"thousand", 1000, 0x6c4f14bd97bd9e82ULL}),
                         [](const testing::TestParamInfo<Reference>& info) {
                           return info.param.name;
                         });

TEST_P(Checksum64, MatchesTheReferenceAtAnyAlignment) {
  const Reference& reference = GetParam();
  const std::vector<unsigned char> bytes = pattern(reference.size);
  EXPECT_EQ(ppi::checksum64(bytes.data(), bytes.size()), reference.checksum);
  // The same bytes one past an aligned address.
  std::vector<unsigned char> shifted(reference.size + 1);
  std::copy(bytes.begin(), bytes.end(), shifted.begin() + 1);
  EXPECT_EQ(ppi::checksum64(shifted.data() + 1, reference.size), reference.checksum);
  if (reference.size == 0) {
    EXPECT_EQ(ppi::checksum64(nullptr, 0), reference.checksum);
  }
}

TEST(Hex64, SixteenLowerCaseDigitsMostSignificantFirst) {
  const struct {
    std::uint64_t value;
    const char* text;
  } rows[] = {{0, "0000000000000000"},
              {0xdeadbeefULL, "00000000deadbeef"},
              {0x0123456789abcdefULL, "0123456789abcdef"},
              {0xf000000000000001ULL, "f000000000000001"},
              {~0ULL, "ffffffffffffffff"}};
  for (const auto& row : rows) EXPECT_EQ(ppi::hex64(row.value), row.text) << row.text;
}

}  // namespace
