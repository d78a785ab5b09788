// The list-file reader over any text: one entry per line feed, and once a read
// has failed every later one fails too.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "model/listfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto lines = ppi::model::readListFileText(text);
  std::size_t lineFeeds = 0;
  for (char c : text) lineFeeds += c == '\n';
  if (lines.size() != lineFeeds) std::abort();
  bool failed = false;
  for (const auto& line : lines) {
    if (failed && (line.chosenVOI || !line.vtcPath.empty() || !line.voiPath.empty())) std::abort();
    failed = failed || !line.chosenVOI;
  }
  return 0;
}
