#include "run/runreport.h"

#include <string>

#include "common/paths.h"
#include "common/report.h"

namespace ppi::analysis {

void reportSubjectStopped(model::PluginState& state, std::size_t number, std::size_t errorsBefore,
                          const std::string& reason) {
  std::string where = "subject " + std::to_string(number);
  if (number >= 1 && number <= state.subjects.size()) {
    where += " (" + fileNameOf(state.subjects[number - 1].timeCourse.vtcPath.view()) + ")";
  }
  if (state.report.count(Report::Kind::error) > errorsBefore) return;  // the step said why already
  state.report.error(where, reason, "The run stopped here; later subjects were not analysed.");
}

void summarizeRun(model::PluginState& state, std::size_t saved,
                  const std::vector<std::string>& notListed) {
  std::string summary = "Start: " + std::to_string(saved) + " of " +
                        std::to_string(state.subjects.size()) + " design matrices saved";
  const std::size_t errors = state.report.count(Report::Kind::error);
  const std::size_t warnings = state.report.count(Report::Kind::warning);
  if (errors > 0) summary += ", " + counted(errors, "error");
  if (warnings > 0) summary += ", " + counted(warnings, "warning");
  for (std::size_t i = 0; i < notListed.size(); ++i) {
    summary += (i == 0 ? "; not in the list: " : ", ") + notListed[i];
  }
  state.report.setSummary(summary);
}

}  // namespace ppi::analysis
