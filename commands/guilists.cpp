#include "commands/guilists.h"

#include "common/paths.h"
#include "host/hostapi.h"

namespace ppi::commands {
namespace {

// The parts the count names, or "<name>" alone when it names fewer than 2.
// Reading stops at a part that its predecessor would have had room for: the
// count is then not this list's (however large a script set it), and the
// parts read so far show it to joinListParts.
std::vector<std::string> readParts(const char* name) {
  const int count = host::getIntParameter(listCountName(name).c_str());
  std::vector<std::string> parts;
  parts.push_back(host::getStringParameter(name));
  for (int k = 2; k <= count; ++k) {
    parts.push_back(
        host::getStringParameter(listPartName(name, static_cast<std::size_t>(k)).c_str()));
    if (!partIsFull(parts[parts.size() - 2], parts.back())) break;
  }
  return parts;
}

// The parts from `first` to `last` that hold text, up to the first one that
// is empty already: the plug-in writes its parts one after the other and its
// lists hold no empty line, so none past it holds a line of a list.
std::vector<std::string> partsToEmpty(const char* name, int first, int last) {
  std::vector<std::string> keys;
  for (int k = first; k <= last; ++k) {
    std::string key = listPartName(name, static_cast<std::size_t>(k));
    if (host::getStringParameter(key.c_str()).empty()) break;
    keys.push_back(std::move(key));
  }
  return keys;
}

}  // namespace

std::string readGuiList(const char* name) { return joinListParts(readParts(name)); }

bool publishGuiList(const char* name, std::string_view list) {
  GuiListAppend whole;
  if (!whole.planWhole(name, list)) return false;
  whole.apply();
  return true;
}

bool GuiListAppend::planWhole(const char* name, std::string_view list) {
  strings_.clear();
  count_ = 0;
  countName_ = listCountName(name);
  std::vector<std::string> parts;
  if (!splitListParts(list, parts)) return false;
  const int before = host::getIntParameter(countName_.c_str());
  for (std::size_t k = 0; k < parts.size(); ++k) {
    strings_.emplace_back(listPartName(name, k + 1), std::move(parts[k]));
  }
  const int count = static_cast<int>(strings_.size());
  for (std::string& key : partsToEmpty(name, count + 1, before)) {
    strings_.emplace_back(std::move(key), std::string());
  }
  if (count > 1 || before > 1) count_ = count;
  return true;
}

Outcome GuiListAppend::plan(const char* name, std::string_view line) {
  strings_.clear();
  count_ = 0;
  countName_ = listCountName(name);
  if (line.size() > kListLimit) {
    return host::logFailure(
        "Plugin> ",
        "A line of the GUI list \"%s\" has %zu characters, more than the %zu a list part "
        "holds; subject refused.",
        name, line.size(), kListLimit);
  }
  const int count = host::getIntParameter(countName_.c_str());
  if (count <= 1) {
    // One part: the list as a single parameter, as it always was.
    std::string list = host::getStringParameter(name);
    if (list.size() + (list.empty() ? 0 : 1) + line.size() <= kListLimit) {
      if (!list.empty()) list += '\n';
      list += line;
      strings_.emplace_back(name, std::move(list));
      return {};
    }
  } else {
    // Only the last part changes, once the parts are the ones the count
    // names: the first full against the second, the one before the last full
    // against the last.
    const std::string first = host::getStringParameter(name);
    const std::string second = host::getStringParameter(listPartName(name, 2).c_str());
    const std::size_t lastIndex = static_cast<std::size_t>(count);
    std::string last =
        count == 2 ? second : host::getStringParameter(listPartName(name, lastIndex).c_str());
    const std::string beforeLast =
        count == 2 ? first : host::getStringParameter(listPartName(name, lastIndex - 1).c_str());
    if (partIsFull(first, second) && partIsFull(beforeLast, last)) {
      if (last.size() + 1 + line.size() <= kListLimit) {
        last += '\n';
        last += line;
        strings_.emplace_back(listPartName(name, lastIndex), std::move(last));
      } else {
        strings_.emplace_back(listPartName(name, lastIndex + 1), std::string(line));
        count_ = count + 1;
      }
      return {};
    }
  }
  // The list grows past its one part, or its parts are not the ones the
  // count names (a script rewrote "<name>" alone, or set the count): the list
  // as readers take it, with the line, published whole.
  std::string list = readGuiList(name);
  if (!list.empty()) list += '\n';
  list += line;
  if (!planWhole(name, list)) {
    // A line a script left in the list is longer than a part holds.
    return host::logFailure("Plugin> ",
                            "A line of the GUI list \"%s\" is longer than the %zu characters a "
                            "list part holds; subject refused.",
                            name, kListLimit);
  }
  return {};
}

void GuiListAppend::apply() const {
  for (const auto& [key, value] : strings_) host::setStringParameter(key.c_str(), value.c_str());
  if (count_ > 0) host::setIntParameter(countName_.c_str(), count_);
}

}  // namespace ppi::commands
