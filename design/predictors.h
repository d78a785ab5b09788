// The vocabulary of a design's predictors: the limit of their names, the
// fixed names and the roles (numerics/designstats.h defines PredictorRole).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/boundedtext.h"
#include "numerics/designstats.h"

namespace ppi::analysis {

constexpr std::size_t kPredictorNameLimit = 300;
using PredictorName = FixedText<kPredictorNameLimit>;

// The names of the predictors added to the host's design matrix, in order.
using PredictorNames = std::vector<std::string>;

constexpr const char* kPsychologicalName = "Psychological regressor";
constexpr const char* kComplementaryName = "Complementary regressor";
constexpr const char* kConstantName = "Constant";

// "region signal", "task", "PPI", "complementary", "motion", "constant", "other".
const char* roleName(PredictorRole role);

}  // namespace ppi::analysis
