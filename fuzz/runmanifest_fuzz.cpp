// The run manifest's reader over any text: it never fails on a text that is
// no manifest, and what it reads of one is what the text holds. A manifest
// written from what was read reads back the same start, multi-study file and
// report files.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "report/runmanifest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace analysis = ppi::analysis;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // A date is read only when it is the one the writer gives for its seconds.
  std::int64_t seconds = 0;
  const std::string_view date = text.substr(0, 20);
  if (analysis::parseIsoUtc(date, seconds) && analysis::isoUtc(seconds) != date) std::abort();

  const analysis::EarlierRun run = analysis::readRunManifest(text);
  if (!run.read) {
    if (!run.reports.empty() || !run.multiStudyFile.empty()) std::abort();
    return 0;
  }
  analysis::RunManifestInput again;
  again.startedUtc = run.startedUtc;
  again.endedUtc = run.startedUtc;
  again.multiStudyFile = run.multiStudyFile;
  for (const std::string& report : run.reports) again.files.push_back({"report", 0, report, 0});
  const analysis::EarlierRun back = analysis::readRunManifest(analysis::runManifestJson(again));
  if (!back.read || back.startedUtc != run.startedUtc ||
      back.multiStudyFile != run.multiStudyFile || back.reports != run.reports) {
    std::abort();
  }
  return 0;
}
