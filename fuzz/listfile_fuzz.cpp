// The list-file reader over any text: each entry is one line of the text, in
// order; an accepted line has two paths the format can hold and an index from
// 0, and written back as a list line it reads back the same; a rejected line
// says why and carries nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "formats/listfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace model = ppi::model;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto lines = model::readListFileText(text);
  std::size_t lineFeeds = 0;
  for (char c : text) lineFeeds += c == '\n';
  if (lines.size() > lineFeeds + 1) std::abort();
  int previous = 0;
  for (const auto& line : lines) {
    if (line.lineNumber <= previous || line.lineNumber > static_cast<int>(lineFeeds) + 1) {
      std::abort();
    }
    previous = line.lineNumber;
    if (line.rejected()) {
      if (line.chosenVOI || !line.vtcPath.empty() || !line.voiPath.empty()) std::abort();
      continue;
    }
    if (!line.chosenVOI || *line.chosenVOI < 0 || line.vtcPath.empty() || line.voiPath.empty() ||
        !model::listCanHoldPath(line.vtcPath) || !model::listCanHoldPath(line.voiPath)) {
      std::abort();
    }
    const auto again =
        model::readListFileText(model::formatListLine(line.vtcPath, line.voiPath, *line.chosenVOI,
                                                      line.motionPath));
    if (again.size() != 1 || again[0].rejected() || again[0].vtcPath != line.vtcPath ||
        again[0].voiPath != line.voiPath || again[0].chosenVOI != line.chosenVOI ||
        again[0].motionPath != line.motionPath) {
      std::abort();
    }
  }
  return 0;
}
