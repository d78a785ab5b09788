#include "model/listfile.h"

#include <algorithm>
#include <sstream>

#include "common/filelayer.h"

namespace ppi::model {

std::string formatListLine(std::string_view vtcPath, std::string_view voiPath, int chosenVOI) {
  std::string line;
  line.reserve(vtcPath.size() + voiPath.size() + 16);
  line.append(vtcPath).append("\t").append(voiPath).append("\t");
  line.append(std::to_string(chosenVOI)).append("\n");
  return line;
}

std::vector<ListFileLine> readListFileText(std::string_view text) {
  const auto attempts = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  std::istringstream in{std::string(text)};
  std::vector<ListFileLine> lines;
  lines.reserve(attempts);
  for (std::size_t i = 0; i < attempts; ++i) {
    // A failed read leaves the stream failed, so every later read fails too.
    ListFileLine line;
    if (!(in >> line.vtcPath)) line.vtcPath.clear();
    if (!(in >> line.voiPath)) line.voiPath.clear();
    int index = 0;
    if (in >> index) line.chosenVOI = index;
    lines.push_back(std::move(line));
  }
  return lines;
}

bool readWholeFile(const std::string& path, std::string& content) {
  return readFileBytes(path, content).ok();
}

bool writeWholeFile(const std::string& path, std::string_view content) {
  return replaceFile(path, content, TextMode::binary).ok();
}

bool writeListFile(const std::string& path, std::string_view lines) {
  return replaceFile(path, lines, TextMode::text).ok();
}

}  // namespace ppi::model
