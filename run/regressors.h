// The task regressors and interaction (PPI) terms of one subject, built in the
// host's current design matrix: the host makes box-cars from protocol
// conditions and convolves them; the plug-in multiplies by the region signal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/boundedtext.h"
#include "design/predictors.h"
#include "design/runsettings.h"
#include "run/neuralppi.h"

namespace ppi::analysis {

// Adds a predictor to the host's design matrix and its name to `names`.
void addPredictor(PredictorNames& names, const char* name);

// Formats a predictor name. False, after one log line, when the name would be
// longer than kPredictorNameLimit characters.
bool formatPredictorName(PredictorName& name, const char* format, ...) PPI_PRINTF_FORMAT(2, 3);

// The host's values of a predictor, or null after one log line when the host
// has no predictor of that name.
float* predictorValues(const PredictorName& name);

// The weight of every protocol condition, -1, 0 or +1, read from the GUI's
// "CondID-%d" entries.
struct ConditionWeights {
  std::vector<std::int32_t> weights;
  bool hasPositive = false;
  bool hasNegative = false;
};

// Gives each condition the weight of the first "CondID-%d" entry that names it
// ("list0": -1, "list1": 0, "list2": +1, the last of these found winning; none:
// -2), logs it, and sets the weighted conditions' box-cars on the PPI predictor
// and "Psychological regressor". A condition that no entry names gets no
// weight, with a log line.
ConditionWeights assignConditionWeights(const PredictorName& ppiName,
                                        const SubjectSettings& settings);

// Standard approach: "PPI_<label>", "Psychological regressor" and, when both
// weight signs occur, "Complementary regressor"; the PPI term is formed as
// `interaction` says. False, after one log line, when a name does not fit or
// the host hands out no values.
bool buildStandardRegressors(const char* regionLabel, const SubjectSettings& settings,
                             const std::vector<float>& region, const InteractionInputs& interaction,
                             PredictorNames& names);

// Generalized approach: for every condition from the baseline on,
// "PPI_<condition>_<label>", then, in a second pass, one predictor named after
// each condition.
bool buildGeneralizedRegressors(const char* regionLabel, const SubjectSettings& settings,
                                const std::vector<float>& region,
                                const InteractionInputs& interaction, PredictorNames& names);

}  // namespace ppi::analysis
