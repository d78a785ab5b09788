// A whole run ("Start") through the stand-in host's model, in process: 100,
// 300 and 1,000 subjects of 300 volumes each, a 5,000-voxel region (of a
// 20 x 20 x 15 grid of float samples), the standard approach with three
// conditions, multi-study mode, the motion merge and the records and QC
// report on. The subjects are loaded with "Load" beforehand (not timed).
//
// A thousand such time courses hold 7 GB, so the host model makes each
// subject's time course when it is linked, from the subject's number (as a
// host reads a file when it is linked); nothing of a subject stays in memory
// past its turn.
//
// Reported, per number of subjects:
//   per_subject      the run's time per subject;
//   input_per_subject the time to read a subject's inputs: its time course
//                    made as the host makes it at the link, then every sample
//                    read once in order, and its motion file read whole;
//   share_of_inputs  the run's time as a multiple of the inputs' time;
//   cpu_...          the same in processor time, which varies less than the
//                    time on the clock on a machine shared with other work.
// Linear growth shows as a per-subject time that stays the same from 100 to
// 1,000 subjects. The files are written where the temporary folder is
// (TMPDIR): on a disk, every file's flush to the disk is part of the time.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/filelayer.h"
#include "tests/commands/subjectfixtures.h"
#include "tests/formats/sdmfiles.h"
#include "tests/support/fakehost.h"

namespace {

using namespace subjectfixtures;
using Clock = std::chrono::steady_clock;

// Processor time of the process, in seconds: on a machine shared with other
// work it varies less than the time on the clock.
double processorSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

constexpr int kVolumes = 300, kDimX = 20, kDimY = 20, kDimZ = 15, kResolution = 3;
constexpr int kRegionVoxels = 5000;

std::string subjectId(int subject) {
  char id[16];
  std::snprintf(id, sizeof id, "sub-%04d", subject);
  return id;
}

std::string timeCoursePath(int subject) {
  const std::string id = subjectId(subject);
  return "data/" + id + "/func/" + id + "_task-faces_bold.vtc";
}

// The subject's number from its time course's path; 0 for another path.
int subjectOf(const std::string& path) {
  int subject = 0;
  return std::sscanf(path.c_str(), "data/sub-%d/", &subject) == 1 ? subject : 0;
}

// Subject s's time course: noise around 100 in every voxel, the region's
// voxels with a slow wave of the subject's own phase.
standin::TimeCourse makeTimeCourse(int subject) {
  standin::TimeCourse tc;
  tc.nrOfVolumes = kVolumes;
  tc.resolution = kResolution;
  tc.xStart = tc.yStart = tc.zStart = 0;
  tc.xEnd = kDimX * kResolution;
  tc.yEnd = kDimY * kResolution;
  tc.zEnd = kDimZ * kResolution;
  tc.dataType = 2;
  tc.linkedProtocol = "task.prt";
  const std::size_t cells = std::size_t{kDimX} * kDimY * kDimZ;
  tc.floatSamples.resize(cells * kVolumes);
  std::uint32_t state = 2654435761u * static_cast<std::uint32_t>(subject);
  float* sample = tc.floatSamples.data();
  for (std::size_t cell = 0; cell < cells; ++cell) {
    for (int t = 0; t < kVolumes; ++t) {
      state = state * 1664525u + 1013904223u;
      const float noise = static_cast<float>(state >> 8) * (1.0f / 16777216.0f) - 0.5f;
      const float wave = cell < kRegionVoxels ? static_cast<float>((t + subject) % 40) * 0.05f : 0;
      *sample++ = 100.0f + noise + wave;
    }
  }
  return tc;
}

standin::Region seedRegion() {
  standin::Region region;
  region.name = "seed";
  for (int i = 0; i < kRegionVoxels; ++i) {
    const int x = i % kDimX, y = (i / kDimX) % kDimY, z = i / (kDimX * kDimY);
    region.voxels.push_back({x * kResolution, y * kResolution, z * kResolution});
  }
  return region;
}

std::string motionPath(int subject) { return "moco/" + subjectId(subject) + "_3DMC.sdm"; }

// What it takes to read subject s's inputs: its time course made and read
// once, sample by sample, and its motion file read whole.
double readInputs(int subject) {
  const standin::TimeCourse tc = makeTimeCourse(subject);
  double sum = 0.0;
  for (const float value : tc.floatSamples) sum += value;
  std::string motion;
  if (!ppi::readFileBytes(motionPath(subject), motion).ok()) return -1.0;
  return sum + static_cast<double>(motion.size());
}

void wholeRun(benchmark::State& state) {
  const int subjects = static_cast<int>(state.range(0));
  testsupport::PluginHarness harness;
  standin::HostModel& model = harness.model;
  standin::Protocol protocol = makeProtocol({"Faces", "Houses", "Rest"});
  for (int block = 0; block < kVolumes / 30; ++block) {
    protocol.conditions[static_cast<std::size_t>(block % 3)].intervals.push_back(
        {block * 30 + 1, block * 30 + 20});
  }
  model.protocols["task.prt"] = protocol;
  model.regionFiles["seed.voi"] = {1, {seedRegion()}};
  model.timeCourseLoader = [](const std::string& path) -> std::optional<standin::TimeCourse> {
    const int subject = subjectOf(path);
    if (subject == 0) return std::nullopt;
    return makeTimeCourse(subject);
  };
  std::filesystem::create_directories("moco");
  std::filesystem::create_directories("group");
  std::string list;
  for (int s = 1; s <= subjects; ++s) {
    testsupport::writeFile(motionPath(s), sdmfiles::motionFile(6, kVolumes));
    list += timeCoursePath(s) + "\tseed.voi\t0\n";
  }
  testsupport::writeFile("study.ppi", list);
  // The plug-in's echo of the paths it splits is not what is timed.
  std::ostringstream echo;
  std::streambuf* const console = std::cout.rdbuf(echo.rdbuf());
  chooseFile(model, "study.ppi");
  if (!harness.run("Load") || harness.plugin.state.subjectCount() != subjects) {
    std::cout.rdbuf(console);
    state.SkipWithError("Load did not load every subject");
    return;
  }
  model.intParameters["whichapproach"] = 0;
  model.intParameters["saveMDM"] = 1;
  model.intParameters["addMoCo"] = 1;
  model.intParameters["noReport"] = 0;
  model.stringParameters["CondID-0"] = "Faces\tlist2";
  model.stringParameters["CondID-1"] = "Houses\tlist0";
  model.stringParameters["CondID-2"] = "Rest\tlist1";

  double runSeconds = 0.0, inputSeconds = 0.0, runProcessor = 0.0, inputProcessor = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    model.calls.clear();
    model.log.clear();
    echo.str({});
    chooseSaveFile(model, "group/Multistudy_PPI.mdm");
    model.yesNoAnswers.push_back(true);
    for (int s = 1; s <= subjects; ++s) chooseFile(model, motionPath(s));
    const Clock::time_point inputsStart = Clock::now();
    const double inputsProcessorStart = processorSeconds();
    double check = 0.0;
    for (int s = 1; s <= subjects; ++s) check += readInputs(s);
    benchmark::DoNotOptimize(check);
    inputProcessor += processorSeconds() - inputsProcessorStart;
    inputSeconds += std::chrono::duration<double>(Clock::now() - inputsStart).count();
    state.ResumeTiming();

    const Clock::time_point runStart = Clock::now();
    const double runProcessorStart = processorSeconds();
    const bool done = harness.run("Start");
    runProcessor += processorSeconds() - runProcessorStart;
    runSeconds += std::chrono::duration<double>(Clock::now() - runStart).count();
    if (!done || model.intParameters["nr_subs"] != subjects) {
      state.SkipWithError("the run did not complete every subject");
      break;
    }
  }
  std::cout.rdbuf(console);
  const double rounds = static_cast<double>(state.iterations());
  state.counters["per_subject_ms"] = 1e3 * runSeconds / rounds / subjects;
  state.counters["input_per_subject_ms"] = 1e3 * inputSeconds / rounds / subjects;
  state.counters["share_of_inputs"] = runSeconds / inputSeconds;
  state.counters["cpu_per_subject_ms"] = 1e3 * runProcessor / rounds / subjects;
  state.counters["cpu_input_per_subject_ms"] = 1e3 * inputProcessor / rounds / subjects;
  state.counters["cpu_share_of_inputs"] = runProcessor / inputProcessor;
}

BENCHMARK(wholeRun)
    ->ArgName("subjects")
    ->Arg(100)
    ->Arg(300)
    ->Arg(1000)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
