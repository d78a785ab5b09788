// Checks of one subject's design before and after it is assembled: predictor
// names that would collide in the host (which looks predictors up by name), a
// group whose subjects would get different designs, and the contrast's
// conditions. They decide; run/checkreport.h logs and reports what they find.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "design/plan.h"
#include "design/predictors.h"

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

}  // namespace ppi::analysis
