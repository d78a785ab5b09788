// Merges a design matrix of 40 predictors (the last the constant) over 2000
// data points with six motion predictors, and copies the same file plainly,
// line by line and whole, for comparison. Throughput is in bytes of the design
// matrix read per second. The merge and the whole-file copy go through the
// file layer's real file system with its flush to disk off (flush:0: the cost
// of the work itself) and on (flush:1: what a researcher waits for).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>

#include "common/filelayer.h"
#include "common/logsink.h"
#include "formats/mocomerge.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPredictors = 40;
constexpr int kDataPoints = 2000;

// A working folder with the design matrix in it, removed at exit.
struct BenchFiles {
  BenchFiles() {
    folder = fs::temp_directory_path() / ("ppi-bench-moco-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    design = (folder / "subject1.sdm").string();
    std::ofstream out(design);
    out << "FileVersion: 1\n\nNrOfPredictors: " << kPredictors
        << "\nNrOfDataPoints: " << kDataPoints
        << "\nIncludesConstant: 1\nFirstConfoundPredictor: " << kPredictors << "\n\n";
    for (int p = 0; p < kPredictors; ++p) out << p * 6 << " 120 " << 255 - p * 6 << '\t';
    out << '\n';
    for (int p = 0; p + 1 < kPredictors; ++p) out << "\"PPI_Condition " << p + 1 << "_FFA\"\t";
    out << "\"Constant\"\t\n";
    std::mt19937_64 random(7);
    std::normal_distribution<double> signal(0.0, 1.0);
    char number[32];
    for (int row = 0; row < kDataPoints; ++row) {
      for (int p = 0; p + 1 < kPredictors; ++p) {
        std::snprintf(number, sizeof number, "%.9g\t", signal(random));
        out << number;
      }
      out << "1\t\n";
    }
    out.close();
    if (!out) throw std::runtime_error("cannot write the design matrix");
    bytes = static_cast<std::int64_t>(fs::file_size(design));

    moco.nrOfPredictors = 6;
    moco.nrOfDataPoints = kDataPoints;
    for (auto& column : moco.values) {
      for (int row = 0; row < kDataPoints; ++row) column.push_back(signal(random) * 0.3);
    }
  }
  ~BenchFiles() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }

  fs::path folder;
  std::string design;
  std::int64_t bytes = 0;
  ppi::confounds::MoCoSDM moco;
};

BenchFiles& files() {
  static BenchFiles instance;
  return instance;
}

// The file layer's real file system, flushing to disk or not (state.range(i)
// non-zero: on), current while the guard lives.
struct RealFiles {
  explicit RealFiles(std::int64_t flush)
      : system(ppi::makeRealFileSystem(flush != 0 ? ppi::DiskFlush::on : ppi::DiskFlush::off)),
        scope(*system) {}
  std::unique_ptr<ppi::FileSystem> system;
  ppi::ScopedFileSystem scope;
};

// The ceiling: the design read whole and written whole to another file through
// the file layer, as the merge reads and writes it.
bool copyOnce(const BenchFiles& bench, const std::string& copy) {
  std::string text;
  return ppi::readFileBytes(bench.design, text).ok() &&
         ppi::replaceFile(copy, text, ppi::TextMode::text).ok();
}

double wallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Merge rounds alternate with as many rounds of the whole-file copy, timed by
// the wall clock apart from the benchmark's own timing: "share_of_ceiling" is
// the merge's bytes per second over the copy's in the same run, which holds up
// better than two separate runs on a machine whose load changes.
constexpr std::int64_t kRoundsPerTurn = 4;

void mergeMotion(benchmark::State& state) {
  BenchFiles& bench = files();
  const int zFlag = static_cast<int>(state.range(0));
  RealFiles real(state.range(1));
  const std::string copy = (bench.folder / "copy_ceiling.sdm").string();
  std::int64_t rounds = 0;
  double mergeSeconds = 0.0, copySeconds = 0.0;
  double turnStart = wallSeconds();
  for (auto _ : state) {
    ppi::confounds::MoCoSDM moco = bench.moco;  // the z-transform works in place
    ppi::NullLog log;
    ppi::confounds::MoCoMerge merge = ppi::confounds::addMoCoToSDM(bench.design, moco, zFlag, log);
    if (!merge.complete) {
      state.SkipWithError("the merge failed");
      break;
    }
    benchmark::DoNotOptimize(merge);
    if (++rounds % kRoundsPerTurn == 0) {
      state.PauseTiming();
      const double mergeEnd = wallSeconds();
      for (std::int64_t r = 0; r < kRoundsPerTurn; ++r) {
        if (!copyOnce(bench, copy)) state.SkipWithError("the copy failed");
      }
      const double copyEnd = wallSeconds();
      mergeSeconds += mergeEnd - turnStart;
      copySeconds += copyEnd - mergeEnd;
      turnStart = wallSeconds();
      state.ResumeTiming();
    }
  }
  state.SetBytesProcessed(state.iterations() * bench.bytes);
  if (mergeSeconds > 0.0) state.counters["share_of_ceiling"] = copySeconds / mergeSeconds;
}
// Arguments: z-transform (0, 1), flush to disk (0 off, 1 on).
BENCHMARK(mergeMotion)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"z", "flush"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The same file read and written line by line, each line flushed as the merge does.
void copyLineByLine(benchmark::State& state) {
  BenchFiles& bench = files();
  const std::string copy = (bench.folder / "copy_lines.sdm").string();
  for (auto _ : state) {
    std::ifstream in(bench.design);
    std::ofstream out(copy, std::ios::out | std::ios::trunc);
    for (std::string line; std::getline(in, line);) {
      out << line << '\n';
      out.flush();
    }
    if (!out) state.SkipWithError("the copy failed");
  }
  state.SetBytesProcessed(state.iterations() * bench.bytes);
}
BENCHMARK(copyLineByLine)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same file read whole and written whole through the file layer.
void copyWhole(benchmark::State& state) {
  BenchFiles& bench = files();
  RealFiles real(state.range(0));
  const std::string copy = (bench.folder / "copy_whole.sdm").string();
  for (auto _ : state) {
    if (!copyOnce(bench, copy)) state.SkipWithError("the copy failed");
  }
  state.SetBytesProcessed(state.iterations() * bench.bytes);
}
BENCHMARK(copyWhole)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("flush")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
