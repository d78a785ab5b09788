// Checks of one subject's design before and after it is assembled: predictor
// names that would collide in the host (which looks predictors up by name), a
// group whose subjects would get different designs, and the contrast's
// conditions. They decide; run/checkreport.h logs and reports what they find.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/report.h"
#include "design/plan.h"
#include "design/predictors.h"
#include "numerics/designstats.h"

namespace ppi::analysis {

// A condition whose predictor name another predictor of the design has too.
struct NameCollision {
  std::string condition;  // the condition's name; empty when nothing collides
  std::string name;       // the predictor name it would share
  std::string other;      // what else gets that name: a condition, or a fixed predictor
  bool collides() const { return !name.empty(); }
};

// The first collision among the planned predictors' names in which a
// condition takes part: under the generalized approach every modelled
// condition gets "PPI_<condition>_<label>" and "<condition>", beside
// "<label>_predictor" and "Constant"; under the standard approach no predictor
// is named after a condition, so none can collide.
NameCollision findNameCollision(const DesignPlan& plan);

// Under the standard approach: the conditions no "CondID-" entry names, in
// protocol order.
std::vector<std::string> unnamedConditions(const DesignPlan& plan);

// Under the standard approach with only one weight sign (only list0 or only
// list2 used): what the psychological regressor then contrasts, "\"Attend\"
// against \"Passive\", \"Rest\" and the time no condition covers". Empty when
// both signs occur, when none does, or under the generalized approach.
std::string oneSidedContrast(const DesignPlan& plan);

// "\"A\"", "\"A\" and \"B\"", "\"A\", \"B\" and \"C\"".
std::string joinedNames(const std::vector<std::string>& names);
std::string quoted(const std::string& text);

// Where two designs first differ: `index` from 0; a side without a predictor
// there is "(none)". `differs` false when equal.
struct DesignDifference {
  bool differs = false;
  std::size_t index = 0;
  std::string first;
  std::string other;
};
DesignDifference firstDesignDifference(const PredictorNames& first, const PredictorNames& other);

// ------------------------------------------------------------ the table ----
//
// Every check of one subject's design, in the order they run. Each finds at
// most one finding a subject (naming every predictor or condition it
// concerns); a check is skipped when one of the checks its `unless` names has
// found something for the subject, so that one cause is reported once.
//
//   id                    severity  stage   finds
//   no-conditions         error     plan    a protocol with no conditions
//   no-ppi-term           error     plan    a design without a PPI term
//   unknown-condition     error     plan    "gPPIConditions" names a condition the protocol lacks
//   unnamed-condition     warning   plan    conditions no "CondID-" entry names
//   one-sided-contrast    warning   plan    only one weight sign (biases the estimate)
//   letter-case           warning   plan    names that differ only in letter case
//   constant-column       error     values  a task or PPI column constant over the run
//   rank-deficient        error     values  a predictor that is a combination of others
//   vif-extreme           error     values  a PPI term with a VIF of 100 or more
//   vif-high              warning   values  a PPI term with a VIF of 10 or more
//
// The run adds findings of its own steps with their ids: "name-collision"
// (an error that stops the run before anything is built), "group-design",
// "voxels-outside" and the motion merge's ("motion-not-merged", "motion-still",
// and "motion-shared": a motion file whose samples another subject's has).

// A PPI term's VIF at or above these is a warning, and an error.
constexpr double kVifWarning = 10;
constexpr double kVifError = 100;

enum class CheckStage {
  plan,    // before anything is added to the host: the plan alone
  values,  // once the design is assembled: its values and statistics too
};

// Where a subject's findings are placed in the report.
struct CheckPlace {
  std::string subject;   // "subject 2 (s02.vtc)"
  std::string protocol;  // "subject 2 (s02.vtc), the protocol of s02.vtc"
};

struct CheckInput {
  const DesignPlan& plan;
  CheckPlace place;
  // The values stage: the design's predictors in file order and their statistics.
  const std::vector<Predictor>* predictors = nullptr;
  const DesignStats* stats = nullptr;
};

struct DesignCheck {
  const char* id;
  Severity severity;
  CheckStage stage;
  const char* unless;  // ids, separated by blanks
  // Fills where, what and to do of the finding; false when there is none.
  bool (*find)(const CheckInput& input, Finding& finding);
};

// The table above.
const std::vector<DesignCheck>& designChecks();

// Runs the table's checks of `stage`; `found` holds the subject's findings so
// far (the plan stage's, for the values stage) and gets the new ones.
void runDesignChecks(CheckStage stage, const CheckInput& input, std::vector<Finding>& found);

// True when one of `findings` is an error.
bool hasError(const std::vector<Finding>& findings);

}  // namespace ppi::analysis
