#include "analysis/regressors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/analysis/studyfixture.h"

namespace {

using analysistest::Names;

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
    ASSERT_EQ(harness.model.loadProtocol("p.prt"), 1);
    for (std::size_t n = 0; n < row.entries.size(); ++n) {
      harness.model.stringParameters["CondID-" + std::to_string(n)] = row.entries[n];
    }
    ppi::PredictorName ppiName;
    ASSERT_TRUE(ppiName.assign("PPI_FFA"));
    EXPECT_EQ(ppi::assignConditionWeights(ppiName, 1).weights,
              std::vector<std::int32_t>{row.weight});
    EXPECT_EQ(harness.model.log.back(), row.logged);
  }
}

}  // namespace
