// The plug-in object's state: the subject list, the design matrices saved by
// the latest run and the autosave list, owned by the object for its whole life.
#pragma once

#include <cstdint>
#include <vector>

#include "common/boundedtext.h"
#include "common/report.h"
#include "model/autosave.h"
#include "model/subjectlist.h"

namespace ppi::model {

struct PluginState {
  SubjectList subjects;
  // Under the standard approach the first subject's condition weights serve
  // every subject once a second subject is added.
  bool saveWeights = false;
  // The design matrices of the latest run that stand for its subjects, in list order.
  std::vector<PathText> savedDesignFiles;
  AutosaveList autosave;
  // The running command's report; emptied when a command begins.
  Report report;

  std::int32_t subjectCount() const { return static_cast<std::int32_t>(subjects.size()); }

  // Empties the subject list and the saved design matrices; `saveWeights` stays.
  void clearSubjects() {
    subjects.clear();
    savedDesignFiles.clear();
  }
};

}  // namespace ppi::model
