#include "common/paths.h"

#include <iostream>

namespace ppi {

SplitPath splitPath(std::string_view path) {
  std::cout << "Splitting: " << path << "\n";
  SplitPath parts;
  std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) {
    parts.directory = std::string(path);
    parts.fileName = std::string(path);
  } else {
    parts.directory = std::string(path.substr(0, slash));
    parts.fileName = std::string(path.substr(slash + 1));
  }
  std::cout << " path: " << parts.directory << "\n file: " << parts.fileName << "\n";
  return parts;
}

bool appendLine(std::string_view line, ListText& list) {
  std::string joined = list.str();
  if (!joined.empty()) joined += '\n';
  joined += line;
  return list.assign(joined);
}

}  // namespace ppi

namespace ppi {

std::size_t countListEntries(std::string_view list) {
  if (list.empty()) return 0;
  std::size_t separators = 0;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i] == '\n') {
      ++separators;
      ++i;  // the next character opens the new entry, whatever it is
    }
  }
  return separators + (list.size() > 2 ? 1 : 0);
}

}  // namespace ppi
