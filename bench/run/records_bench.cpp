// One subject of 1,200 volumes through "Start" under the generalized approach
// with 25, 100 and 300 conditions (every condition from the baseline 0 gets a
// task regressor and a PPI term: 2 C + 2 predictors), with the records and the
// QC report ("noReport" 0) and without them ("noReport" 1). Each round runs
// the whole command through the fake host over the stand-in host model in a
// fresh working folder; adding the subject is not timed. The records' cost is
// the difference of the two; the aim is within 2x of "noReport" 1 at 300
// conditions.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <string>

#include "tests/support/studyfixture.h"

namespace {

constexpr int kVolumes = 1200;

analysistest::SubjectSetup subject(int conditions) {
  analysistest::SubjectSetup setup = analysistest::numberedSubject(1);
  setup.grid.nrOfVolumes = kVolumes;
  setup.protocol.conditions.clear();
  // Condition c in two blocks of two volumes, one in each half of the run,
  // the volumes between them at rest.
  const int spacing = kVolumes / 2 / conditions;
  for (int c = 0; c < conditions; ++c) {
    const int first = 1 + c * spacing;
    const int second = first + kVolumes / 2;
    setup.protocol.conditions.push_back(
        {"C" + std::to_string(c + 1), {{first, first + 1}, {second, second + 1}}});
  }
  return setup;
}

void BM_StartGeneralized(benchmark::State& state) {
  const int conditions = static_cast<int>(state.range(0));
  const int noReport = static_cast<int>(state.range(1));
  const analysistest::SubjectSetup setup = subject(conditions);
  for (auto _ : state) {
    state.PauseTiming();
    auto harness = std::make_unique<testsupport::PluginHarness>();
    analysistest::addSubject(*harness, setup);
    standin::HostModel& model = harness->model;
    model.intParameters["whichapproach"] = 1;
    model.intParameters["baseline"] = 0;
    model.intParameters["noReport"] = noReport;
    model.saveFileAnswers.push_back({true, "design.sdm"});
    state.ResumeTiming();
    const bool ran = harness->run("Start");
    state.PauseTiming();
    if (!ran) state.SkipWithError("Start did not complete");
    harness.reset();
    state.ResumeTiming();
  }
  state.counters["predictors"] = 2.0 * conditions + 2;
}
BENCHMARK(BM_StartGeneralized)
    ->ArgNames({"conditions", "noReport"})
    ->Args({25, 0})
    ->Args({25, 1})
    ->Args({100, 0})
    ->Args({100, 1})
    ->Args({300, 0})
    ->Args({300, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
