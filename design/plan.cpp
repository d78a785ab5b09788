#include "design/plan.h"

#include <algorithm>
#include <utility>

namespace ppi::analysis {
namespace {

// Standard approach: each condition takes the weight of the first "CondID-"
// entry whose text holds its name.
ConditionWeight weighedCondition(const std::string& name,
                                 const std::vector<std::string>& entries) {
  ConditionWeight condition;
  condition.name = name;
  for (const std::string& entry : entries) {
    // An empty name would be found in every entry.
    if (!name.empty() && entry.find(name) != std::string::npos) {
      condition.named = true;
      condition.entryText = entry;
      condition.entryWeight = weightOfEntry(entry);
      condition.weight = condition.entryWeight == -2 ? 0 : condition.entryWeight;
      break;
    }
  }
  return condition;
}

}  // namespace

std::vector<std::string> tabSeparatedNames(const std::string& text) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t tab = text.find('\t', start);
    const std::size_t end = tab == std::string::npos ? text.size() : tab;
    if (end > start) names.push_back(text.substr(start, end - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return names;
}

std::int32_t weightOfEntry(const std::string& entry) {
  std::int32_t weight = -2;
  if (entry.find("list0") != std::string::npos) weight = -1;
  if (entry.find("list1") != std::string::npos) weight = 0;
  if (entry.find("list2") != std::string::npos) weight = 1;
  return weight;
}

std::size_t DesignPlan::ppiTerms() const {
  std::size_t count = 0;
  for (const PlannedPredictor& predictor : predictors) {
    if (predictor.role == PredictorRole::ppiTerm) ++count;
  }
  return count;
}

PredictorNames DesignPlan::names() const {
  PredictorNames names;
  for (const PlannedPredictor& predictor : predictors) names.push_back(predictor.name);
  return names;
}

std::vector<PredictorRole> DesignPlan::rolesOf(const std::vector<std::string>& fileNames) const {
  std::vector<PredictorRole> roles;
  std::vector<bool> used(predictors.size(), false);
  for (const std::string& name : fileNames) {
    PredictorRole role = PredictorRole::motion;
    for (std::size_t i = 0; i < predictors.size(); ++i) {
      if (!used[i] && predictors[i].name == name) {
        used[i] = true;
        role = predictors[i].role;
        break;
      }
    }
    roles.push_back(role);
  }
  return roles;
}

DesignPlan planDesign(const SubjectSettings& settings, const std::string& label) {
  DesignPlan plan;
  plan.generalized = settings.generalized();
  plan.label = label;
  const std::vector<std::string>& names = settings.conditionNames;

  if (plan.generalized) {
    plan.requestedBaseline = settings.baseline;
    plan.baselineBelowZero = settings.baseline < 0 && settings.modelledConditions.empty();
    plan.baseline = plan.baselineBelowZero ? 0 : settings.baseline;
    const std::vector<std::string>& byName = settings.modelledConditions;
    plan.modelledByName = !byName.empty();
    for (const std::string& name : byName) {
      if (std::find(names.begin(), names.end(), name) == names.end()) {
        plan.unknownConditions.push_back(name);
      }
    }
    for (std::size_t c = 0; c < names.size(); ++c) {
      ConditionWeight condition;
      condition.name = names[c];
      condition.named = true;
      if (plan.modelledByName) {
        const bool modelled = std::find(byName.begin(), byName.end(), names[c]) != byName.end();
        condition.entryText = modelled ? "modelled (gPPIConditions)" : "not modelled (gPPIConditions)";
        condition.weight = modelled ? 1 : 0;
        condition.entryWeight = condition.weight;
        plan.conditions.push_back(std::move(condition));
        continue;
      }
      const bool modelled = static_cast<int>(c) >= plan.baseline;
      condition.entryText = modelled ? "modelled (generalized approach)" : "before the baseline";
      condition.weight = modelled ? 1 : 0;
      condition.entryWeight = condition.weight;
      plan.conditions.push_back(std::move(condition));
    }
    for (std::size_t c = 0; c < names.size(); ++c) {
      if (plan.conditions[c].weight == 0) continue;
      plan.predictors.push_back({"PPI_" + names[c] + "_" + label, PredictorRole::ppiTerm,
                                 PredictorSource::condition, static_cast<int>(c)});
    }
    for (std::size_t c = 0; c < names.size(); ++c) {
      if (plan.conditions[c].weight == 0) continue;
      plan.predictors.push_back(
          {names[c], PredictorRole::task, PredictorSource::condition, static_cast<int>(c)});
    }
  } else {
    for (const std::string& name : names) {
      plan.conditions.push_back(weighedCondition(name, settings.conditionEntries));
      plan.hasPositive = plan.hasPositive || plan.conditions.back().weight == 1;
      plan.hasNegative = plan.hasNegative || plan.conditions.back().weight == -1;
    }
    plan.predictors.push_back(
        {"PPI_" + label, PredictorRole::ppiTerm, PredictorSource::weightedConditions, -1});
    plan.predictors.push_back(
        {kPsychologicalName, PredictorRole::task, PredictorSource::weightedConditions, -1});
    if (plan.hasPositive && plan.hasNegative) {
      plan.predictors.push_back({kComplementaryName, PredictorRole::complementary,
                                 PredictorSource::weightedConditions, -1});
    }
  }
  plan.predictors.push_back(
      {label + "_predictor", PredictorRole::regionSignal, PredictorSource::region, -1});
  plan.predictors.push_back(
      {kConstantName, PredictorRole::constant, PredictorSource::constant, -1});
  return plan;
}

}  // namespace ppi::analysis
