#include "commands/conditioncheck.h"

#include "common/paths.h"
#include "common/report.h"

namespace ppi::commands {

std::string conditionNamesDifference(const std::vector<std::string>& first,
                                     const std::vector<std::string>& other) {
  const std::size_t common = first.size() < other.size() ? first.size() : other.size();
  for (std::size_t i = 0; i < common; ++i) {
    if (first[i] != other[i]) {
      return "has \"" + other[i] + "\" as condition " + std::to_string(i + 1) +
             " where the first subject has \"" + first[i] + "\"";
    }
  }
  if (first.size() == other.size()) return {};
  return "has " + std::to_string(other.size()) + " conditions where the first subject has " +
         std::to_string(first.size());
}

void noteConditionNamesDiffer(model::PluginState& state, std::size_t index) {
  if (index == 0 || index >= state.subjects.size()) return;
  const model::SubjectRecord& first = state.subjects[0].timeCourse;
  const model::SubjectRecord& other = state.subjects[index].timeCourse;
  const std::string difference =
      conditionNamesDifference(first.conditionNames, other.conditionNames);
  if (difference.empty()) return;
  state.report.warning(
      "subject " + std::to_string(index + 1) + " (" + fileNameOf(other.vtcPath.view()) + ")",
      "its protocol " + difference + " (subject 1, " + fileNameOf(first.vtcPath.view()) +
          "); the dialog shows one protocol's conditions.",
      "Give every protocol the same condition names, in the same order and letter case, or the "
      "subjects get different designs.");
}

}  // namespace ppi::commands
