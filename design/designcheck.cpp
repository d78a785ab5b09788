#include "design/designcheck.h"

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

}  // namespace ppi::analysis
