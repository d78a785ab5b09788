#include "standin/designfile.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "standin/hostmodel.h"
#include "tests/support/fakehost.h"

namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

// The host's save writes the layout the plug-in's reader counts on: five
// header items on lines 1, 3-6, colours on line 8, quoted names on line 9,
// one row per volume; the constant flag follows a last predictor "Constant".
TEST(DesignMatrixFile, HostSaveWritesTheLayoutTheMergeReads) {
  testsupport::ScopedWorkingDirectory dir;
  standin::HostModel model;
  standin::TimeCourse tc;
  tc.nrOfVolumes = 3;
  model.timeCourses["t.vtc"] = tc;
  ASSERT_EQ(model.nkLinkVTCToCurrentVMR("t.vtc", 1), 1);
  struct Row {
    std::vector<const char*> names;
    int hasConstant;
  };
  const Row rows[] = {
      {{"PPI_Seed", "Seed_predictor", "Constant"}, 1},
      {{"Constant", "PPI_Seed"}, 0},
      {{"PPI with blank"}, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.names.size());
    model.nkClearDesignMatrix();
    for (const char* name : row.names) {
      model.nkAddPredictor(name);
      float* values = model.nkGetPredictorByName(name);
      for (int t = 0; t < 3; ++t)
        values[t] = std::string(name) == "Constant" ? 1.0f : 0.5f * t - 0.125f;
    }
    model.nkSaveSingleStudyGLMDesignMatrix("d.sdm");
    const std::vector<std::string> l = lines(testsupport::readFile("d.sdm"));
    ASSERT_EQ(l.size(), 12u);
    EXPECT_EQ(l[0], "Version: 1");
    EXPECT_EQ(l[1], "");
    EXPECT_EQ(l[2], "Predictors: " + std::to_string(row.names.size()));
    EXPECT_EQ(l[3], "DataPoints: 3");
    EXPECT_EQ(l[4], "HasConstant: " + std::to_string(row.hasConstant));
    EXPECT_EQ(l[6], "");
    std::string names;
    for (const char* name : row.names) names += std::string("\"") + name + "\"\t";
    EXPECT_EQ(l[8], names);
    std::istringstream colours(l[7]);
    int component = 0, count = 0;
    while (colours >> component) ++count;
    EXPECT_EQ(count, 3 * static_cast<int>(row.names.size()));
    std::string why;
    auto read = standin::readDesignMatrixFile("d.sdm", &why);
    ASSERT_TRUE(read) << why;
    EXPECT_EQ(read->hasConstant, row.hasConstant == 1);
    ASSERT_EQ(read->names.size(), row.names.size());
    for (std::size_t p = 0; p < row.names.size(); ++p) {
      EXPECT_EQ(read->names[p], row.names[p]);
      for (int t = 0; t < 3; ++t) {
        EXPECT_EQ(read->columns[p][t], read->names[p] == "Constant" ? 1.0 : 0.5 * t - 0.125);
      }
    }
  }
}

TEST(DesignMatrixFile, WriterRefusesColumnsThatDoNotMatchTheNames) {
  testsupport::ScopedWorkingDirectory dir;
  standin::DesignMatrixFile ragged;
  ragged.names = {"a", "b"};
  ragged.columns = {{1.0, 2.0}, {1.0}};
  EXPECT_FALSE(standin::writeDesignMatrixFile("r.sdm", ragged));
  ragged.columns = {{1.0, 2.0}};
  EXPECT_FALSE(standin::writeDesignMatrixFile("r.sdm", ragged));
  ragged.columns = {{1.0, 2.0}, {3.0, 4.0}};
  EXPECT_TRUE(standin::writeDesignMatrixFile("r.sdm", ragged));
}

}  // namespace
