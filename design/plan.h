// The plan of one subject's design, computed once from its settings, its
// protocol's conditions and the region label before anything is added to the
// host: every predictor's name, role and source, in file order, and every
// condition's weight. The regressor code executes it in the host; the checks
// inspect it; the records and the QC report copy from it. The rule that maps a
// condition to its weight is written here and nowhere else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "design/predictors.h"
#include "design/runsettings.h"

namespace ppi::analysis {

// The weight a "CondID-" entry gives its condition: -1 for "list0", 0 for
// "list1", +1 for "list2", the last of these found winning; -2 when the entry
// names no list.
std::int32_t weightOfEntry(const std::string& entry);

// A protocol condition of one subject and the weight the design gives it.
struct ConditionWeight {
  std::string name;
  // Standard approach: some "CondID-" entry names the condition. Generalized
  // approach: true for every condition (the entry text says whether it is
  // modelled).
  bool named = false;
  std::string entryText;  // the entry whose weight it got, when named
  int weight = 0;         // -1, 0 or +1: the weight in the design
  // Standard approach: what the entry says, -1, 0, +1 or -2 (no list named).
  std::int32_t entryWeight = 0;
};

// Where a predictor's values come from.
enum class PredictorSource {
  weightedConditions,  // the box-car of the conditions' weights (standard approach)
  condition,           // the box-car of one condition (generalized approach)
  region,              // the region signal
  constant,            // 1 at every volume
};

struct PlannedPredictor {
  std::string name;
  PredictorRole role = PredictorRole::other;
  PredictorSource source = PredictorSource::constant;
  int condition = -1;  // the protocol condition (from 0), for PredictorSource::condition
};

struct DesignPlan {
  bool generalized = false;
  std::string label;  // the region label of the predictor names
  // Generalized approach: the first modelled condition, and whether the
  // "baseline" asked for was below 0 (every condition is then modelled).
  int baseline = 0;
  bool baselineBelowZero = false;
  int requestedBaseline = 0;  // the "baseline" as read
  std::vector<ConditionWeight> conditions;  // in protocol order
  std::vector<PlannedPredictor> predictors;  // in file order
  // Generalized approach: modelled by name ("gPPIConditions"), and the names
  // asked for that the protocol does not have.
  bool modelledByName = false;
  std::vector<std::string> unknownConditions;
  bool hasPositive = false;  // standard approach: some condition has weight +1
  bool hasNegative = false;  // ... and -1

  std::size_t ppiTerms() const;
  PredictorNames names() const;
  // The roles of a design's predictors as its file names them: a planned name
  // takes its planned role (each once); any other name is a merged motion
  // predictor.
  std::vector<PredictorRole> rolesOf(const std::vector<std::string>& fileNames) const;
};

// The plan of a subject's design. Standard approach: "PPI_<label>",
// "Psychological regressor" and, when both weight signs occur,
// "Complementary regressor"; generalized approach: "PPI_<condition>_<label>"
// for every modelled condition (those from the baseline on, or those the
// settings name), then one predictor named after each. Both end with
// "<label>_predictor" and "Constant".
DesignPlan planDesign(const SubjectSettings& settings, const std::string& label);

}  // namespace ppi::analysis
