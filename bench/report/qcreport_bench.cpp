// The QC pieces at the size of a long study: design statistics of 1000
// volumes with 4 PPI terms among 26 predictors (generalized approach, motion
// merged), the QC report's summary of 1 to 1,000 such subjects and one
// subject's page. Report bytes of predictor values per second and the pages'
// sizes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "numerics/designstats.h"
#include "report/qcreport.h"

namespace {

using ppi::analysis::Predictor;
using ppi::analysis::PredictorRole;

constexpr std::size_t kVolumes = 1000;

std::vector<Predictor> design(unsigned seed) {
  std::vector<Predictor> predictors;
  unsigned long long state = seed;
  const auto noise = [&] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<float>(state >> 40) / 16777216.0f - 0.5f;
  };
  const auto series = [&](double period) {
    std::vector<float> values(kVolumes);
    for (std::size_t v = 0; v < kVolumes; ++v) {
      values[v] = static_cast<float>(std::sin(static_cast<double>(v) / period)) + 0.3f * noise();
    }
    return values;
  };
  for (int c = 0; c < 4; ++c) {
    predictors.push_back(
        {"PPI_C" + std::to_string(c) + "_Seed", series(5 + c), PredictorRole::ppiTerm});
  }
  for (int c = 0; c < 4; ++c) {
    predictors.push_back({"C" + std::to_string(c), series(9 + c), PredictorRole::task});
  }
  predictors.push_back({"Seed_predictor", series(13), PredictorRole::regionSignal});
  for (int m = 0; m < 16; ++m) {
    predictors.push_back({"Motion " + std::to_string(m), series(40 + m), PredictorRole::motion});
  }
  predictors.push_back({"Constant", std::vector<float>(kVolumes, 1.0f), PredictorRole::other});
  return predictors;
}

void BM_DesignStats(benchmark::State& state) {
  const std::vector<Predictor> predictors = design(1);
  for (auto _ : state) {
    auto stats = ppi::analysis::computeDesignStats(predictors);
    benchmark::DoNotOptimize(stats.vifs.data());
  }
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations() * predictors.size() * kVolumes * sizeof(float)));
}
BENCHMARK(BM_DesignStats)->Unit(benchmark::kMillisecond);

ppi::analysis::QcReportInput study(int subjects) {
  ppi::analysis::QcReportInput input;
  input.subjectsListed = subjects;
  for (int s = 0; s < subjects; ++s) {
    ppi::analysis::SubjectReport subject;
    subject.predictors = design(static_cast<unsigned>(s + 1));
    subject.stats = ppi::analysis::computeDesignStats(subject.predictors);
    subject.boxCars.push_back({"C0", 1, std::vector<float>(kVolumes, 0.0f)});
    for (std::size_t v = 0; v < kVolumes; v += 40) {
      for (std::size_t k = v; k < v + 12 && k < kVolumes; ++k) subject.boxCars[0].values[k] = 1;
    }
    input.subjects.push_back(std::move(subject));
  }
  return input;
}

void BM_QcSummary(benchmark::State& state) {
  const ppi::analysis::QcReportInput input = study(static_cast<int>(state.range(0)));
  const ppi::analysis::QcReportLinks links{"PPI_report",
                                           std::vector<bool>(input.subjects.size(), true)};
  std::size_t size = 0;
  for (auto _ : state) {
    const std::string html = ppi::analysis::qcSummaryHtml(input, links);
    size = html.size();
    benchmark::DoNotOptimize(html.data());
  }
  state.counters["MiB"] = static_cast<double>(size) / (1 << 20);
}
BENCHMARK(BM_QcSummary)->Arg(1)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_QcSubjectPage(benchmark::State& state) {
  const ppi::analysis::QcReportInput input = study(1);
  std::size_t size = 0;
  for (auto _ : state) {
    const std::string html = ppi::analysis::qcSubjectHtml(input, 0, "PPI_report.html");
    size = html.size();
    benchmark::DoNotOptimize(html.data());
  }
  state.counters["MiB"] = static_cast<double>(size) / (1 << 20);
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations() * 26 * kVolumes * sizeof(float)));
}
BENCHMARK(BM_QcSubjectPage)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
