#include "formats/listfile.h"

#include <algorithm>
#include <sstream>

#include "common/filelayer.h"

namespace ppi::model {

std::string formatListLine(std::string_view vtcPath, std::string_view voiPath, int chosenVOI,
                           std::string_view motionPath) {
  std::string line;
  line.reserve(vtcPath.size() + voiPath.size() + motionPath.size() + 16);
  line.append(vtcPath).append("\t").append(voiPath).append("\t");
  line.append(std::to_string(chosenVOI));
  if (!motionPath.empty()) line.append("\t").append(motionPath);
  line.append("\n");
  return line;
}

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Fields at tabs when the line holds one (kept as they are, so a path keeps
// its blanks); otherwise at runs of blanks.
std::vector<std::string_view> splitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  if (line.find('\t') != std::string_view::npos) {
    std::size_t start = 0;
    while (true) {
      const std::size_t tab = line.find('\t', start);
      fields.push_back(line.substr(start, tab - start));
      if (tab == std::string_view::npos) break;
      start = tab + 1;
    }
    return fields;
  }
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && isBlank(line[i])) ++i;
    const std::size_t start = i;
    while (i < line.size() && !isBlank(line[i])) ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

// A decimal index from 0 that fits an int, or none.
std::optional<int> parseIndex(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

ListFileLine readLine(std::string_view text, int lineNumber) {
  ListFileLine line;
  line.lineNumber = lineNumber;
  // The line end's carriage return belongs to no field (the fourth is a path).
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  const std::vector<std::string_view> fields = splitFields(text);
  if (fields.size() < 3) {
    line.problem = "has " + std::to_string(fields.size()) +
                   (fields.size() == 1 ? " field" : " fields") +
                   "; a line holds the time course, the region file and the region's index";
  } else if (fields.size() > 4) {
    line.problem = "has " + std::to_string(fields.size()) +
                   " fields; a line holds the time course, the region file, the region's "
                   "index and perhaps the motion-estimates file (a path with blanks needs tabs "
                   "between the fields)";
  } else if (fields.size() == 4 && trimmed(fields[3]).empty()) {
    line.problem =
        "has an empty fourth field; it holds the motion-estimates file when there is one";
  } else if (fields.size() == 4 && !listCanHoldPath(fields[3])) {
    line.problem = "has a carriage return inside a path";
  } else if (trimmed(fields[0]).empty() || trimmed(fields[1]).empty()) {
    line.problem =
        trimmed(fields[0]).empty() ? "has no time course path" : "has no region file path";
  } else if (!listCanHoldPath(fields[0]) || !listCanHoldPath(fields[1])) {
    // Only the line's own end may carry a carriage return.
    line.problem = "has a carriage return inside a path";
  } else if (const std::optional<int> index = parseIndex(trimmed(fields[2]))) {
    line.vtcPath = std::string(fields[0]);
    line.voiPath = std::string(fields[1]);
    line.chosenVOI = index;
    if (fields.size() == 4) line.motionPath = std::string(fields[3]);
  } else {
    line.problem = "has the region index \"" + std::string(fields[2].substr(0, 40)) +
                   "\", which is no number from 0";
  }
  return line;
}

}  // namespace

std::vector<ListFileLine> readListFileText(std::string_view text) {
  std::vector<ListFileLine> lines;
  std::size_t start = 0;
  int lineNumber = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    ++lineNumber;
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (trimmed(line).empty()) continue;
    lines.push_back(readLine(line, lineNumber));
  }
  return lines;
}

bool listCanHoldPath(std::string_view path) {
  return path.find_first_of("\t\n\r") == std::string_view::npos;
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
