// Deconvolution of a region signal, the choice of the penalty weight by GCV
// included, for runs of 500 to 4,000 volumes and the host's kernels at TR 1 s
// (33 lags) and 2 s (17 lags). The budget: 2,000 volumes under 50 ms.
// Then the factor's centring weights for the penalty chosen, for a design of
// two task columns, which the neural level computes once per subject.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "numerics/deconvolution.h"
#include "standin/hrf.h"

namespace {

// Blocks of 12 volumes convolved with the kernel, plus a fixed pseudo-random
// noise of a third of the signal's size.
std::vector<float> boldSignal(std::size_t volumes, const std::vector<double>& kernel) {
  std::vector<double> neural(volumes);
  for (std::size_t t = 0; t < volumes; ++t) neural[t] = (t / 12) % 2 == 0 ? 0.0 : 1.0;
  std::vector<float> bold(volumes);
  std::uint32_t state = 2024;
  for (std::size_t t = 0; t < volumes; ++t) {
    double sum = 0.0;
    for (std::size_t k = 0; k < kernel.size() && k <= t; ++k) sum += kernel[k] * neural[t - k];
    state = state * 1664525u + 1013904223u;
    const double noise = static_cast<double>(state >> 8) / 16777216.0 - 0.5;
    bold[t] = static_cast<float>(sum + 0.4 * noise);
  }
  return bold;
}

void BM_Deconvolve(benchmark::State& state) {
  const std::size_t volumes = static_cast<std::size_t>(state.range(0));
  const std::vector<double> kernel = standin::twoGammaKernel(static_cast<double>(state.range(1)));
  const std::vector<float> bold = boldSignal(volumes, kernel);
  for (auto _ : state) {
    ppi::analysis::NeuralEstimate estimate = ppi::analysis::deconvolve(bold, kernel);
    if (!estimate.ok) {
      state.SkipWithError(estimate.why.c_str());
      break;
    }
    benchmark::DoNotOptimize(estimate.values.data());
  }
  state.counters["volumes"] = static_cast<double>(volumes);
  state.counters["lags"] = static_cast<double>(kernel.size());
}

// Arguments: volumes, repetition time in ms.
BENCHMARK(BM_Deconvolve)
    ->ArgsProduct({{500, 1000, 2000, 4000}, {1000, 2000}})
    ->Unit(benchmark::kMillisecond);

void BM_CouplingWeights(benchmark::State& state) {
  const std::size_t volumes = static_cast<std::size_t>(state.range(0));
  const std::vector<double> kernel = standin::twoGammaKernel(static_cast<double>(state.range(1)));
  const std::vector<float> bold = boldSignal(volumes, kernel);
  const ppi::analysis::NeuralEstimate estimate = ppi::analysis::deconvolve(bold, kernel);
  // Two task columns: the blocks and their complement, convolved.
  std::vector<std::vector<float>> columns(2, std::vector<float>(volumes, 0.0f));
  for (std::size_t t = 0; t < volumes; ++t) {
    for (std::size_t k = 0; k < kernel.size() && k <= t; ++k) {
      const bool on = ((t - k) / 12) % 2 == 1;
      columns[on ? 0 : 1][t] += static_cast<float>(kernel[k]);
    }
  }
  for (auto _ : state) {
    const std::vector<double> weights =
        ppi::analysis::couplingWeights(bold, columns, kernel, estimate.lambda);
    benchmark::DoNotOptimize(weights.data());
  }
  state.counters["volumes"] = static_cast<double>(volumes);
  state.counters["lags"] = static_cast<double>(kernel.size());
}

BENCHMARK(BM_CouplingWeights)
    ->ArgsProduct({{500, 1000, 2000, 4000}, {1000, 2000}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
