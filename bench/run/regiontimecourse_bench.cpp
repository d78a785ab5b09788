// The region time course of a 64 x 64 x 40 grid with 1000 volumes, for regions
// of 100, 10,000 and 100,000 voxels and both sample types, next to a plain
// sequential sum over as many bytes of the same samples: the memory-bandwidth
// ceiling of the machine it runs on. Both report bytes of samples per second;
// the region benchmarks also time the sequential sum themselves, in turns with
// their own rounds, and report their speed as a share of it
// ("share_of_ceiling"), which holds up better than two separate runs on a
// machine whose load changes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "run/regiontimecourse.h"
#include "host/hostapi.h"
#include "tests/support/fakehost.h"

namespace {

constexpr int kDimX = 64, kDimY = 64, kDimZ = 40, kVolumes = 1000, kResolution = 3;
constexpr int kXStart = 57, kYStart = 52, kZStart = 59;
const int kRegionSizes[] = {100, 10000, 100000};

// The voxels of a region of `size` cells: those nearest the grid's centre,
// listed x fastest, then y, then z, in the time course's coordinates.
standin::Region centralRegion(int size) {
  struct Cell {
    double distance;
    int index;
  };
  std::vector<Cell> cells;
  for (int z = 0; z < kDimZ; ++z) {
    for (int y = 0; y < kDimY; ++y) {
      for (int x = 0; x < kDimX; ++x) {
        double dx = x - kDimX / 2.0, dy = y - kDimY / 2.0, dz = z - kDimZ / 2.0;
        cells.push_back({dx * dx + dy * dy + dz * dz, (z * kDimY + y) * kDimX + x});
      }
    }
  }
  std::nth_element(cells.begin(), cells.begin() + size, cells.end(),
                   [](const Cell& a, const Cell& b) { return a.distance < b.distance; });
  std::vector<int> chosen;
  for (int i = 0; i < size; ++i) chosen.push_back(cells[static_cast<std::size_t>(i)].index);
  std::sort(chosen.begin(), chosen.end());
  standin::Region region;
  region.name = "R" + std::to_string(size);
  for (int index : chosen) {
    int x = index % kDimX, y = (index / kDimX) % kDimY, z = index / (kDimX * kDimY);
    region.voxels.push_back(
        {kXStart + x * kResolution, kYStart + y * kResolution, kZStart + z * kResolution});
  }
  return region;
}

// A host holding one linked time course of the given sample type and a VOI
// file with one region per size, and the subject's records as the host
// reports them.
struct Study {
  explicit Study(std::int32_t dataType) {
    standin::TimeCourse tc;
    tc.nrOfVolumes = kVolumes;
    tc.xStart = kXStart;
    tc.xEnd = kXStart + kDimX * kResolution;
    tc.yStart = kYStart;
    tc.yEnd = kYStart + kDimY * kResolution;
    tc.zStart = kZStart;
    tc.zEnd = kZStart + kDimZ * kResolution;
    tc.resolution = kResolution;
    tc.dataType = dataType;
    const std::size_t count = std::size_t{kDimX} * kDimY * kDimZ * kVolumes;
    std::uint32_t state = 12345;
    auto next = [&state] {
      state = state * 1664525u + 1013904223u;
      return static_cast<int>(state >> 20) - 2048;
    };
    if (dataType == 1) {
      tc.intSamples.resize(count);
      for (auto& s : tc.intSamples) s = static_cast<std::int16_t>(next());
    } else {
      tc.floatSamples.resize(count);
      for (auto& s : tc.floatSamples) s = static_cast<float>(next()) * 0.37f;
    }
    host.model.timeCourses["bench.vtc"] = std::move(tc);
    standin::RegionFile regions;
    for (int size : kRegionSizes) regions.regions.push_back(centralRegion(size));
    host.model.regionFiles["bench.voi"] = std::move(regions);

    if (!host.bind() || !ppi::host::linkVTCToCurrentVMR("bench.vtc") ||
        !ppi::host::getHeaderOfVTCOfCurrentVMR(subject.header) ||
        !ppi::host::loadVOIs("bench.voi") || !ppi::host::getVOIs(subjectVOI.voiSet)) {
      throw std::runtime_error("the stand-in host did not take the study");
    }
    host.model.timeCourses.clear();  // the linked copy is the one read
    subject.nrOfVolumes = subject.header.nrOfVolumes();
    samples = dataType == 1 ? static_cast<const void*>(ppi::host::getVTCIntData())
                            : static_cast<const void*>(ppi::host::getVTCFloatData());
    sampleSize = dataType == 1 ? sizeof(std::int16_t) : sizeof(float);
  }

  // The host records every call; keep that record from growing without end.
  void forgetCalls() {
    host.model.calls.clear();
    host.model.log.clear();
  }

  testsupport::FakeHost host;
  ppi::model::Subject whole;
  ppi::model::SubjectRecord& subject = whole.timeCourse;
  ppi::model::SubjectVOIRecord& subjectVOI = whole.region;
  const void* samples = nullptr;
  std::size_t sampleSize = 0;
};

Study& study(std::int32_t dataType) {
  static std::unique_ptr<Study> sixteenBit, floats;
  std::unique_ptr<Study>& held = dataType == 1 ? sixteenBit : floats;
  if (!held) {
    (dataType == 1 ? floats : sixteenBit).reset();  // one grid in memory at a time
    held = std::make_unique<Study>(dataType);
  }
  return *held;
}

// The ceiling's loop: the bytes summed in order as 64-bit words.
std::uint64_t sumWords(const void* samples, std::size_t bytes) {
  const auto* words = static_cast<const std::uint64_t*>(samples);
  const std::size_t count = bytes / sizeof(std::uint64_t);
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < count; ++i) sum += words[i];
  return sum;
}

// Processor time, as Google Benchmark counts it.
double processorSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// Region rounds and rounds of the ceiling alternate in blocks of at least
// this many bytes of samples each (a pause in timing costs little beside it).
constexpr std::int64_t kBlockBytes = std::int64_t{16} << 20;

void regionTimeCourse(benchmark::State& state, std::int32_t dataType) {
  Study& s = study(dataType);
  const int sizeIndex = static_cast<int>(state.range(0));
  s.subjectVOI.chosenVOI = sizeIndex;
  const std::int64_t bytes =
      std::int64_t{kRegionSizes[sizeIndex]} * kVolumes * static_cast<std::int64_t>(s.sampleSize);
  const std::int64_t block = std::max<std::int64_t>(1, kBlockBytes / bytes);
  ppi::analysis::RegionTimeCourse region;
  std::int64_t rounds = 0;
  double regionSeconds = 0.0, ceilingSeconds = 0.0;
  double blockStart = processorSeconds();
  for (auto _ : state) {
    if (!ppi::analysis::computeRegionTimeCourse(s.whole, region).ok()) {
      state.SkipWithError("the region time course failed");
      break;
    }
    benchmark::DoNotOptimize(region.values.data());
    if (++rounds % block == 0) {
      state.PauseTiming();
      const double regionEnd = processorSeconds();
      for (std::int64_t r = 0; r < block; ++r) {
        benchmark::DoNotOptimize(sumWords(s.samples, static_cast<std::size_t>(bytes)));
      }
      const double ceilingEnd = processorSeconds();
      regionSeconds += regionEnd - blockStart;
      ceilingSeconds += ceilingEnd - regionEnd;
      s.forgetCalls();
      blockStart = processorSeconds();
      state.ResumeTiming();
    }
  }
  state.SetBytesProcessed(state.iterations() * bytes);
  state.counters["voxels"] = kRegionSizes[sizeIndex];
  // The region's speed over the whole blocks as a share of the ceiling's over
  // the blocks of the same bytes between them.
  if (regionSeconds > 0.0) state.counters["share_of_ceiling"] = ceilingSeconds / regionSeconds;
  s.forgetCalls();
}

// The ceiling: the same number of bytes of the same sample array, summed in
// order as 64-bit words.
void sequentialSum(benchmark::State& state, std::int32_t dataType) {
  Study& s = study(dataType);
  const int sizeIndex = static_cast<int>(state.range(0));
  const std::size_t bytes =
      std::size_t{static_cast<std::size_t>(kRegionSizes[sizeIndex])} * kVolumes * s.sampleSize;
  for (auto _ : state) benchmark::DoNotOptimize(sumWords(s.samples, bytes));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
  state.counters["voxels"] = kRegionSizes[sizeIndex];
}

void BM_RegionTimeCourse16Bit(benchmark::State& state) { regionTimeCourse(state, 1); }
void BM_SequentialSum16Bit(benchmark::State& state) { sequentialSum(state, 1); }
void BM_RegionTimeCourseFloat(benchmark::State& state) { regionTimeCourse(state, 2); }
void BM_SequentialSumFloat(benchmark::State& state) { sequentialSum(state, 2); }

// Arguments index kRegionSizes. Each sample type's pair runs together, so the
// grid of the other type is not held meanwhile.
BENCHMARK(BM_RegionTimeCourse16Bit)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SequentialSum16Bit)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RegionTimeCourseFloat)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SequentialSumFloat)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
