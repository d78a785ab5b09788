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

NameCollision findNameCollision(const SubjectSettings& settings, const std::string& label) {
  if (!settings.generalized()) return {};
  const std::size_t from = settings.baseline < 0 ? 0 : static_cast<std::size_t>(settings.baseline);
  std::vector<Planned> planned;
  for (std::size_t c = from; c < settings.conditionNames.size(); ++c) {
    const std::string& condition = settings.conditionNames[c];
    planned.push_back({"PPI_" + condition + "_" + label, condition});
  }
  for (std::size_t c = from; c < settings.conditionNames.size(); ++c) {
    planned.push_back({settings.conditionNames[c], settings.conditionNames[c]});
  }
  planned.push_back({label + "_predictor", {}});
  planned.push_back({"Constant", {}});

  for (std::size_t i = 0; i < planned.size(); ++i) {
    for (std::size_t j = i + 1; j < planned.size(); ++j) {
      if (planned[i].name != planned[j].name) continue;
      // Only conditions give predictors names that can meet. Name the
      // condition that is called like the predictor, if one is.
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

PlannedWeights planConditionWeights(const SubjectSettings& settings) {
  PlannedWeights planned;
  for (const std::string& name : settings.conditionNames) {
    std::int32_t weight = 0;
    bool found = false;
    for (const std::string& entry : settings.conditionEntries) {
      // An empty name would be found in every entry.
      if (!name.empty() && entry.find(name) != std::string::npos) {
        weight = weightOfEntry(entry);
        found = true;
        break;
      }
    }
    planned.weights.push_back(weight);
    planned.named.push_back(found);
  }
  return planned;
}

std::string oneSidedContrast(const SubjectSettings& settings) {
  if (settings.generalized()) return {};
  const PlannedWeights planned = planConditionWeights(settings);
  std::vector<std::string> weighted, others;
  bool positive = false, negative = false;
  for (std::size_t c = 0; c < planned.weights.size(); ++c) {
    const std::int32_t weight = planned.weights[c];
    positive = positive || weight == 1;
    negative = negative || weight == -1;
    (weight == 1 || weight == -1 ? weighted : others).push_back(settings.conditionNames[c]);
  }
  if (positive == negative) return {};
  std::string text = joinedNames(weighted) + " (" + (positive ? "list2" : "list0") + ") against ";
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
