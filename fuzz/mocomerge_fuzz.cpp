// The motion merge over any design (with a fixed, valid motion file) and over
// any motion file (with a fixed, valid design), all in a file system held in
// memory. Whatever the input: no temporary file is left; a merge that says it
// is complete left a merged file that reads back whole with six predictors
// more and the design's rows; one that is not complete said why.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "common/filelayer.h"
#include "common/logsink.h"
#include "formats/mocomerge.h"
#include "formats/mocosdm.h"
#include "formats/sdmfile.h"
#include "tests/support/testfilesystems.h"

namespace {

class CountingLog final : public ppi::LogSink {
 public:
  void text(const char*) override { ++lines; }
  int lines = 0;
};

std::string header(int predictors, int rows, int constant) {
  return "FileVersion: 1\n\nNrOfPredictors: " + std::to_string(predictors) +
         "\nNrOfDataPoints: " + std::to_string(rows) +
         "\nIncludesConstant: " + std::to_string(constant) + "\nFirstConfoundPredictor: 1\n\n";
}

const std::string kDesign = header(3, 4, 1) +
                            "1 2 3\t4 5 6\t7 8 9\n\"PPI_Seed\"\t\"Seed_predictor\"\t\"Constant\"\n"
                            "0.5\t-1\t1\n0.25\t2\t1\n-0.75\t0\t1\n1e-3\t3.5\t1\n";
const std::string kMotion = header(6, 4, 0) +
                            "0 0 0\t1 1 1\t2 2 2\t3 3 3\t4 4 4\t5 5 5\n"
                            "\"a\"\t\"b\"\t\"c\"\t\"d\"\t\"e\"\t\"f\"\n"
                            "0.1\t0.2\t0.3\t0.4\t0.5\t0.6\n1\t2\t3\t4\t5\t6\n"
                            "-1\t0\t1\t0\t-1\t0\n0\t0\t0\t0\t0\t0.5\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const bool fuzzedDesign = (data[0] & 1) == 0;
  const std::int32_t zFlag = (data[0] >> 1) & 1;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);

  ppi::MemoryFileSystem files;
  ppi::ScopedFileSystem scope(files);
  files.setFile("design.sdm", fuzzedDesign ? input : kDesign);
  files.setFile("motion_3DMC.sdm", fuzzedDesign ? kMotion : input);

  CountingLog log;
  ppi::confounds::MoCoSDM moco = ppi::confounds::readMoCoSDM("motion_3DMC.sdm", log);
  const int linesBefore = log.lines;
  const ppi::confounds::MoCoMerge merge =
      ppi::confounds::addMoCoToSDM("design.sdm", moco, zFlag, log);

  for (const std::string& path : files.filePaths()) {
    if (path.size() >= 5 && path.compare(path.size() - 5, 5, ".part") == 0) std::abort();
  }
  std::string merged;
  const bool exists = files.fileContent(merge.mergedPath, merged);
  if (!merge.complete) {
    if (log.lines == linesBefore) std::abort();  // a failure that said nothing
    if (exists) std::abort();                    // nothing is left under the merged name
    return 0;
  }
  std::string design;
  files.fileContent("design.sdm", design);
  std::istringstream designIn(design), mergedIn(merged);
  const auto before = ppi::confounds::readDesignMatrix(designIn);
  const auto after = ppi::confounds::readDesignMatrix(mergedIn);
  if (!exists || !after.complete) std::abort();
  if (after.design.nrOfPredictors != before.design.nrOfPredictors + 6 ||
      after.design.names.size() != static_cast<std::size_t>(after.design.nrOfPredictors) ||
      after.design.nrOfDataPoints != moco.nrOfDataPoints) {
    std::abort();
  }
  return 0;
}
