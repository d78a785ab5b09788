// A GUI list split into parts and joined again, over any text and any part
// size: a list that splits has parts of whole lines within the limit, every
// part but the last one full, and joins back to itself; one that does not
// split has a line longer than the limit. Joining parts that were not split
// from one list never reads past them and gives either the whole join or the
// first part.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/paths.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t limit = 1 + data[0] % 64;
  const std::string_view list(reinterpret_cast<const char*>(data + 1), size - 1);

  std::vector<std::string> parts;
  if (ppi::splitListParts(list, parts, limit)) {
    if (parts.empty()) std::abort();
    for (std::size_t k = 0; k < parts.size(); ++k) {
      if (parts[k].size() > limit) std::abort();
      if (k + 1 < parts.size() && !ppi::partIsFull(parts[k], parts[k + 1], limit)) std::abort();
    }
    if (ppi::joinListParts(parts, limit) != list) std::abort();
  } else {
    bool longLine = false;
    std::size_t start = 0;
    while (start <= list.size()) {
      const std::size_t end = std::min(list.find('\n', start), list.size());
      longLine = longLine || end - start > limit;
      start = end + 1;
    }
    if (!longLine || !parts.empty()) std::abort();
  }

  // The same bytes read as parts someone else wrote (cut at every "\t").
  std::vector<std::string> foreign(1);
  for (char c : list) {
    if (c == '\t') {
      foreign.emplace_back();
    } else {
      foreign.back() += c;
    }
  }
  const std::string joined = ppi::joinListParts(foreign, limit);
  std::string whole = foreign.front();
  for (std::size_t k = 1; k < foreign.size(); ++k) whole += '\n' + foreign[k];
  if (joined != foreign.front() && joined != whole) std::abort();
  return 0;
}
