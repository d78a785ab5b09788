// The first eigenvariate of a region of 5,000 voxels over 1,000 volumes (the
// budget: under 300 ms), from 16-bit and float samples, for a region that
// carries one signal in noise of its size and for one of pure noise, where
// the first two eigenvalues lie close and the iteration takes longest. Each
// region's voxels lie at every other cell of the time course.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "numerics/eigenvariate.h"

namespace {

constexpr std::size_t kVoxels = 5000, kVolumes = 1000;

template <typename Sample>
struct Study {
  explicit Study(bool planted) : samples(2 * kVoxels * kVolumes) {
    std::uint32_t state = 99;
    auto noise = [&state] {
      state = state * 1664525u + 1013904223u;
      return static_cast<double>(state >> 8) / 16777216.0 - 0.5;
    };
    for (std::size_t i = 0; i < kVoxels; ++i) {
      offsets.push_back(2 * i * kVolumes);
      const double loading = planted ? 20.0 + 10.0 * noise() : 0.0;
      for (std::size_t t = 0; t < kVolumes; ++t) {
        const double signal = std::sin(0.05 * static_cast<double>(t)) + ((t / 20) % 2 ? 0.5 : -0.5);
        samples[offsets.back() + t] =
            static_cast<Sample>(std::round(1000.0 + loading * signal + 60.0 * noise()));
      }
    }
  }
  std::vector<Sample> samples;
  std::vector<std::size_t> offsets;
};

template <typename Sample>
void eigenvariate(benchmark::State& state, bool planted) {
  static const Study<Sample> plantedStudy(true), noiseStudy(false);
  const Study<Sample>& study = planted ? plantedStudy : noiseStudy;
  int steps = 0;
  for (auto _ : state) {
    ppi::analysis::Eigenvariate e =
        ppi::analysis::firstEigenvariate(study.samples.data(), study.offsets, kVolumes);
    if (!e.ok) {
      state.SkipWithError(e.why.c_str());
      break;
    }
    steps = e.steps;
    benchmark::DoNotOptimize(e.values.data());
  }
  state.counters["steps"] = steps;
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(kVoxels * kVolumes * sizeof(Sample)));
}

void BM_Eigenvariate16BitPlanted(benchmark::State& state) {
  eigenvariate<std::int16_t>(state, true);
}
void BM_Eigenvariate16BitNoise(benchmark::State& state) {
  eigenvariate<std::int16_t>(state, false);
}
void BM_EigenvariateFloatPlanted(benchmark::State& state) { eigenvariate<float>(state, true); }
void BM_EigenvariateFloatNoise(benchmark::State& state) { eigenvariate<float>(state, false); }

BENCHMARK(BM_Eigenvariate16BitPlanted)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Eigenvariate16BitNoise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EigenvariateFloatPlanted)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EigenvariateFloatNoise)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
