#include "analysis/designcheck.h"

#include <utility>

#include "analysis/regressors.h"
#include "common/paths.h"
#include "host/hostapi.h"

namespace ppi::analysis {
namespace {

constexpr const char* kNone = "(none)";

// A predictor the design will have, and the condition it is made from (empty
// for the fixed predictors).
struct Planned {
  std::string name;
  std::string condition;
};

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

std::string protocolOf(const model::SubjectRecord& subject) {
  return subject.protocolPath.empty() ? "the protocol linked to " + subject.timeCoursePath()
                                      : "the PRT file " + subject.protocolPath.str();
}

// "\"A\"", "\"A\" and \"B\"", "\"A\", \"B\" and \"C\"".
std::string joinedNames(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
    text += quoted(names[i]);
  }
  return text;
}

// The protocol in a report's "where": its file name, or whose it is.
std::string protocolWhere(const model::SubjectRecord& subject) {
  return subject.protocolPath.empty() ? "the protocol of " + fileNameOf(subject.vtcPath.view())
                                      : fileNameOf(subject.protocolPath.view());
}

}  // namespace

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

std::string subjectWhere(std::size_t number, const model::SubjectRecord& subject) {
  return "subject " + std::to_string(number) + " (" + fileNameOf(subject.vtcPath.view()) + ")";
}

bool checkPredictorNames(const SubjectSettings& settings, const std::string& label,
                         const model::SubjectRecord& subject, std::size_t number, Report& report) {
  const NameCollision collision = findNameCollision(settings, label);
  if (!collision.collides()) return true;
  const std::string protocol = protocolOf(subject);
  host::logLine(
      "Plugin> Subject %zu: the condition \"%s\" of %s gives the predictor \"%s\", the name of "
      "%s too. Prepare PPI Plugin aborted.",
      number, collision.condition.c_str(), protocol.c_str(), collision.name.c_str(),
      collision.other.c_str());
  report.error(subjectWhere(number, subject) + ", " + protocolWhere(subject),
               "the condition " + quoted(collision.condition) + " would give a predictor named " +
                   quoted(collision.name) + ", as " + collision.other +
                   " does; the host would write one into the other.",
               "Rename the condition " + quoted(collision.condition) +
                   " in the protocol (every condition needs a name of its own, other than "
                   "\"Constant\", \"<label>_predictor\" and the PPI names), then start again.");
  return false;
}

void reportContrastWarnings(const SubjectSettings& settings, const model::SubjectRecord& subject,
                            std::size_t number, Report& report) {
  if (settings.generalized()) return;
  const PlannedWeights planned = planConditionWeights(settings);
  std::vector<std::string> unnamed;
  for (std::size_t c = 0; c < planned.named.size(); ++c) {
    if (!planned.named[c]) unnamed.push_back(settings.conditionNames[c]);
  }
  const std::string where = subjectWhere(number, subject) + ", " + protocolWhere(subject);
  if (!unnamed.empty()) {
    report.warning(where,
                   "no \"CondID-\" entry names " + joinedNames(unnamed) +
                       "; it gets no weight in the contrast.",
                   "Check the condition's name and letter case against the dialog's lists.");
  }
  const std::string oneSided = oneSidedContrast(settings);
  if (!oneSided.empty()) {
    report.warning(where,
                   "one-sided contrast: no complementary regressor is made, and the "
                   "psychological regressor contrasts " +
                       oneSided + ".",
                   "Put the conditions to compare against into the other list, or keep this "
                   "contrast knowingly.");
  }
}

bool checkGroupDesign(const PredictorNames& predictors, bool multiStudy,
                      const model::SubjectRecord& subject, std::size_t number, GroupDesign& group,
                      Report& report) {
  if (!group.known) {
    group.known = true;
    group.predictors = predictors;
    group.firstWhere = subjectWhere(number, subject);
    return true;
  }
  const DesignDifference difference = firstDesignDifference(group.predictors, predictors);
  if (!difference.differs) return true;
  const std::string vtc = subject.timeCoursePath();
  const std::string where = subjectWhere(number, subject);
  const std::string what = "its predictor " + std::to_string(difference.index + 1) + " is " +
                           quoted(difference.other) + " where " + group.firstWhere + " has " +
                           quoted(difference.first) + " (" + std::to_string(predictors.size()) +
                           " against " + std::to_string(group.predictors.size()) + " predictors)";
  const char* todo =
      "Give every subject's protocol the same conditions, with the same names and letter case, "
      "and weight them alike.";
  if (multiStudy) {
    host::logLine(
        "Plugin> Subject %zu (%s): its design differs from the first subject's at predictor "
        "%zu, \"%s\" where the first has \"%s\". Prepare PPI Plugin aborted.",
        number, vtc.c_str(), difference.index + 1, difference.other.c_str(),
        difference.first.c_str());
    report.error(where, what + "; one multi-study file cannot hold both designs.", todo);
    return false;
  }
  host::logLine(
      "Plugin> Warning: subject %zu (%s): its design differs from the first subject's at "
      "predictor %zu, \"%s\" where the first has \"%s\".",
      number, vtc.c_str(), difference.index + 1, difference.other.c_str(),
      difference.first.c_str());
  report.warning(where, what + ".", todo);
  return true;
}

void reportDeconvolution(const DeconvolutionSummary& deconvolution,
                         const model::SubjectRecord& subject, std::size_t number, Report& report) {
  const std::string warning = separationWarning(deconvolution);
  if (warning.empty()) return;
  host::logLine("Plugin> Warning: subject %zu (%s): %s.", number,
                subject.timeCoursePath().c_str(), warning.c_str());
  report.warning(subjectWhere(number, subject), warning + ".");
}

void reportVoxelsOutside(int outside, int total, const std::string& voiName,
                         const model::SubjectRecord& subject, std::size_t number, Report& report) {
  if (outside <= 0) return;
  report.warning(subjectWhere(number, subject) + ", region " + quoted(voiName),
                 std::to_string(outside) + " of its " + std::to_string(total) +
                     " voxels lie outside the time course's grid; the signal is the mean of the " +
                     std::to_string(total - outside) + " inside.",
                 "Check that the region was drawn for this subject's time course.");
}

}  // namespace ppi::analysis
