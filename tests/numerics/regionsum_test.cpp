// Every summing path against a loop over volumes outside and voxels inside,
// bit for bit, on the same samples.
#include "numerics/regionsum.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace {

using ppi::analysis::SumPath;

// A small deterministic generator (the same samples on every platform).
struct Generator {
  std::uint32_t state;
  std::uint32_t next() {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  }
};

// What a case sums: samples of `cells` voxels of `volumes` each, the voxels
// (cell numbers, in order, repeats allowed) and the sums they are added to.
struct Data {
  std::vector<std::int16_t> ints;
  std::vector<float> floats;
  std::vector<std::size_t> offsets;
  std::vector<float> start;
};

// The samples of a case: 16-bit ones and floats of like kind.
enum Samples {
  kSmall,        // |x| < 2048
  kWide,         // 16-bit: the full range; floats: magnitudes 1e-3 to 1e7 of both signs
  kExtremes,     // 16-bit: only -32768 and 32767, so sums pass 2^24 and every addition
                 // rounds; floats: near the largest float, so sums overflow
  kVolumeIndex,  // volume t holds t: a shifted read shows at once
};

struct Case {
  std::string name;
  std::size_t cells, volumes;
  std::vector<std::size_t> voxels;  // then voxels drawn from the cells up to `count`
  std::size_t count;
  Samples samples;
  bool zeroStart;  // else the sums start from values of their own
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

std::int16_t intSample(Samples kind, std::size_t t, std::uint32_t r) {
  switch (kind) {
    case kSmall:
      return static_cast<std::int16_t>(static_cast<int>(r % 4096) - 2048);
    case kWide:
      return static_cast<std::int16_t>(static_cast<int>(r % 65536) - 32768);
    case kExtremes:
      return r % 3 == 0 ? std::int16_t{-32768} : std::int16_t{32767};
    case kVolumeIndex:
      return static_cast<std::int16_t>(t % 32768);
  }
  return 0;
}

float floatSample(Samples kind, std::size_t t, std::uint32_t r) {
  switch (kind) {
    case kSmall:
      return static_cast<float>(static_cast<int>(r % 4096) - 2048) * 0.37f;
    case kWide: {
      const float magnitude = std::pow(10.0f, static_cast<float>(r % 11) - 3.0f);
      return (r & 0x100000u ? -magnitude : magnitude) * (1.0f + static_cast<float>(r % 97) / 97.0f);
    }
    case kExtremes:
      return (r % 4 == 0 ? -0.75f : 0.75f) * std::numeric_limits<float>::max();
    case kVolumeIndex:
      return static_cast<float>(t);
  }
  return 0.0f;
}

Data makeData(const Case& c) {
  Data d;
  Generator random{7u + static_cast<std::uint32_t>(c.volumes)};
  // The samples fill their arrays exactly, so reading past the last voxel's
  // volumes is an error the address sanitizer reports.
  d.ints.resize(c.cells * c.volumes);
  d.floats.resize(c.cells * c.volumes);
  for (std::size_t cell = 0; cell < c.cells; ++cell) {
    for (std::size_t t = 0; t < c.volumes; ++t) {
      const std::uint32_t r = random.next();
      d.ints[cell * c.volumes + t] = intSample(c.samples, t, r);
      d.floats[cell * c.volumes + t] = floatSample(c.samples, t, r);
    }
  }
  std::vector<std::size_t> voxels = c.voxels;
  while (voxels.size() < c.count) voxels.push_back(random.next() % c.cells);
  for (std::size_t v : voxels) d.offsets.push_back(v * c.volumes);
  for (std::size_t t = 0; t < c.volumes; ++t) {
    d.start.push_back(c.zeroStart ? 0.0f : static_cast<float>(random.next() % 1000) * 0.37f);
  }
  return d;
}

template <typename Sample>
std::vector<float> volumeByVolume(const std::vector<Sample>& samples, const Data& d) {
  std::vector<float> sums = d.start;
  for (std::size_t t = 0; t < sums.size(); ++t) {
    float sum = sums[t];
    for (std::size_t offset : d.offsets) sum += static_cast<float>(samples[offset + t]);
    sums[t] = sum;
  }
  return sums;
}

// Whether two sum vectors hold the same bits (NaNs and the sign of zero
// included).
::testing::AssertionResult sameBits(const std::vector<float>& expected,
                                    const std::vector<float>& actual) {
  if (expected.size() != actual.size()) return ::testing::AssertionFailure() << "sizes differ";
  for (std::size_t t = 0; t < expected.size(); ++t) {
    std::uint32_t a = 0, b = 0;
    std::memcpy(&a, &expected[t], sizeof a);
    std::memcpy(&b, &actual[t], sizeof b);
    if (a != b) {
      return ::testing::AssertionFailure()
             << "volume " << t << ": expected " << expected[t] << " (0x" << std::hex << a
             << "), got " << actual[t] << " (0x" << b << ")";
    }
  }
  return ::testing::AssertionSuccess();
}

class SumPaths : public ::testing::TestWithParam<Case> {};

TEST_P(SumPaths, EveryPathAddsVoxelByVoxelInOrder) {
  const Case& c = GetParam();
  const Data d = makeData(c);
  const std::vector<float> expectedInts = volumeByVolume(d.ints, d);
  const std::vector<float> expectedFloats = volumeByVolume(d.floats, d);

  for (SumPath path : {SumPath::baseline, SumPath::avx2}) {
    SCOPED_TRACE(path == SumPath::avx2 ? "avx2" : "baseline");
    if (!ppi::analysis::pathAvailable(path)) continue;  // the path test below checks why
    std::vector<float> ints = d.start, floats = d.start;
    ASSERT_TRUE(ppi::analysis::sumOverVoxels(path, d.ints.data(), d.offsets, ints));
    ASSERT_TRUE(ppi::analysis::sumOverVoxels(path, d.floats.data(), d.offsets, floats));
    EXPECT_TRUE(sameBits(expectedInts, ints)) << "16-bit samples";
    EXPECT_TRUE(sameBits(expectedFloats, floats)) << "float samples";
  }
  std::vector<float> ints = d.start, floats = d.start;
  ppi::analysis::sumOverVoxels(d.ints.data(), d.offsets, ints);
  ppi::analysis::sumOverVoxels(d.floats.data(), d.offsets, floats);
  EXPECT_TRUE(sameBits(expectedInts, ints)) << "16-bit samples, chosen path";
  EXPECT_TRUE(sameBits(expectedFloats, floats)) << "float samples, chosen path";
}

// The AVX2 path handles 8 volumes at a time, 32 (16-bit) or 16 (float) between
// two prefetches, and voxels in groups of 4; the rows straddle those counts.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, SumPaths, ::testing::Values(
    //   name                      cells volumes voxels (then drawn up to count) samples  from 0
    Case{"OneVoxelOneVolume",          1,    1, {0},                        0, kSmall,      true},
    Case{"OneVoxelSevenVolumes",       1,    7, {0},                        0, kWide,       false},
    Case{"OneVoxelOneVector",          2,    8, {1},                        0, kVolumeIndex, true},
    Case{"ThreeVoxelsNineVolumes",     5,    9, {4, 0, 2},                  0, kWide,       false},
    Case{"GroupAndOnePastTwoLines",    8,   33, {3, 1, 4, 1, 5},            0, kWide,       true},
    Case{"VolumesOneShortOf16",       20,   15, {},                        11, kSmall,      false},
    Case{"VolumesOnePast32",          20,   33, {},                        13, kVolumeIndex, false},
    Case{"OddVolumesManyLines",       40, 1001, {},                        37, kWide,       true},
    Case{"OneVoxelRepeated",           3,   47, {2, 2, 2, 2, 2, 2},         0, kWide,       false},
    Case{"LastCellFirstAndLast",       6,   40, {5, 0, 1, 2, 3, 4, 5},      0, kVolumeIndex, true},
    Case{"DescendingCells",            8,  100, {7, 6, 5, 4, 3, 2, 1, 0},   0, kSmall,      false},
    Case{"ExtremesPastTwoToThe24",    30,   37, {},                      3000, kExtremes,   true},
    Case{"ManyVoxels",               500,   61, {},                     10000, kWide,       true},
    Case{"NoVoxels",                   2,   50, {},                         0, kSmall,      false}),
    [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });
// clang-format on

TEST(SumPathsChoice, ChosenPathIsTheFastestAvailableAndUnavailablePathsSumNothing) {
  EXPECT_TRUE(ppi::analysis::pathAvailable(SumPath::baseline));
  const bool avx2 = ppi::analysis::pathAvailable(SumPath::avx2);
  EXPECT_EQ(ppi::analysis::chosenPath(), avx2 ? SumPath::avx2 : SumPath::baseline);
  if (!avx2) {
    const std::vector<std::int16_t> samples(4, 1);
    std::vector<float> sums(4, 2.0f);
    EXPECT_FALSE(ppi::analysis::sumOverVoxels(SumPath::avx2, samples.data(), {0}, sums));
    EXPECT_EQ(sums, std::vector<float>(4, 2.0f));
  }
}

}  // namespace
