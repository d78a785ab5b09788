// Times the motion merge of a design of 40 predictors (the last the constant)
// over 2000 data points against a whole-file copy of it through the file
// layer, as bench/formats/mocomerge_bench.cpp does on Linux, as a plain
// Windows program (the Windows build has no benchmark library). Prints the
// wall-clock bytes of the design per second of both, and the merge's share of
// the copy's, with the flush to disk off and on. Run by hand:
//   wine build-windows/tests/windows/mocomergetime.exe [folder]
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <string>

#include "common/filelayer.h"
#include "common/logsink.h"
#include "formats/mocomerge.h"

namespace {

constexpr int kPredictors = 40;
constexpr int kDataPoints = 2000;
constexpr int kRounds = 20;

std::string designText(std::mt19937_64& random) {
  std::normal_distribution<double> signal(0.0, 1.0);
  std::string text =
      "FileVersion: 1\n\nNrOfPredictors: " + std::to_string(kPredictors) +
      "\nNrOfDataPoints: " + std::to_string(kDataPoints) +
      "\nIncludesConstant: 1\nFirstConfoundPredictor: " + std::to_string(kPredictors) + "\n\n";
  for (int p = 0; p < kPredictors; ++p) {
    text += std::to_string(p * 6) + " 120 " + std::to_string(255 - p * 6) + "\t";
  }
  text += "\n";
  for (int p = 0; p + 1 < kPredictors; ++p)
    text += "\"PPI_Condition " + std::to_string(p + 1) + "_FFA\"\t";
  text += "\"Constant\"\t\n";
  char number[32];
  for (int row = 0; row < kDataPoints; ++row) {
    for (int p = 0; p + 1 < kPredictors; ++p) {
      std::snprintf(number, sizeof number, "%.9g\t", signal(random));
      text += number;
    }
    text += "1\t\n";
  }
  return text;
}

double seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? std::string(argv[1]) + "\\" : std::string();
  const std::string design = folder + "mocomergetime.sdm";
  const std::string copy = folder + "mocomergetime_copy.sdm";
  std::mt19937_64 random(7);
  const std::string text = designText(random);
  if (!ppi::replaceFile(design, text, ppi::TextMode::binary).ok()) {
    std::printf("cannot write %s\n", design.c_str());
    return 1;
  }
  std::normal_distribution<double> signal(0.0, 1.0);
  ppi::confounds::MoCoSDM moco;
  moco.nrOfPredictors = 6;
  moco.nrOfDataPoints = kDataPoints;
  for (auto& column : moco.values) {
    for (int row = 0; row < kDataPoints; ++row) column.push_back(signal(random) * 0.3);
  }
  const double megabytes = static_cast<double>(text.size()) / 1e6;
  for (ppi::DiskFlush flush : {ppi::DiskFlush::off, ppi::DiskFlush::on}) {
    std::unique_ptr<ppi::FileSystem> system = ppi::makeRealFileSystem(flush);
    ppi::ScopedFileSystem scope(*system);
    double mergeTime = 0.0, copyTime = 0.0;
    for (int round = 0; round < kRounds; ++round) {  // in turns, as the load changes
      const double start = seconds();
      ppi::confounds::MoCoSDM record = moco;
      ppi::NullLog log;
      if (!ppi::confounds::addMoCoToSDM(design, record, 0, log).complete) {
        std::printf("the merge failed\n");
        return 1;
      }
      const double middle = seconds();
      std::string read;
      if (!ppi::readFileBytes(design, read).ok() ||
          !ppi::replaceFile(copy, read, ppi::TextMode::text).ok()) {
        std::printf("the copy failed\n");
        return 1;
      }
      const double end = seconds();
      mergeTime += middle - start;
      copyTime += end - middle;
    }
    std::printf("flush %s: mergeMotion %.1f MB/s, copyWhole %.1f MB/s, share_of_ceiling %.3f\n",
                flush == ppi::DiskFlush::on ? "on " : "off", megabytes * kRounds / mergeTime,
                megabytes * kRounds / copyTime, copyTime / mergeTime);
  }
  // Tidying up: a file left behind harms nothing.
  (void)ppi::removeRegularFile(design);
  (void)ppi::removeRegularFile(copy);
  (void)ppi::removeRegularFile(
      ppi::confounds::insertFileSuffix(design, ppi::confounds::kMoCoSuffix));
  return 0;
}
