// The weight rule as the regressor code executes it in the host.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "run/regiontimecourse.h"
#include "run/regressors.h"
#include "commands/handlers.h"
#include "design/runsettings.h"
#include "common/checksum.h"
#include "common/filelayer.h"
#include "standin/designfile.h"
#include "run/readsettings.h"
#include "tests/support/runstudy.h"
#include "tests/support/studyfixture.h"
#include "tests/formats/sdmfiles.h"

namespace {

using analysistest::convolvedBoxCar;
using analysistest::Names;
using analysistest::numberedSubject;
using analysistest::plainRegionTimeCourse;
using analysistest::predictorValues;
using analysistest::SubjectSetup;
using testsupport::PluginHarness;
using analysistest::motionFiles;
using analysistest::numbered;
using analysistest::Study;

Names afterFiller(std::size_t count, const std::string& entry) {
  Names entries(count, "Houses list0");
  entries.push_back(entry);
  return entries;
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
      // The search ends after 1024 entries.
      {afterFiller(1023, "Faces list2"), 1, "    assigned weight 1 to Faces"},
      {afterFiller(1024, "Faces list2"), 0, unmatched},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.logged);
    testsupport::PluginHarness harness;
    harness.model.protocols["p.prt"].conditions = {{"Faces", {{1, 2}}}};
    ASSERT_EQ(harness.model.nkLoadProtocol("p.prt"), 1);
    for (std::size_t n = 0; n < row.entries.size(); ++n) {
      harness.model.stringParameters["CondID-" + std::to_string(n)] = row.entries[n];
    }
    ppi::analysis::PredictorName ppiName;
    ASSERT_TRUE(ppiName.assign("PPI_FFA"));
    const ppi::analysis::DesignPlan plan =
        ppi::analysis::planDesign(ppi::analysis::readSubjectSettings({"Faces"}), "FFA");
    ppi::analysis::assignConditionWeights(ppiName, plan);
    EXPECT_EQ(plan.conditions.at(0).weight, row.weight);
    EXPECT_EQ(harness.model.log.back(), row.logged);
  }

  // A condition without a name matches no entry (it is found in every text).
  testsupport::PluginHarness harness;
  ppi::analysis::SubjectSettings unnamed;
  unnamed.conditionNames = {""};
  unnamed.conditionEntries = {"Faces list2"};
  ppi::analysis::PredictorName ppiName;
  ASSERT_TRUE(ppiName.assign("PPI_FFA"));
  const ppi::analysis::DesignPlan plan = ppi::analysis::planDesign(unnamed, "FFA");
  ppi::analysis::assignConditionWeights(ppiName, plan);
  EXPECT_EQ(plan.conditions.at(0).weight, 0);
  EXPECT_EQ(harness.model.log.back(),
            "Plugin> No \"CondID-\" entry names the condition ; it gets no weight.");
}

}  // namespace
