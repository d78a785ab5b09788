#include "analysis/regressors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/analysis/studyfixture.h"

namespace {

using analysistest::logHas;
using analysistest::Names;
using analysistest::predictorNames;
using analysistest::predictorValues;
using analysistest::SubjectSetup;
using testsupport::PluginHarness;

void setEntries(standin::HostModel& model, const Names& entries) {
  for (std::size_t n = 0; n < entries.size(); ++n) {
    model.stringParameters["CondID-" + std::to_string(n)] = entries[n];
  }
}

TEST(ConditionWeights, FirstEntryNamingTheConditionDecidesAndTheLastListWins) {
  const char* unmatched =
      "Plugin> No \"CondID-\" entry names the condition Faces; it gets no weight.";
  const struct {
    Names entries;
    int weight;          // in the weight table
    const char* logged;  // the weight line, or the line of an unmatched condition
  } rows[] = {
      {{"Faces: list0"}, -1, "    assigned weight -1 to Faces"},
      {{"Faces: list1"}, 0, "    assigned weight 0 to Faces"},
      {{"Faces: list0 list2"}, 1, "    assigned weight 1 to Faces"},
      {{"Faces: list2 list1"}, 1, "    assigned weight 1 to Faces"},
      {{"list1 Faces list0"}, 0, "    assigned weight 0 to Faces"},
      {{"Faces"}, 0, "    assigned weight -2 to Faces"},
      {{"Houses: list0", "Faces: list2", "Faces: list0"}, 1, "    assigned weight 1 to Faces"},
      {{"faces: list2"}, 0, unmatched},
      {{}, 0, unmatched},
      {{"Houses: list0", "", "Faces: list2"}, 0, unmatched},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.logged);
    PluginHarness harness;
    harness.model.protocols["p.prt"].conditions = {{"Faces", {{1, 2}}}};
    ASSERT_EQ(harness.model.loadProtocol("p.prt"), 1);
    setEntries(harness.model, row.entries);
    ppi::PredictorName ppiName;
    ASSERT_TRUE(ppiName.assign("PPI_FFA"));
    const ppi::ConditionWeights weights = ppi::assignConditionWeights(ppiName, 1);
    EXPECT_EQ(weights.weights, std::vector<std::int32_t>{row.weight});
    EXPECT_EQ(weights.hasPositive, row.weight == 1);
    EXPECT_EQ(weights.hasNegative, row.weight == -1);
    EXPECT_EQ(harness.model.log.back(), row.logged);
    EXPECT_EQ(harness.model.callsTo("nkSetPredictorValuesFromCondition").size(),
              row.weight != 0 ? 2u : 0u);
  }
}

TEST(StandardApproach, PredictorsAndValuesWithAndWithoutTheComplementaryRegressor) {
  const Names all = {"PPI_FFA", "Psychological regressor", "Complementary regressor",
                     "FFA_predictor", "Constant"};
  const Names oneSign = {"PPI_FFA", "Psychological regressor", "FFA_predictor", "Constant"};
  // Conditions Faces, Houses, Face; "Face" occurs inside the earlier entry for
  // "Faces" and takes its weight.
  const struct {
    Names entries;
    std::vector<float> weights;
    Names predictors;
  } rows[] = {
      {{"Faces list2", "Houses list0", "Face list1"}, {1, -1, 1}, all},
      {{"Faces list2", "Houses list2", "Face list1"}, {1, 1, 1}, oneSign},
      {{"Faces list0", "Houses list1", "Face"}, {-1, 0, -1}, oneSign},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.entries[0] + ", " + row.entries[1]);
    const SubjectSetup setup = analysistest::numberedSubject(1, {"Faces", "Houses", "Face"});
    PluginHarness harness;
    analysistest::addSubject(harness, setup);
    const standin::HostModel& model = harness.model;
    setEntries(harness.model, row.entries);
    harness.model.saveFileAnswers.push_back({true, "s1.sdm"});
    ASSERT_TRUE(harness.run("Start"));

    EXPECT_EQ(predictorNames(model), row.predictors);
    for (std::size_t c = 0; c < 3; ++c) {
      EXPECT_TRUE(logHas(model, "    assigned weight " + std::to_string(int(row.weights[c])) +
                                    " to " + setup.protocol.conditions[c].name));
    }
    const std::vector<float> region = analysistest::plainRegionTimeCourse(setup);
    const std::vector<float> psychological = analysistest::convolvedBoxCar(setup, row.weights);
    EXPECT_EQ(predictorValues(model, "Psychological regressor"), psychological);
    EXPECT_EQ(predictorValues(model, "PPI_FFA"), analysistest::times(psychological, region));
    if (row.predictors == all) {
      EXPECT_EQ(predictorValues(model, "Complementary regressor"),
                analysistest::convolvedBoxCar(setup, {1, 1, 1}));
    }
    EXPECT_EQ(predictorValues(model, "FFA_predictor"), region);
    EXPECT_EQ(predictorValues(model, "Constant"), std::vector<float>(24, 1.0f));
    EXPECT_TRUE(model.canariesIntact());
  }
}

TEST(GeneralizedApproach, ModelsConditionsFromTheBaselineOn) {
  const struct {
    int baseline;
    Names predictors;
  } rows[] = {
      {1, {"PPI_c1_L", "PPI_c2_L", "c1", "c2", "L_predictor", "Constant"}},
      {0, {"PPI_c0_L", "PPI_c1_L", "PPI_c2_L", "c0", "c1", "c2", "L_predictor", "Constant"}},
      {3, {"L_predictor", "Constant"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.baseline);
    const SubjectSetup setup = analysistest::numberedSubject(2, {"c0", "c1", "c2"});
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
    for (int c = row.baseline; c < 3; ++c) {
      std::vector<float> values(3, 0.0f);
      values[static_cast<std::size_t>(c)] = 1.0f;
      const std::vector<float> boxCar = analysistest::convolvedBoxCar(setup, values);
      const std::string name = "c" + std::to_string(c);
      EXPECT_EQ(predictorValues(model, name), boxCar);
      EXPECT_EQ(predictorValues(model, "PPI_" + name + "_L"), analysistest::times(boxCar, region));
    }
    EXPECT_EQ(predictorValues(model, "L_predictor"), region);
    EXPECT_FALSE(logHas(model, "CondID"));
    EXPECT_TRUE(model.canariesIntact());
  }
}

}  // namespace
