// Checks of one subject's design before and after it is assembled: predictor
// names that would collide in the host (which looks predictors up by name), a
// group whose subjects would get different designs, and the contrast's
// conditions. The pure parts decide; the report functions log, add to the
// command's report and say whether the run may go on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/deconvolution.h"
#include "analysis/regressors.h"
#include "analysis/runsettings.h"
#include "common/report.h"
#include "model/subject.h"

namespace ppi::analysis {

// A condition whose predictor name another predictor of the design has too.
struct NameCollision {
  std::string condition;  // the condition's name; empty when nothing collides
  std::string name;       // the predictor name it would share
  std::string other;      // what else gets that name: a condition, or a fixed predictor
  bool collides() const { return !name.empty(); }
};

// The first collision among the predictors the subject's settings give: under
// the generalized approach every condition from the baseline on gets
// "PPI_<condition>_<label>" and "<condition>", beside "<label>_predictor" and
// "Constant"; under the standard approach no predictor is named after a
// condition, so none can collide.
NameCollision findNameCollision(const SubjectSettings& settings, const std::string& label);

// Each condition's weight as the run gives it (assignConditionWeights): the
// first "CondID-" entry naming it decides; -1, 0 or +1, and -2 for an entry
// naming no list. `named[i]` is false when no entry names condition i.
struct PlannedWeights {
  std::vector<std::int32_t> weights;
  std::vector<bool> named;
};
PlannedWeights planConditionWeights(const SubjectSettings& settings);

// Under the standard approach with only one weight sign (only list0 or only
// list2 used): what the psychological regressor then contrasts, "\"Attend\"
// against \"Passive\", \"Rest\" and the time no condition covers". Empty when
// both signs occur, when none does, or under the generalized approach.
std::string oneSidedContrast(const SubjectSettings& settings);

// Where two designs first differ: `index` from 0; a side without a predictor
// there is "(none)". `differs` false when equal.
struct DesignDifference {
  bool differs = false;
  std::size_t index = 0;
  std::string first;
  std::string other;
};
DesignDifference firstDesignDifference(const PredictorNames& first, const PredictorNames& other);

// "subject 2 (s02.vtc)".
std::string subjectWhere(std::size_t number, const model::SubjectRecord& subject);

// Before any predictor is added: false, after one log line naming the
// condition and the protocol and an error in `report` saying what to rename,
// when a predictor name would collide.
bool checkPredictorNames(const SubjectSettings& settings, const std::string& label,
                         const model::SubjectRecord& subject, std::size_t number, Report& report);

// Warnings of the contrast under the standard approach: conditions no
// "CondID-" entry names, and a one-sided contrast. The log keeps its own lines.
void reportContrastWarnings(const SubjectSettings& settings, const model::SubjectRecord& subject,
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

// A deconvolution at the neural level that could not separate the region
// signal from noise (separationWarning decides and words it): a warning line
// in the log and a warning in the report, which the subject's record and the
// QC report carry too.
void reportDeconvolution(const DeconvolutionSummary& deconvolution,
                         const model::SubjectRecord& subject, std::size_t number, Report& report);

// Voxels of the region outside the time course's grid (the log has its line).
void reportVoxelsOutside(int outside, int total, const std::string& voiName,
                         const model::SubjectRecord& subject, std::size_t number, Report& report);

}  // namespace ppi::analysis
