// The design plan: every predictor's name, role and source, and every
// condition's weight, as the regressor code then builds them.
#include "design/plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ppi::analysis {
namespace {

using Names = std::vector<std::string>;
using Roles = std::vector<PredictorRole>;
constexpr auto kPpi = PredictorRole::ppiTerm;
constexpr auto kTask = PredictorRole::task;
constexpr auto kComp = PredictorRole::complementary;
constexpr auto kSignal = PredictorRole::regionSignal;
constexpr auto kConst = PredictorRole::constant;

SubjectSettings settingsOf(int approach, int baseline, Names conditions, Names entries) {
  SubjectSettings settings;
  settings.approach = approach;
  settings.baseline = baseline;
  settings.conditionNames = std::move(conditions);
  settings.conditionEntries = std::move(entries);
  return settings;
}

struct PlanCase {
  const char* name;
  SubjectSettings settings;
  Names predictors;
  Roles roles;
  std::vector<int> weights;  // per condition
  std::vector<int> sources;  // per predictor: its condition, -1 for none
};

class PlanTest : public ::testing::TestWithParam<PlanCase> {};

TEST_P(PlanTest, NamesRolesSourcesAndWeights) {
  const PlanCase& c = GetParam();
  const DesignPlan plan = planDesign(c.settings, "L");
  EXPECT_EQ(plan.names(), c.predictors);
  Roles roles;
  std::vector<int> sources;
  for (const PlannedPredictor& predictor : plan.predictors) {
    roles.push_back(predictor.role);
    sources.push_back(predictor.condition);
  }
  EXPECT_EQ(roles, c.roles);
  EXPECT_EQ(sources, c.sources);
  std::vector<int> weights;
  for (const ConditionWeight& condition : plan.conditions) weights.push_back(condition.weight);
  EXPECT_EQ(weights, c.weights);
  std::size_t ppi = 0;
  for (PredictorRole role : c.roles) ppi += role == kPpi ? 1 : 0;
  EXPECT_EQ(plan.ppiTerms(), ppi);
}

INSTANTIATE_TEST_SUITE_P(
    Designs, PlanTest,
    ::testing::Values(
        PlanCase{"standard_two_sided",
                 settingsOf(0, 0, {"Rest", "Attend", "Passive"},
                            {"Rest\tlist1", "Attend\tlist2", "Passive\tlist0"}),
                 {"PPI_L", "Psychological regressor", "Complementary regressor", "L_predictor",
                  "Constant"},
                 {kPpi, kTask, kComp, kSignal, kConst},
                 {0, 1, -1},
                 {-1, -1, -1, -1, -1}},
        PlanCase{"standard_one_sided",
                 settingsOf(0, 0, {"Rest", "Attend"}, {"Attend\tlist2"}),
                 {"PPI_L", "Psychological regressor", "L_predictor", "Constant"},
                 {kPpi, kTask, kSignal, kConst},
                 {0, 1},
                 {-1, -1, -1, -1}},
        // An entry naming no list weighs nothing in the design.
        PlanCase{"standard_entry_without_list",
                 settingsOf(0, 0, {"A", "B"}, {"A", "B\tlist0"}),
                 {"PPI_L", "Psychological regressor", "L_predictor", "Constant"},
                 {kPpi, kTask, kSignal, kConst},
                 {0, -1},
                 {-1, -1, -1, -1}},
        PlanCase{"generalized_baseline_1",
                 settingsOf(1, 1, {"c0", "c1", "c2"}, {}),
                 {"PPI_c1_L", "PPI_c2_L", "c1", "c2", "L_predictor", "Constant"},
                 {kPpi, kPpi, kTask, kTask, kSignal, kConst},
                 {0, 1, 1},
                 {1, 2, 1, 2, -1, -1}},
        PlanCase{"generalized_negative_baseline_models_all",
                 settingsOf(1, -3, {"c0", "c1"}, {}),
                 {"PPI_c0_L", "PPI_c1_L", "c0", "c1", "L_predictor", "Constant"},
                 {kPpi, kPpi, kTask, kTask, kSignal, kConst},
                 {1, 1},
                 {0, 1, 0, 1, -1, -1}},
        PlanCase{"generalized_baseline_past_the_end",
                 settingsOf(1, 2, {"c0", "c1"}, {}),
                 {"L_predictor", "Constant"},
                 {kSignal, kConst},
                 {0, 0},
                 {-1, -1}},
        PlanCase{"no_conditions",
                 settingsOf(0, 0, {}, {"A\tlist2"}),
                 {"PPI_L", "Psychological regressor", "L_predictor", "Constant"},
                 {kPpi, kTask, kSignal, kConst},
                 {},
                 {-1, -1, -1, -1}}),
    [](const ::testing::TestParamInfo<PlanCase>& info) { return info.param.name; });

TEST(DesignPlan, RolesOfAMergedFileComeFromThePlanAndTheRestIsMotion) {
  const DesignPlan plan = planDesign(
      settingsOf(0, 0, {"A", "B"}, {"A\tlist2", "B\tlist0"}), "Seed");
  const Names file{"PPI_Seed", "Psychological regressor", "Complementary regressor",
                   "Seed_predictor", "Translation X", "Rotation Z", "Constant", "Constant"};
  EXPECT_EQ(plan.rolesOf(file),
            (Roles{kPpi, kTask, kComp, kSignal, PredictorRole::motion, PredictorRole::motion,
                   kConst, PredictorRole::motion}))
      << "each planned name takes its role once; a second \"Constant\" is not the plan's";
}

TEST(DesignPlan, TheWeightRuleTakesTheFirstEntryHoldingTheNameAndTheLastListInIt) {
  const struct {
    Names entries;
    bool named;
    int entryWeight;
    int weight;
  } rows[] = {
      {{"Faces: list0"}, true, -1, -1},
      {{"Faces: list1"}, true, 0, 0},
      {{"Faces: list0 list2"}, true, 1, 1},
      {{"Faces: list2 list1"}, true, 1, 1},
      {{"Faces"}, true, -2, 0},
      {{"Houses: list0", "Faces: list2", "Faces: list0"}, true, 1, 1},
      {{"faces: list2"}, false, 0, 0},
      {{}, false, 0, 0},
  };
  for (const auto& row : rows) {
    const DesignPlan plan = planDesign(settingsOf(0, 0, {"Faces"}, row.entries), "L");
    const ConditionWeight& faces = plan.conditions.at(0);
    EXPECT_EQ(faces.named, row.named);
    EXPECT_EQ(faces.entryWeight, row.entryWeight);
    EXPECT_EQ(faces.weight, row.weight);
  }
  // A condition without a name matches no entry (it is found in every text).
  EXPECT_FALSE(planDesign(settingsOf(0, 0, {""}, {"x list2"}), "L").conditions.at(0).named);
}

}  // namespace
}  // namespace ppi::analysis
