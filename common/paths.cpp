#include "common/paths.h"

#include <algorithm>
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

namespace ppi {

std::string listPartName(std::string_view name, std::size_t part) {
  std::string key(name);
  if (part > 1) key += "-" + std::to_string(part);
  return key;
}

std::string listCountName(std::string_view name) { return std::string(name) + kListPartsSuffix; }

bool splitListParts(std::string_view list, std::vector<std::string>& parts, std::size_t limit) {
  parts.clear();
  while (list.size() > limit) {
    // The last line feed that ends a part within the limit.
    const std::size_t cut = list.rfind('\n', limit);
    if (cut == std::string_view::npos) {
      parts.clear();
      return false;
    }
    parts.emplace_back(list.substr(0, cut));
    list.remove_prefix(cut + 1);
  }
  parts.emplace_back(list);
  return true;
}

bool partIsFull(std::string_view part, std::string_view next, std::size_t limit) {
  const std::size_t firstLine = std::min(next.find('\n'), next.size());
  return part.size() <= limit && part.size() + 1 + firstLine > limit;
}

std::string joinListParts(const std::vector<std::string>& parts, std::size_t limit) {
  if (parts.empty()) return {};
  std::size_t size = 0;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    if (parts[k].size() > limit ||
        (k + 1 < parts.size() && !partIsFull(parts[k], parts[k + 1], limit))) {
      return parts.front();
    }
    size += parts[k].size() + 1;
  }
  std::string list;
  list.reserve(size);
  for (std::size_t k = 0; k < parts.size(); ++k) {
    if (k > 0) list += '\n';
    list += parts[k];
  }
  return list;
}

}  // namespace ppi
