// The motion-estimates reader over any file content. It reads a path, so each
// input is written to one file in a folder of this process's own. No host is
// bound: the reader's log lines go nowhere.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "confounds/mocosdm.h"
#include "host/hostapi.h"

namespace {

std::string inputPath() {
  namespace fs = std::filesystem;
  const fs::path shared = "/dev/shm";  // memory-backed where there is one
  const fs::path base = fs::is_directory(shared) ? shared : fs::temp_directory_path();
  const fs::path folder = base / ("ppi-fuzz-mocosdm-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  return (folder / "motion.sdm").string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = inputPath();
  if (ppi::host::hasHostFunction(ppi::host::HostFunction::nkLogText)) std::abort();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
    std::abort();
  }
  const ppi::MoCoSDM moco = ppi::readMoCoSDM(path);
  if (moco.valid) {
    if (moco.nrOfPredictors < ppi::kMotionPredictorCount || moco.nrOfDataPoints < 0) std::abort();
    for (const auto& column : moco.values) {
      if (column.size() != static_cast<std::size_t>(moco.nrOfDataPoints)) std::abort();
    }
  }
  return 0;
}
