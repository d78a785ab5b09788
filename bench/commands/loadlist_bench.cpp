// "Load" of a list file of 1,000 and 10,000 lines through the stand-in host's
// model, in process: every line a distinct subject with a 150-character time
// course path (tiny documents, so the list's own handling is what is timed),
// and the same lists with every second line refused (its region file is
// missing). Reports the time per line; a cost that grows with the list shows
// as a per-line time that grows from the short list to the long one.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "tests/commands/subjectfixtures.h"
#include "tests/support/fakehost.h"

namespace {

using namespace subjectfixtures;

void loadList(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  const bool halfRefused = state.range(1) != 0;
  testsupport::PluginHarness harness;
  standin::HostModel& model = harness.model;
  addProtocol(model, "task.prt", {"Faces", "Rest"});
  addRegionFile(model, "seed.voi", {"FFA"});
  std::string list;
  for (int s = 1; s <= lines; ++s) {
    char id[16];
    std::snprintf(id, sizeof id, "sub-%05d", s);
    const std::string tail = std::string("/") + id + "/func/" + id + "_task-faces_bold.vtc";
    const std::string path = "/data/imaging/" + std::string(150 - 14 - tail.size(), 'p') + tail;
    addTimeCourse(model, path, 10, "task.prt");
    list += path + "\t" + (halfRefused && s % 2 == 0 ? "gone.voi" : "seed.voi") + "\t0\n";
  }
  testsupport::writeFile("study.ppi", list);
  // The plug-in's echo of the paths it splits is not what is timed.
  std::ostringstream echo;
  std::streambuf* const console = std::cout.rdbuf(echo.rdbuf());
  for (auto _ : state) {
    chooseFile(model, "study.ppi");
    model.calls.clear();
    model.log.clear();
    echo.str({});
    if (!harness.run("Load")) state.SkipWithError("Load failed");
  }
  std::cout.rdbuf(console);
  state.counters["subjects"] = static_cast<double>(harness.plugin.state.subjectCount());
  state.counters["per_line"] = benchmark::Counter(
      static_cast<double>(lines), benchmark::Counter::kIsIterationInvariantRate |
                                      benchmark::Counter::kInvert);
}

BENCHMARK(loadList)
    ->ArgsProduct({{1000, 10000}, {0, 1}})
    ->ArgNames({"lines", "half_refused"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
