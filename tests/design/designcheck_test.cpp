// The design checks of the run: colliding predictor names, one-sided
// contrasts, and where two subjects' designs first differ.
#include "design/designcheck.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ppi::analysis {
namespace {

SubjectSettings generalized(std::vector<std::string> names, int baseline = 0) {
  SubjectSettings settings;
  settings.approach = 1;
  settings.baseline = baseline;
  settings.conditionNames = std::move(names);
  return settings;
}

struct CollisionCase {
  const char* name;
  SubjectSettings settings;
  std::string label;
  std::string condition;  // empty: no collision
  std::string predictor;
};

class NameCollisionTest : public ::testing::TestWithParam<CollisionCase> {};

TEST_P(NameCollisionTest, NamesTheCondition) {
  const CollisionCase& c = GetParam();
  const NameCollision found = findNameCollision(planDesign(c.settings, c.label));
  EXPECT_EQ(found.collides(), !c.condition.empty());
  EXPECT_EQ(found.condition, c.condition);
  EXPECT_EQ(found.name, c.predictor);
}

SubjectSettings standardNamed(std::vector<std::string> names) {
  SubjectSettings settings;
  settings.conditionNames = std::move(names);
  return settings;
}

INSTANTIATE_TEST_SUITE_P(
    Designs, NameCollisionTest,
    ::testing::Values(
        CollisionCase{"distinct", generalized({"Rest", "Attend", "Passive"}), "Seed", "", ""},
        CollisionCase{"constant", generalized({"Rest", "Constant"}), "Seed", "Constant",
                      "Constant"},
        CollisionCase{"physiological", generalized({"Rest", "Seed_predictor"}), "Seed",
                      "Seed_predictor", "Seed_predictor"},
        CollisionCase{"ppi_name", generalized({"A", "PPI_A_Seed"}), "Seed", "PPI_A_Seed",
                      "PPI_A_Seed"},
        CollisionCase{"duplicate", generalized({"Rest", "Go", "Go"}), "Seed", "Go", "PPI_Go_Seed"},
        CollisionCase{"letter_case_differs", generalized({"go", "Go", "CONSTANT"}), "Seed", "", ""},
        CollisionCase{"duplicate_below_baseline", generalized({"Go", "Go", "Stop"}, 1), "Seed", "",
                      ""},
        CollisionCase{"constant_below_baseline", generalized({"Constant", "Go"}, 1), "Seed", "",
                      ""},
        CollisionCase{"negative_baseline_models_all", generalized({"Constant", "Go"}, -1), "Seed",
                      "Constant", "Constant"},
        // Under the standard approach conditions name no predictor.
        CollisionCase{"standard_constant", standardNamed({"Constant", "Constant"}), "Seed", "", ""},
        CollisionCase{"psychological_under_generalized", generalized({"Psychological regressor"}),
                      "Seed", "", ""}),
    [](const ::testing::TestParamInfo<CollisionCase>& info) { return info.param.name; });

struct ContrastCase {
  const char* name;
  std::vector<std::string> conditions;
  std::vector<std::string> entries;
  std::string oneSided;  // empty: no warning
  std::vector<bool> named;
};

class ContrastTest : public ::testing::TestWithParam<ContrastCase> {};

TEST_P(ContrastTest, SaysWhatThePsychologicalRegressorContrasts) {
  const ContrastCase& c = GetParam();
  SubjectSettings settings = standardNamed(c.conditions);
  settings.conditionEntries = c.entries;
  const DesignPlan plan = planDesign(settings, "Seed");
  EXPECT_EQ(oneSidedContrast(plan), c.oneSided);
  std::vector<bool> named;
  for (const ConditionWeight& condition : plan.conditions) named.push_back(condition.named);
  EXPECT_EQ(named, c.named);
  settings.approach = 1;
  EXPECT_EQ(oneSidedContrast(planDesign(settings, "Seed")), "")
      << "the generalized approach has no contrast";
}

INSTANTIATE_TEST_SUITE_P(
    Contrasts, ContrastTest,
    ::testing::Values(
        ContrastCase{"two_sided_with_list1",
                     {"Rest", "Attend", "Passive"},
                     {"Rest\tlist1", "Attend\tlist2", "Passive\tlist0"},
                     "",
                     {true, true, true}},
        ContrastCase{"only_list2",
                     {"Rest", "Attend", "Passive"},
                     {"Rest\tlist1", "Attend\tlist2", "Passive\tlist1"},
                     "\"Attend\" (list2) against \"Rest\" and \"Passive\" and the time no "
                     "condition covers",
                     {true, true, true}},
        ContrastCase{"only_list0_two_conditions",
                     {"A", "B", "C"},
                     {"A\tlist0", "B\tlist0", "C\tlist1"},
                     "\"A\" and \"B\" (list0) against \"C\" and the time no condition covers",
                     {true, true, true}},
        ContrastCase{"every_condition_one_side",
                     {"A", "B"},
                     {"A\tlist2", "B\tlist2"},
                     "\"A\" and \"B\" (list2) against the time no condition covers",
                     {true, true}},
        ContrastCase{"nothing_weighted", {"A", "B"}, {"A\tlist1", "B\tlist1"}, "", {true, true}},
        ContrastCase{"letter_case_unnamed",
                     {"attend", "Passive"},
                     {"Attend\tlist2", "Passive\tlist0"},
                     "\"Passive\" (list0) against \"attend\" and the time no condition covers",
                     {false, true}},
        // The first entry that holds the name decides, as in the run.
        ContrastCase{"first_entry_holding_name",
                     {"Face", "Faces"},
                     {"Faces\tlist2", "Face\tlist0"},
                     "\"Face\" and \"Faces\" (list2) against the time no condition covers",
                     {true, true}}),
    [](const ::testing::TestParamInfo<ContrastCase>& info) { return info.param.name; });

struct DifferenceCase {
  const char* name;
  PredictorNames first;
  PredictorNames other;
  bool differs;
  std::size_t index;
  std::string firstName;
  std::string otherName;
};

class DesignDifferenceTest : public ::testing::TestWithParam<DifferenceCase> {};

TEST_P(DesignDifferenceTest, FindsTheFirstPredictorThatDiffers) {
  const DifferenceCase& c = GetParam();
  const DesignDifference d = firstDesignDifference(c.first, c.other);
  EXPECT_EQ(d.differs, c.differs);
  if (!c.differs) return;
  EXPECT_EQ(d.index, c.index);
  EXPECT_EQ(d.first, c.firstName);
  EXPECT_EQ(d.other, c.otherName);
}

const PredictorNames kFive{"PPI_Seed", "Psychological regressor", "Complementary regressor",
                           "Seed_predictor", "Constant"};
const PredictorNames kFour{"PPI_Seed", "Psychological regressor", "Seed_predictor", "Constant"};

INSTANTIATE_TEST_SUITE_P(
    Designs, DesignDifferenceTest,
    ::testing::Values(DifferenceCase{"equal", kFive, kFive, false, 0, "", ""},
                      DifferenceCase{"no_complementary", kFive, kFour, true, 2,
                                     "Complementary regressor", "Seed_predictor"},
                      DifferenceCase{"letter_case",
                                     {"PPI_Attend_S", "Attend"},
                                     {"PPI_attend_S", "attend"},
                                     true,
                                     0,
                                     "PPI_Attend_S",
                                     "PPI_attend_S"},
                      DifferenceCase{
                          "shorter", {"A", "B", "C"}, {"A", "B"}, true, 2, "C", "(none)"},
                      DifferenceCase{"longer", {"A"}, {"A", "B"}, true, 1, "(none)", "B"},
                      DifferenceCase{"order", {"A", "B"}, {"B", "A"}, true, 0, "A", "B"}),
    [](const ::testing::TestParamInfo<DifferenceCase>& info) { return info.param.name; });

}  // namespace
}  // namespace ppi::analysis
