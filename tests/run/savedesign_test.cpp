// The read-back of a saved design matrix: the values in the file must be the
// plug-in's to the precision the format writes them with.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "run/savedesign.h"

namespace {

using ppi::analysis::designDifference;
using ppi::analysis::Predictor;

std::string written(float value, const char* format) {
  char text[64];
  std::snprintf(text, sizeof text, format, static_cast<double>(value));
  return text;
}

TEST(SavedDesignReadBack, ValuesMatchToTheWrittenPrecisionOnly) {
  const struct {
    const char* name;
    float set;
    double read;
    bool same;
  } rows[] = {
      {"written with %g", 0.123456789f, std::stod(written(0.123456789f, "%g")), true},
      {"a large value with %g", 98765.4321f, std::stod(written(98765.4321f, "%g")), true},
      {"a small value with %g", 1.23456789e-7f, std::stod(written(1.23456789e-7f, "%g")), true},
      {"written with %.9g", -2.718281828f, std::stod(written(-2.718281828f, "%.9g")), true},
      {"a tiny value in six decimals", 3e-8f, std::stod(written(3e-8f, "%f")), true},
      {"zero", 0.0f, 0.0, true},
      {"off in the fifth digit", 0.123456f, 0.123466, false},
      {"the sign flipped", 0.75f, -0.75, false},
      {"off by one in a box-car", 1.0f, 0.0, false},
  };
  for (const auto& row : rows) {
    ppi::confounds::DesignMatrixFile file;
    file.names = {"p"};
    file.columns = {{0.5, row.read}};
    const std::vector<Predictor> expected = {{"p", {0.5f, row.set}}};
    const std::string difference = designDifference(file, expected);
    EXPECT_EQ(difference.empty(), row.same) << row.name << ": " << difference;
    if (!row.same) {
      EXPECT_NE(difference.find("at volume 2"), std::string::npos) << difference;
    }
  }
}

TEST(SavedDesignReadBack, NamesAndCountsAreTheFirstDifference) {
  ppi::confounds::DesignMatrixFile file;
  file.names = {"a", "b"};
  file.columns = {{1.0}, {2.0}};
  const struct {
    const char* name;
    std::vector<Predictor> expected;
    const char* difference;
  } rows[] = {
      {"the same", {{"a", {1.0f}}, {"b", {2.0f}}}, ""},
      {"another order", {{"b", {2.0f}}, {"a", {1.0f}}}, "predictor 1 is \"a\" instead of \"b\""},
      {"one predictor more", {{"a", {1.0f}}, {"b", {2.0f}}, {"c", {3.0f}}},
       "it holds 2 predictors instead of 3"},
      {"another length", {{"a", {1.0f, 1.0f}}, {"b", {2.0f, 2.0f}}},
       "predictor \"a\" has 1 values instead of 2"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(designDifference(file, row.expected), row.difference) << row.name;
  }
}

}  // namespace
