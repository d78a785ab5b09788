#include "design/designcheck.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <utility>

namespace ppi::analysis {
namespace {

constexpr const char* kNone = "(none)";

// A predictor the design will have, and the condition it is made from (empty
// for the fixed predictors).
struct Planned {
  std::string name;
  std::string condition;
};

}  // namespace

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

std::string joinedNames(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
    text += quoted(names[i]);
  }
  return text;
}

NameCollision findNameCollision(const DesignPlan& plan) {
  std::vector<Planned> planned;
  for (const PlannedPredictor& predictor : plan.predictors) {
    const bool fromCondition = predictor.condition >= 0 &&
                               static_cast<std::size_t>(predictor.condition) < plan.conditions.size();
    planned.push_back({predictor.name,
                       fromCondition ? plan.conditions[static_cast<std::size_t>(predictor.condition)].name
                                     : std::string()});
  }
  for (std::size_t i = 0; i < planned.size(); ++i) {
    for (std::size_t j = i + 1; j < planned.size(); ++j) {
      if (planned[i].name != planned[j].name) continue;
      // Only conditions give predictors names that can meet. Name the
      // condition that is called like the predictor, if one is.
      if (planned[i].condition.empty() && planned[j].condition.empty()) continue;
      const bool jNamedLikeIt = planned[j].condition == planned[j].name;
      const bool takeJ =
          planned[i].condition.empty() || (jNamedLikeIt && planned[i].condition != planned[i].name);
      const Planned& byCondition = takeJ ? planned[j] : planned[i];
      const Planned& other = takeJ ? planned[i] : planned[j];
      NameCollision collision;
      collision.condition = byCondition.condition;
      collision.name = planned[i].name;
      collision.other = other.condition.empty() ? "the predictor " + quoted(other.name)
                                                : "the condition " + quoted(other.condition);
      return collision;
    }
  }
  return {};
}

std::vector<std::string> unnamedConditions(const DesignPlan& plan) {
  std::vector<std::string> unnamed;
  if (plan.generalized) return unnamed;
  for (const ConditionWeight& condition : plan.conditions) {
    if (!condition.named) unnamed.push_back(condition.name);
  }
  return unnamed;
}

std::string oneSidedContrast(const DesignPlan& plan) {
  if (plan.generalized || plan.hasPositive == plan.hasNegative) return {};
  std::vector<std::string> weighted, others;
  for (const ConditionWeight& condition : plan.conditions) {
    (condition.weight != 0 ? weighted : others).push_back(condition.name);
  }
  std::string text =
      joinedNames(weighted) + " (" + (plan.hasPositive ? "list2" : "list0") + ") against ";
  if (!others.empty()) text += joinedNames(others) + " and ";
  return text + "the time no condition covers";
}

DesignDifference firstDesignDifference(const PredictorNames& first, const PredictorNames& other) {
  const std::size_t longest = first.size() > other.size() ? first.size() : other.size();
  for (std::size_t i = 0; i < longest; ++i) {
    const std::string a = i < first.size() ? first[i] : kNone;
    const std::string b = i < other.size() ? other[i] : kNone;
    if (i >= first.size() || i >= other.size() || a != b) return {true, i, a, b};
  }
  return {};
}

// ------------------------------------------------------------ the table ----

namespace {

std::string number(double value) {
  if (std::isinf(value)) return "infinite";
  char text[64];
  std::snprintf(text, sizeof text, value >= 1000 ? "%.0f" : "%.1f", value);
  return text;
}

std::string lowered(const std::string& text) {
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

bool noConditions(const CheckInput& input, Finding& finding) {
  if (!input.plan.conditions.empty()) return false;
  finding.where = input.place.protocol;
  finding.what = "the protocol has no conditions: the design has no task to model and no PPI "
                 "term to estimate.";
  finding.todo = "Give the time course a protocol that lists its conditions, then start again.";
  return true;
}

bool noPpiTerm(const CheckInput& input, Finding& finding) {
  if (input.plan.ppiTerms() > 0) return false;
  finding.where = input.place.protocol;
  finding.what =
      input.plan.modelledByName
          ? std::string("no condition of the protocol is among those \"gPPIConditions\" names: the "
                        "design has no PPI term.")
          : "no condition is modelled (\"baseline\" is " +
                std::to_string(input.plan.requestedBaseline) + ", the protocol has " +
                std::to_string(input.plan.conditions.size()) +
                " conditions): the design has no PPI term.";
  finding.todo = "Choose a baseline below the number of conditions, or name the conditions to "
                 "model.";
  return true;
}

bool unknownCondition(const CheckInput& input, Finding& finding) {
  if (input.plan.unknownConditions.empty()) return false;
  finding.where = input.place.protocol;
  finding.what = "\"gPPIConditions\" names " + joinedNames(input.plan.unknownConditions) +
                 ", which the protocol does not have: this subject's design would model other "
                 "conditions than the group's.";
  finding.todo = "Correct the names (letter case included) or the protocol, then start again.";
  return true;
}

bool unnamedCondition(const CheckInput& input, Finding& finding) {
  const std::vector<std::string> unnamed = unnamedConditions(input.plan);
  if (unnamed.empty()) return false;
  finding.where = input.place.protocol;
  finding.what = "no \"CondID-\" entry names " + joinedNames(unnamed) +
                 "; it gets no weight in the contrast.";
  finding.todo = "Check the condition's name and letter case against the dialog's lists.";
  return true;
}

bool oneSided(const CheckInput& input, Finding& finding) {
  const std::string contrasted = oneSidedContrast(input.plan);
  if (contrasted.empty()) return false;
  finding.where = input.place.protocol;
  finding.what = "one-sided contrast: no complementary regressor is made, and the "
                 "psychological regressor contrasts " +
                 contrasted +
                 "; the task effect of the conditions left out is not modelled and biases the "
                 "PPI estimate.";
  finding.todo = "Put the conditions to compare against into the other list, or keep this "
                 "contrast knowingly.";
  return true;
}

bool letterCase(const CheckInput& input, Finding& finding) {
  std::vector<std::string> names;
  for (const ConditionWeight& condition : input.plan.conditions) names.push_back(condition.name);
  for (const PlannedPredictor& predictor : input.plan.predictors) names.push_back(predictor.name);
  for (std::size_t i = 0; i < names.size(); ++i) {
    for (std::size_t j = i + 1; j < names.size(); ++j) {
      if (names[i] == names[j] || lowered(names[i]) != lowered(names[j])) continue;
      finding.where = input.place.protocol;
      finding.what = "the names " + quoted(names[i]) + " and " + quoted(names[j]) +
                     " differ only in letter case; a program that ignores letter case takes "
                     "them for one.";
      finding.todo = "Rename one of them in the protocol.";
      return true;
    }
  }
  return false;
}

bool constantColumn(const CheckInput& input, Finding& finding) {
  if (input.predictors == nullptr || input.stats == nullptr || !input.stats->valid) return false;
  std::vector<std::string> described;
  for (std::size_t p = 0; p < input.predictors->size(); ++p) {
    const Predictor& predictor = (*input.predictors)[p];
    const bool psychological = predictor.role == PredictorRole::task ||
                               predictor.role == PredictorRole::ppiTerm ||
                               predictor.role == PredictorRole::complementary;
    if (!psychological || p >= input.stats->predictors.size()) continue;
    const PredictorSummary& summary = input.stats->predictors[p];
    if (summary.minimum != summary.maximum) continue;
    described.push_back(quoted(predictor.name) +
                        (summary.minimum == 0 ? " is 0 at every volume"
                                              : " is " + number(summary.minimum) +
                                                    " at every volume"));
  }
  if (described.empty()) return false;
  std::string list;
  for (std::size_t i = 0; i < described.size(); ++i) {
    if (i > 0) list += i + 1 == described.size() ? " and " : ", ";
    list += described[i];
  }
  finding.where = input.place.subject;
  finding.what = list + ": the design cannot estimate the PPI term.";
  finding.todo = "Check the protocol's condition names against the contrast (letter case "
                 "included) and that the weighted conditions occur in this run.";
  return true;
}

bool rankDeficient(const CheckInput& input, Finding& finding) {
  if (input.stats == nullptr || !input.stats->valid) return false;
  if (input.stats->rank >= input.stats->columns) return false;
  finding.where = input.place.subject;
  finding.what = "the design has rank " + std::to_string(input.stats->rank) + " of " +
                 std::to_string(input.stats->columns) +
                 ": some predictors are combinations of the others, so their estimates are not "
                 "determined.";
  finding.todo = "See the predictor correlations in the QC report; model conditions that do not "
                 "together fill the run.";
  return true;
}

// The PPI terms whose VIF lies in [low, high).
bool vifIn(const CheckInput& input, double low, double high, Finding& finding) {
  if (input.stats == nullptr || !input.stats->valid || input.predictors == nullptr) return false;
  std::vector<std::string> terms;
  for (const PpiVif& entry : input.stats->vifs) {
    if (!(entry.vif >= low && entry.vif < high)) continue;
    terms.push_back(quoted((*input.predictors)[entry.predictor].name) + " " + number(entry.vif));
  }
  if (terms.empty()) return false;
  std::string list;
  for (std::size_t i = 0; i < terms.size(); ++i) {
    if (i > 0) list += i + 1 == terms.size() ? " and " : ", ";
    list += terms[i];
  }
  finding.where = input.place.subject;
  finding.what = "variance inflation factor of the PPI term" +
                 std::string(terms.size() == 1 ? " " : "s ") + list + " (" +
                 std::to_string(static_cast<int>(low)) + " or more): the other predictors explain " +
                 (low >= kVifError ? "nearly all of it and its estimate is not to be trusted."
                                   : "much of it and its estimate varies the more.");
  finding.todo = "Leave a condition that fills most of the run (a rest condition) unmodelled, "
                 "or see the predictor correlations in the QC report.";
  return true;
}

bool vifExtreme(const CheckInput& input, Finding& finding) {
  return vifIn(input, kVifError, HUGE_VAL, finding);
}

bool vifHigh(const CheckInput& input, Finding& finding) {
  return vifIn(input, kVifWarning, kVifError, finding);
}

bool foundAny(const std::vector<Finding>& found, const char* ids) {
  const std::string list = std::string(" ") + ids + " ";
  for (const Finding& finding : found) {
    if (!finding.id.empty() && list.find(" " + finding.id + " ") != std::string::npos) return true;
  }
  return false;
}

}  // namespace

const std::vector<DesignCheck>& designChecks() {
  using S = Severity;
  static const std::vector<DesignCheck> checks = {
      {"no-conditions", S::error, CheckStage::plan, "", noConditions},
      {"no-ppi-term", S::error, CheckStage::plan, "no-conditions", noPpiTerm},
      {"unknown-condition", S::error, CheckStage::plan, "no-conditions", unknownCondition},
      {"unnamed-condition", S::warning, CheckStage::plan, "", unnamedCondition},
      {"one-sided-contrast", S::warning, CheckStage::plan, "", oneSided},
      {"letter-case", S::warning, CheckStage::plan, "", letterCase},
      {"constant-column", S::error, CheckStage::values, "no-conditions no-ppi-term",
       constantColumn},
      {"rank-deficient", S::error, CheckStage::values,
       "no-conditions no-ppi-term constant-column", rankDeficient},
      {"vif-extreme", S::error, CheckStage::values,
       "no-conditions no-ppi-term constant-column rank-deficient", vifExtreme},
      {"vif-high", S::warning, CheckStage::values,
       "no-conditions no-ppi-term constant-column rank-deficient", vifHigh},
  };
  return checks;
}

void runDesignChecks(CheckStage stage, const CheckInput& input, std::vector<Finding>& found) {
  for (const DesignCheck& check : designChecks()) {
    if (check.stage != stage || foundAny(found, check.unless)) continue;
    Finding finding{check.severity, {}, {}, {}, check.id};
    if (check.find(input, finding)) found.push_back(std::move(finding));
  }
}

bool hasError(const std::vector<Finding>& findings) {
  for (const Finding& finding : findings) {
    if (finding.kind == Severity::error) return true;
  }
  return false;
}

}  // namespace ppi::analysis
