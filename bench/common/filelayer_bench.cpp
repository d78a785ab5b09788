// The file layer's cost: a merged design matrix of 8 MiB streamed in pieces of
// a value each (as the motion merge writes), an autosave list replaced whole
// and a line appended to it; each through the real file system with flushing
// to disk on and off, and against std::ofstream writing the same pieces.
// Throughput is in bytes written per second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/filelayer.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMergedBytes = 8 << 20;

// A working folder on the machine's ordinary disk, removed at exit.
struct BenchFolder {
  BenchFolder() {
    folder = fs::temp_directory_path() / ("ppi-bench-files-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::string value = "-0.123457\t";
    while (piecesBytes < kMergedBytes) {
      pieces.push_back(value);
      piecesBytes += value.size();
      value[2] = static_cast<char>('0' + pieces.size() % 10);
    }
  }
  ~BenchFolder() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
  std::string path(const char* name) const { return (folder / name).string(); }

  fs::path folder;
  std::vector<std::string> pieces;
  std::size_t piecesBytes = 0;
};

const BenchFolder& benchFolder() {
  static const BenchFolder folder;
  return folder;
}

// range(0): 1 flushes to disk, 0 does not.
std::unique_ptr<ppi::FileSystem> realFiles(const benchmark::State& state) {
  return ppi::makeRealFileSystem(state.range(0) != 0 ? ppi::DiskFlush::on : ppi::DiskFlush::off);
}

void BM_StreamMergedDesign(benchmark::State& state) {
  const BenchFolder& bench = benchFolder();
  auto files = realFiles(state);
  ppi::ScopedFileSystem scope(*files);
  const std::string target = bench.path("merged_3DMC.sdm");
  for (auto _ : state) {
    ppi::ReplacingWriter out;
    ppi::FileResult result = out.begin(target, ppi::TextMode::text);
    for (const std::string& piece : bench.pieces) result = out.write(piece);
    result = out.commit();
    if (!result.ok()) state.SkipWithError(result.reason().c_str());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bench.piecesBytes));
}
BENCHMARK(BM_StreamMergedDesign)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The same pieces through std::ofstream into a temporary file, renamed over
// the target: what the merge did before, without a flush to disk.
void BM_StreamMergedDesignOfstream(benchmark::State& state) {
  const BenchFolder& bench = benchFolder();
  const std::string target = bench.path("merged_3DMC.sdm");
  for (auto _ : state) {
    {
      std::ofstream out(target + ".part", std::ios::out | std::ios::trunc);
      for (const std::string& piece : bench.pieces) out << piece;
    }
    std::rename((target + ".part").c_str(), target.c_str());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bench.piecesBytes));
}
BENCHMARK(BM_StreamMergedDesignOfstream)->Unit(benchmark::kMillisecond);

const std::string kList = [] {
  std::string list;
  for (int subject = 1; subject <= 20; ++subject) {
    list += "/data/study/s" + std::to_string(subject) + "/run1.vtc\t/data/study/s" +
            std::to_string(subject) + "/regions.voi\t0\n";
  }
  return list;
}();

void BM_ReplaceAutosaveList(benchmark::State& state) {
  auto files = realFiles(state);
  ppi::ScopedFileSystem scope(*files);
  const std::string target = benchFolder().path("autosaveList.ppi");
  for (auto _ : state) {
    ppi::FileResult result = ppi::replaceFile(target, kList, ppi::TextMode::text);
    if (!result.ok()) state.SkipWithError(result.reason().c_str());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kList.size()));
}
BENCHMARK(BM_ReplaceAutosaveList)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_AppendAutosaveLine(benchmark::State& state) {
  auto files = realFiles(state);
  ppi::ScopedFileSystem scope(*files);
  const std::string target = benchFolder().path("appended.ppi");
  const std::string line = "/data/study/s21/run1.vtc\t/data/study/s21/regions.voi\t0\n";
  for (auto _ : state) {
    ppi::FileResult result = ppi::appendToFile(target, line, ppi::TextMode::text);
    if (!result.ok()) state.SkipWithError(result.reason().c_str());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * line.size()));
}
BENCHMARK(BM_AppendAutosaveLine)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
