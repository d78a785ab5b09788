#include "run/readsettings.h"

#include "host/hostapi.h"

namespace ppi::analysis {

MethodOptionsRead readMethodOptions() {
  MethodOptionsRead read;
  for (const MethodOptionInfo& parameter : kMethodOptions) {
    const int value = host::getIntParameter(parameter.parameter);
    if (value != 0 && value != 1) {
      read.why.format("\"%s\" is %d; it takes 0 or 1", parameter.parameter, value);
      return read;
    }
    read.options.*parameter.field = value;
  }
  read.ok = true;
  return read;
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
