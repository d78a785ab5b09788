#include "commands/guilists.h"

#include "common/paths.h"
#include "host/hostapi.h"

namespace ppi::commands {
namespace {

// The parts the count names, or "<name>" alone when it names fewer than 2.
std::vector<std::string> readParts(const char* name) {
  const int count = host::getIntParameter(listCountName(name).c_str());
  std::vector<std::string> parts;
  parts.push_back(host::getStringParameter(name));
  for (int k = 2; k <= count; ++k) {
    parts.push_back(
        host::getStringParameter(listPartName(name, static_cast<std::size_t>(k)).c_str()));
  }
  return parts;
}

}  // namespace

std::string readGuiList(const char* name) { return joinListParts(readParts(name)); }

bool publishGuiList(const char* name, std::string_view list) {
  std::vector<std::string> parts;
  if (!splitListParts(list, parts)) return false;
  const std::string countName = listCountName(name);
  const int before = host::getIntParameter(countName.c_str());
  for (std::size_t k = 0; k < parts.size(); ++k) {
    host::setStringParameter(listPartName(name, k + 1).c_str(), parts[k].c_str());
  }
  for (int k = static_cast<int>(parts.size()) + 1; k <= before; ++k) {
    host::setStringParameter(listPartName(name, static_cast<std::size_t>(k)).c_str(), "");
  }
  const int count = static_cast<int>(parts.size());
  if (count > 1 || before > 1) host::setIntParameter(countName.c_str(), count);
  return true;
}

bool GuiListAppend::plan(const char* name, std::string_view line) {
  strings_.clear();
  count_ = 0;
  countName_ = listCountName(name);
  if (line.size() > kListLimit) {
    host::logLine(
        "Plugin> A line of the GUI list \"%s\" has %zu characters, more than the %zu a list part "
        "holds; subject refused.",
        name, line.size(), kListLimit);
    return false;
  }
  int count = host::getIntParameter(countName_.c_str());
  std::string first = host::getStringParameter(name);
  if (count > 1 && !partIsFull(first, host::getStringParameter(listPartName(name, 2).c_str()))) {
    // "<name>" was rewritten as one text: its old parts are not the list's.
    for (int k = 2; k <= count; ++k) {
      strings_.emplace_back(listPartName(name, static_cast<std::size_t>(k)), "");
    }
    count_ = 1;
    count = 1;
  }
  const std::size_t last = count > 1 ? static_cast<std::size_t>(count) : 1;
  std::string tail =
      last == 1 ? std::move(first) : host::getStringParameter(listPartName(name, last).c_str());
  if (tail.empty() && last == 1) {
    strings_.emplace_back(name, std::string(line));
  } else if (tail.size() + 1 + line.size() <= kListLimit) {
    tail += '\n';
    tail += line;
    strings_.emplace_back(listPartName(name, last), std::move(tail));
  } else {
    strings_.emplace_back(listPartName(name, last + 1), std::string(line));
    count_ = static_cast<int>(last + 1);
  }
  return true;
}

void GuiListAppend::apply() const {
  for (const auto& [key, value] : strings_) host::setStringParameter(key.c_str(), value.c_str());
  if (count_ > 0) host::setIntParameter(countName_.c_str(), count_);
}

}  // namespace ppi::commands
