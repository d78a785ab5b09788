#include "analysis/regressors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "standin/designfile.h"
#include "tests/analysis/studyfixture.h"

namespace {

using analysistest::logHas;
using analysistest::predictorNames;
using analysistest::predictorValues;
using analysistest::SubjectSetup;
using testsupport::PluginHarness;
using Names = std::vector<std::string>;

void setEntries(standin::HostModel& model, const Names& entries) {
  for (std::size_t n = 0; n < entries.size(); ++n) {
    model.stringParameters["CondID-" + std::to_string(n)] = entries[n];
  }
}

std::vector<float> times(std::vector<float> values, const std::vector<float>& factor) {
  for (std::size_t t = 0; t < values.size(); ++t) values[t] *= factor[t];
  return values;
}

SubjectSetup faceSubject() {
  SubjectSetup setup;
  setup.grid = analysistest::GridSetup{100, 90, 110, 4, 4, 3, 2, 24, 2};
  setup.regions = {
      analysistest::regionOfCells("FFA", setup.grid, {{0, 0, 0}, {1, 2, 1}, {3, 3, 2}})};
  setup.protocol.conditions = {{"Faces", {{2, 4}, {14, 15}}},
                               {"Houses", {{6, 8}, {18, 19}}},
                               {"Face", {{10, 11}}},
                               {"Rest", {{12, 13}}},
                               {"Noise", {{21, 23}}}};
  return setup;
}

TEST(ConditionWeights, FirstEntryNamingTheConditionDecidesAndTheLastListWins) {
  struct Row {
    Names entries;
    int weight;          // in the weight table
    const char* logged;  // the weight line, or the line of an unmatched condition
  };
  const char* unmatched =
      "Plugin> No \"CondID-\" entry names the condition Faces; it gets no weight.";
  const Row rows[] = {
      {{"Faces: list0"}, -1, "    assigned weight -1 to Faces"},
      {{"Faces: list1"}, 0, "    assigned weight 0 to Faces"},
      {{"Faces: list2"}, 1, "    assigned weight 1 to Faces"},
      {{"Faces: list0 list2"}, 1, "    assigned weight 1 to Faces"},
      {{"Faces: list2 list1"}, 1, "    assigned weight 1 to Faces"},
      {{"list1 Faces list0"}, 0, "    assigned weight 0 to Faces"},
      {{"Faces"}, 0, "    assigned weight -2 to Faces"},
      {{"Houses: list0", "Faces: list2", "Faces: list0"}, 1, "    assigned weight 1 to Faces"},
      {{"faces: list2"}, 0, unmatched},
      {{}, 0, unmatched},
      {{"Houses: list0", "", "Faces: list2"}, 0, unmatched},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.logged);
    PluginHarness harness;
    harness.model.protocols["p.prt"].conditions = {{"Faces", {{1, 2}}}};
    ASSERT_EQ(harness.model.loadProtocol("p.prt"), 1);
    setEntries(harness.model, row.entries);
    ppi::PredictorName ppiName;
    ASSERT_TRUE(ppiName.assign("PPI_FFA"));
    ppi::ConditionWeights weights = ppi::assignConditionWeights(ppiName, 1);
    EXPECT_EQ(weights.weights, std::vector<std::int32_t>{row.weight});
    EXPECT_EQ(weights.hasPositive, row.weight == 1);
    EXPECT_EQ(weights.hasNegative, row.weight == -1);
    EXPECT_TRUE(logHas(harness.model, row.logged));
    EXPECT_EQ(harness.model.callsTo("nkSetPredictorValuesFromCondition").size(),
              row.weight != 0 ? 2u : 0u);
  }
}

TEST(StandardApproach, PredictorsValuesAndSavedFile) {
  SubjectSetup setup = faceSubject();
  PluginHarness harness;
  analysistest::addSubject(harness, setup);
  // "Face" occurs inside the earlier entry for "Faces" and takes its weight.
  setEntries(harness.model, {"Faces list2", "Houses list0", "Face list0", "Rest list1", "Noise"});
  harness.model.saveFileAnswers.push_back({true, "s1.sdm"});
  ASSERT_TRUE(harness.run("Start"));

  const standin::HostModel& model = harness.model;
  EXPECT_EQ(predictorNames(model), (Names{"PPI_FFA", "Psychological regressor",
                                          "Complementary regressor", "FFA_predictor", "Constant"}));
  for (const char* line : {"    assigned weight 1 to Faces", "    assigned weight -1 to Houses",
                           "    assigned weight 1 to Face", "    assigned weight 0 to Rest",
                           "    assigned weight -2 to Noise"}) {
    EXPECT_TRUE(logHas(model, line)) << line;
  }
  const std::vector<float> region = analysistest::plainRegionTimeCourse(setup);
  const std::vector<float> psychological =
      analysistest::convolvedBoxCar(setup, {1.0f, -1.0f, 1.0f, 0.0f, 0.0f});
  EXPECT_EQ(predictorValues(model, "Psychological regressor"), psychological);
  EXPECT_EQ(predictorValues(model, "PPI_FFA"), times(psychological, region));
  EXPECT_EQ(predictorValues(model, "Complementary regressor"),
            analysistest::convolvedBoxCar(setup, {1.0f, 1.0f, 1.0f, 0.0f, 0.0f}));
  EXPECT_EQ(predictorValues(model, "FFA_predictor"), region);
  EXPECT_EQ(predictorValues(model, "Constant"), std::vector<float>(24, 1.0f));
  EXPECT_TRUE(model.canariesIntact());

  std::string error;
  auto saved = standin::readDesignMatrixFile("s1.sdm", &error);
  ASSERT_TRUE(saved) << error;
  EXPECT_EQ(saved->names, predictorNames(model));
  for (std::size_t p = 0; p < saved->names.size(); ++p) {
    const std::vector<float> expected = predictorValues(model, saved->names[p]);
    ASSERT_EQ(saved->columns[p].size(), expected.size());
    for (std::size_t t = 0; t < expected.size(); ++t) {
      EXPECT_EQ(static_cast<float>(saved->columns[p][t]), expected[t]);
    }
  }
}

TEST(StandardApproach, ComplementaryRegressorOnlyWithBothSigns) {
  struct Row {
    Names entries;
    Names predictors;
  };
  const Row rows[] = {
      {{"Faces list2", "Houses list2", "Rest list1"},
       {"PPI_FFA", "Psychological regressor", "FFA_predictor", "Constant"}},
      {{"Faces list0", "Houses list1", "Rest"},
       {"PPI_FFA", "Psychological regressor", "FFA_predictor", "Constant"}},
      {{"Faces list1", "Houses list0", "Rest list2"},
       {"PPI_FFA", "Psychological regressor", "Complementary regressor", "FFA_predictor",
        "Constant"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.entries[0]);
    SubjectSetup setup = faceSubject();
    setup.protocol = analysistest::threeConditions();
    PluginHarness harness;
    analysistest::addSubject(harness, setup);
    setEntries(harness.model, row.entries);
    harness.model.saveFileAnswers.push_back({true, "s1.sdm"});
    ASSERT_TRUE(harness.run("Start"));
    EXPECT_EQ(predictorNames(harness.model), row.predictors);
  }
}

TEST(GeneralizedApproach, ModelsConditionsFromTheBaselineOn) {
  struct Row {
    int baseline;
    Names predictors;
  };
  const Row rows[] = {
      {1, {"PPI_c1_L", "PPI_c2_L", "c1", "c2", "L_predictor", "Constant"}},
      {0, {"PPI_c0_L", "PPI_c1_L", "PPI_c2_L", "c0", "c1", "c2", "L_predictor", "Constant"}},
      {3, {"L_predictor", "Constant"}},
      {7, {"L_predictor", "Constant"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("baseline " + std::to_string(row.baseline));
    SubjectSetup setup = faceSubject();
    setup.protocol = analysistest::threeConditions("c0", "c1", "c2");
    PluginHarness harness;
    analysistest::addSubject(harness, setup);
    standin::HostModel& model = harness.model;
    model.intParameters["whichapproach"] = 1;
    model.intParameters["baseline"] = row.baseline;
    model.intParameters["changePredName"] = 1;
    model.textAnswers.push_back({true, "L"});
    model.saveFileAnswers.push_back({true, "s1.sdm"});
    ASSERT_TRUE(harness.run("Start"));

    EXPECT_EQ(predictorNames(model), row.predictors);
    const std::vector<float> region = analysistest::plainRegionTimeCourse(setup);
    for (int c = std::max(row.baseline, 0); c < 3; ++c) {
      std::vector<float> perCondition(3, 0.0f);
      perCondition[static_cast<std::size_t>(c)] = 1.0f;
      const std::vector<float> boxCar = analysistest::convolvedBoxCar(setup, perCondition);
      const std::string name = "c" + std::to_string(c);
      EXPECT_EQ(predictorValues(model, name), boxCar);
      EXPECT_EQ(predictorValues(model, "PPI_" + name + "_L"), times(boxCar, region));
    }
    EXPECT_EQ(predictorValues(model, "L_predictor"), region);
    for (const standin::HostCall& call : model.callsTo("nkGetStringParameter")) {
      EXPECT_NE(call.arguments[0].rfind("CondID-", 0), 0u);
    }
    ASSERT_EQ(model.callsTo("nkGetSaveFileName").size(), 1u);
    EXPECT_EQ(model.callsTo("nkGetSaveFileName")[0].arguments[1], "genPPI_run1_L");
    EXPECT_TRUE(model.canariesIntact());
  }
}

}  // namespace
