// The vocabulary of a design's predictors: the limit of their names, the
// fixed names, and the weight a "CondID-" entry gives its condition.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/boundedtext.h"

namespace ppi::analysis {

constexpr std::size_t kPredictorNameLimit = 300;
using PredictorName = FixedText<kPredictorNameLimit>;

// The names of the predictors added to the host's design matrix, in order.
using PredictorNames = std::vector<std::string>;

constexpr const char* kPsychologicalName = "Psychological regressor";
constexpr const char* kComplementaryName = "Complementary regressor";
constexpr const char* kConstantName = "Constant";

// The weight a "CondID-" entry gives its condition: -1 for "list0", 0 for
// "list1", +1 for "list2", the last of these found winning; -2 when the entry
// names no list.
std::int32_t weightOfEntry(const std::string& entry);

}  // namespace ppi::analysis
