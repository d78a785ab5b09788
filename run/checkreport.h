// The design checks' findings in the log and the command's report, placed at
// the subject, its protocol or its region; and the decision whether the run
// may go on.
#pragma once

#include <cstddef>
#include <string>

#include "common/report.h"
#include "design/designcheck.h"
#include "design/runsettings.h"
#include "model/subject.h"

namespace ppi::analysis {

// "subject 2 (s02.vtc)".
std::string subjectWhere(std::size_t number, const model::SubjectRecord& subject);

// Before any predictor is added: false, after one log line naming the
// condition and the protocol and an error in `report` saying what to rename,
// when a predictor name would collide.
bool checkPredictorNames(const DesignPlan& plan, const model::SubjectRecord& subject,
                         std::size_t number, Report& report);

// Warnings of the contrast under the standard approach: conditions no
// "CondID-" entry names, and a one-sided contrast. The log keeps its own lines.
void reportContrastWarnings(const DesignPlan& plan, const model::SubjectRecord& subject,
                            std::size_t number, Report& report);

// The first subject's design, which every later one is held to.
struct GroupDesign {
  bool known = false;
  PredictorNames predictors;
  std::string firstWhere;
};

// After the subject's design is assembled, before it is saved: the first
// subject's design becomes the group's. A later subject's design that differs
// stops the run in multi-study mode (false, after one log line naming the
// subject and the first predictor that differs, and an error); otherwise it is
// a warning in the log and the report, and the run goes on.
bool checkGroupDesign(const PredictorNames& predictors, bool multiStudy,
                      const model::SubjectRecord& subject, std::size_t number, GroupDesign& group,
                      Report& report);

// Voxels of the region outside the time course's grid (the log has its line).
void reportVoxelsOutside(int outside, int total, const std::string& voiName,
                         const model::SubjectRecord& subject, std::size_t number, Report& report);

}  // namespace ppi::analysis
