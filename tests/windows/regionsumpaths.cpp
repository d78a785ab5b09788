// The region sums of both paths on the same samples, compared bit for bit, as a
// plain Windows program (the Windows build has no test framework). Exits 1 on
// a difference, 77 (skipped) when the processor has no AVX2.
//
// With --time it instead times both paths on a region of 100,000 voxels of a
// 64 x 64 x 40 grid with 1000 volumes, as the Linux benchmark does, next to a
// sequential read of as many bytes, and prints GiB/s of the thread's processor
// time (the machine it runs on may be busy).
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "numerics/regionsum.h"

namespace {

using ppi::analysis::SumPath;

std::uint32_t nextRandom(std::uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

template <typename Sample>
bool samePaths(const std::vector<Sample>& samples, const std::vector<std::size_t>& offsets,
               std::size_t volumes, const char* what) {
  std::vector<float> baseline(volumes, 0.5f), avx2(volumes, 0.5f);
  ppi::analysis::sumOverVoxels(SumPath::baseline, samples.data(), offsets, baseline);
  ppi::analysis::sumOverVoxels(SumPath::avx2, samples.data(), offsets, avx2);
  if (std::memcmp(baseline.data(), avx2.data(), volumes * sizeof(float)) == 0) return true;
  for (std::size_t t = 0; t < volumes; ++t) {
    if (std::memcmp(&baseline[t], &avx2[t], sizeof(float)) != 0) {
      std::printf(
          "%s: %zu voxels, %zu volumes: volume %zu is %.9g on the baseline path, %.9g "
          "on the AVX2 path\n",
          what, offsets.size(), volumes, t, static_cast<double>(baseline[t]),
          static_cast<double>(avx2[t]));
      break;
    }
  }
  return false;
}

// Volume counts around the AVX2 path's steps of 8, 16 and 32 volumes; voxel
// counts around its groups of 4; samples across the whole 16-bit range (and
// only its extremes, past 2^24 in sum) and floats of wide magnitudes.
int compare() {
  int failures = 0;
  for (std::size_t volumes : {1, 7, 8, 9, 15, 17, 31, 33, 64, 1001}) {
    for (std::size_t voxels : {1, 3, 4, 5, 37, 3000}) {
      for (bool extremes : {false, true}) {
        const std::size_t cells = 50;
        std::uint32_t state = static_cast<std::uint32_t>(volumes * 131 + voxels);
        std::vector<std::int16_t> ints(cells * volumes);
        std::vector<float> floats(cells * volumes);
        for (std::size_t i = 0; i < ints.size(); ++i) {
          const std::uint32_t r = nextRandom(state);
          ints[i] = extremes ? (r % 3 ? std::int16_t{32767} : std::int16_t{-32768})
                             : static_cast<std::int16_t>(static_cast<int>(r % 65536) - 32768);
          const float magnitude = static_cast<float>(1u << (r % 24)) / 1024.0f;
          floats[i] = (r & 0x1000000u ? -magnitude : magnitude) * (1.0f + (r % 89) / 89.0f);
        }
        std::vector<std::size_t> offsets;
        // The last cell first (reads end at the array's end), then repeats.
        offsets.push_back((cells - 1) * volumes);
        while (offsets.size() < voxels) offsets.push_back(nextRandom(state) % cells * volumes);
        if (!samePaths(ints, offsets, volumes, "16-bit")) ++failures;
        if (!samePaths(floats, offsets, volumes, "float")) ++failures;
      }
    }
  }
  if (failures > 0) {
    std::printf("%d of the comparisons differ\n", failures);
    return 1;
  }
  std::printf("the baseline and AVX2 paths agree bit for bit\n");
  return 0;
}

constexpr int kDimX = 64, kDimY = 64, kDimZ = 40, kVolumes = 1000, kRegionSize = 100000;

// The offsets of the region's voxels: the cells nearest the grid's centre, in
// the grid's order.
std::vector<std::size_t> centralRegion() {
  std::vector<std::pair<double, int>> cells;
  for (int z = 0; z < kDimZ; ++z) {
    for (int y = 0; y < kDimY; ++y) {
      for (int x = 0; x < kDimX; ++x) {
        const double dx = x - kDimX / 2.0, dy = y - kDimY / 2.0, dz = z - kDimZ / 2.0;
        cells.push_back({dx * dx + dy * dy + dz * dz, (z * kDimY + y) * kDimX + x});
      }
    }
  }
  std::nth_element(cells.begin(), cells.begin() + kRegionSize, cells.end());
  std::vector<std::size_t> offsets;
  for (int i = 0; i < kRegionSize; ++i) {
    offsets.push_back(static_cast<std::size_t>(cells[static_cast<std::size_t>(i)].second) *
                      kVolumes);
  }
  std::sort(offsets.begin(), offsets.end());
  return offsets;
}

// The thread's processor time in seconds (Windows counts it in steps of the
// scheduler's tick, which the rounds below are long beside).
double threadSeconds() {
  FILETIME creation, exit, kernel, user;
  GetThreadTimes(GetCurrentThread(), &creation, &exit, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return static_cast<double>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) |
                               t.dwLowDateTime) *
           1e-7;
  };
  return seconds(kernel) + seconds(user);
}

// The ceiling, as in the Linux benchmark: the bytes summed in order as 64-bit
// words.
__attribute__((noinline)) std::uint64_t sumWords(const void* samples, std::size_t bytes) {
  const auto* words = static_cast<const std::uint64_t*>(samples);
  const std::size_t count = bytes / sizeof(std::uint64_t);
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < count; ++i) sum += words[i];
  return sum;
}

double gibPerSecond(double bytes, double seconds) {
  return bytes / seconds / (1024.0 * 1024.0 * 1024.0);
}

template <typename Sample>
void timePaths(const char* what, const std::vector<std::size_t>& offsets) {
  std::vector<Sample> samples(std::size_t{kDimX} * kDimY * kDimZ * kVolumes);
  std::uint32_t state = 12345;
  for (Sample& s : samples)
    s = static_cast<Sample>(static_cast<int>(nextRandom(state) % 4096) - 2048);
  const double bytes = static_cast<double>(offsets.size()) * kVolumes * sizeof(Sample);
  double baseline = 0.0, avx2 = 0.0, sequential = 0.0;
  std::uint64_t sink = 0;
  const int rounds = 20;
  for (int r = 0; r < rounds; ++r) {  // in turns, so that all see the same load
    std::vector<float> sums(kVolumes, 0.0f);
    double start = threadSeconds();
    ppi::analysis::sumOverVoxels(SumPath::baseline, samples.data(), offsets, sums);
    baseline += threadSeconds() - start;
    start = threadSeconds();
    ppi::analysis::sumOverVoxels(SumPath::avx2, samples.data(), offsets, sums);
    avx2 += threadSeconds() - start;
    start = threadSeconds();
    sink += sumWords(samples.data(), static_cast<std::size_t>(bytes));
    sequential += threadSeconds() - start;
    sink += static_cast<std::uint64_t>(sums[0]);
  }
  const double total = bytes * rounds;
  const double ceiling = gibPerSecond(total, sequential);
  std::printf(
      "%s, %d voxels x %d volumes: baseline %.2f GiB/s (%.0f %%), AVX2 %.2f GiB/s (%.0f %%), "
      "sequential sum %.2f GiB/s [%llu]\n",
      what, kRegionSize, kVolumes, gibPerSecond(total, baseline),
      100.0 * gibPerSecond(total, baseline) / ceiling, gibPerSecond(total, avx2),
      100.0 * gibPerSecond(total, avx2) / ceiling, ceiling,
      static_cast<unsigned long long>(sink % 10));
}

}  // namespace

int main(int argc, char** argv) {
  if (!ppi::analysis::pathAvailable(SumPath::avx2)) {
    std::printf("this processor has no AVX2: nothing to compare\n");
    return 77;
  }
  if (argc > 1 && std::string(argv[1]) == "--time") {
    const std::vector<std::size_t> offsets = centralRegion();
    timePaths<std::int16_t>("16-bit", offsets);
    timePaths<float>("float", offsets);
    return 0;
  }
  return compare();
}
