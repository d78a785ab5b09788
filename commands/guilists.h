// The GUI's list parameters ("VTCFileList", "VTCFileNameList", "VOIFileList",
// "SDMFileList"), read and published whole over their parts (common/paths.h
// has the rule of the parts). A list that fits into one parameter is read and
// published exactly as a single text parameter.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/outcome.h"

namespace ppi::commands {

// The whole list, joined from its parts.
std::string readGuiList(const char* name);

// Publishes `list` whole: its parts, the count when there is more than one
// part or was before, and empties the parts the list no longer needs. False,
// with nothing set, when a line is longer than a part holds.
bool publishGuiList(const char* name, std::string_view list);

// One line appended to a GUI list, planned before anything is set, so that
// several lists can be extended in step: plan each, then apply them all. A
// plan reads the first, second, last but one and last parts and writes only
// the last part and the count, so appending costs the same at the
// thousandth subject as at the first; a list whose parts are not the ones
// its count names is read as readGuiList reads it and published whole.
class GuiListAppend {
 public:
  // Reads what the list holds now; fails, with a log line, when a line is
  // longer than a part holds.
  Outcome plan(const char* name, std::string_view line);
  // The whole list `list` instead; false when a line is longer than a part.
  bool planWhole(const char* name, std::string_view list);
  void apply() const;

 private:
  std::vector<std::pair<std::string, std::string>> strings_;
  int count_ = 0;  // the count to set; 0: leave it
  std::string countName_;
};

}  // namespace ppi::commands
