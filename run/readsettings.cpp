#include "design/runsettings.h"

#include "host/hostapi.h"

namespace ppi::analysis {

SubjectSettings readSubjectSettings(std::vector<std::string> conditionNames) {
  SubjectSettings settings;
  settings.baseline = host::getIntParameter("baseline");
  settings.approach = host::getIntParameter("whichapproach");
  settings.conditionNames = std::move(conditionNames);
  if (!settings.generalized()) {
    for (int n = 0; n < kMaxConditionEntries; ++n) {
      char key[32];
      formatBounded(key, sizeof key, "CondID-%d", n);
      std::string entry = host::getStringParameter(key);
      if (entry.empty()) break;
      settings.conditionEntries.push_back(std::move(entry));
    }
  }
  return settings;
}

}  // namespace ppi::analysis
