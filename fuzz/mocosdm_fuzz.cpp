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
#include <system_error>

#include "formats/mocosdm.h"
#include "host/hostapi.h"

namespace {

namespace fs = std::filesystem;

// The file each input is written to, in a folder removed when the process ends.
struct InputFile {
  InputFile() {
    const fs::path shared = "/dev/shm";  // memory-backed where there is one
    folder = (fs::is_directory(shared) ? shared : fs::temp_directory_path()) /
             ("ppi-fuzz-mocosdm-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    path = (folder / "motion.sdm").string();
  }
  ~InputFile() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
  fs::path folder;
  std::string path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const InputFile input;
  const std::string& path = input.path;
  if (ppi::host::hasHostFunction(ppi::host::HostFunction::nkLogText)) std::abort();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
    std::abort();
  }
  ppi::NullLog log;
  const ppi::confounds::MoCoSDM moco = ppi::confounds::readMoCoSDM(path, log);
  if (moco.valid) {
    if (moco.nrOfPredictors < ppi::confounds::kMotionPredictorCount || moco.nrOfDataPoints < 0) std::abort();
    for (const auto& column : moco.values) {
      if (column.size() != static_cast<std::size_t>(moco.nrOfDataPoints)) std::abort();
    }
  }
  return 0;
}
