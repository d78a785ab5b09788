#include "run/readsettings.h"

#include "host/hostapi.h"

namespace ppi::analysis {

Result<MethodOptions> readMethodOptions() {
  MethodOptions options;
  for (const MethodOptionInfo& parameter : kMethodOptions) {
    const int value = host::getIntParameter(parameter.parameter);
    if (value != 0 && value != 1) {
      MessageText why;
      why.format("\"%s\" is %d; it takes 0 or 1", parameter.parameter, value);
      return fail(why.str());
    }
    options.*parameter.field = value;
  }
  return options;
}

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
