#include "model/listfile.h"

#include <algorithm>
#include <fstream>
#include <sstream>

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
  std::ifstream in(path, std::ios::in | std::ios::binary);
  if (!in.is_open()) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  // An empty file leaves the copy failed without being an error.
  if (in.bad()) return false;
  content = buffer.str();
  return true;
}

namespace {

bool writeFileInMode(const std::string& path, std::string_view content, std::ios::openmode mode) {
  std::ofstream out(path, std::ios::out | std::ios::trunc | mode);
  if (!out.is_open()) return false;
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  return !out.fail();
}

}  // namespace

bool writeWholeFile(const std::string& path, std::string_view content) {
  return writeFileInMode(path, content, std::ios::binary);
}

bool writeListFile(const std::string& path, std::string_view lines) {
  return writeFileInMode(path, lines, std::ios::openmode{});
}

}  // namespace ppi::model
