// The task regressors and interaction (PPI) terms of one subject, built in the
// host's current design matrix as the subject's design plan says: the host
// makes box-cars from protocol conditions and convolves them; the plug-in
// multiplies by the region signal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/boundedtext.h"
#include "common/outcome.h"
#include "design/plan.h"
#include "design/predictors.h"
#include "report/qcreport.h"
#include "run/neuralppi.h"

namespace ppi::analysis {

// Adds a predictor to the host's design matrix and its name to `names`.
void addPredictor(PredictorNames& names, const char* name);

// Formats a predictor name. Fails, after one log line, when the name would be
// longer than kPredictorNameLimit characters.
Outcome formatPredictorName(PredictorName& name, const char* format, ...) PPI_PRINTF_FORMAT(2, 3);

// The host's values of a predictor (never null); fails after one log line
// when the host has no predictor of that name.
Result<float*> predictorValues(const PredictorName& name);

// The weighted conditions' box-cars, read before the host convolves them,
// for the QC report; null when nobody keeps them.
using BoxCars = std::vector<ConditionBoxCar>;

// Logs each condition's weight as the plan gives it (a condition no
// "CondID-" entry names gets a line saying so) and sets the box-cars of the
// conditions weighted -1 or +1 on the PPI predictor and "Psychological
// regressor".
void assignConditionWeights(const PredictorName& ppiName, const DesignPlan& plan);

// The plan's task regressors and PPI terms in the host, the PPI terms formed
// as `interaction` says. Standard approach: "PPI_<label>", "Psychological
// regressor" and, when both weight signs occur, "Complementary regressor".
// Generalized approach: "PPI_<condition>_<label>" for every modelled
// condition, then, in a second pass, one predictor named after each. Fails,
// after one log line, when a name does not fit or the host hands out no values.
Outcome buildStandardRegressors(const DesignPlan& plan, const std::vector<float>& region,
                                InteractionInputs& interaction, PredictorNames& names,
                                BoxCars* boxCars);
Outcome buildGeneralizedRegressors(const DesignPlan& plan, const std::vector<float>& region,
                                   InteractionInputs& interaction, PredictorNames& names,
                                   BoxCars* boxCars);

}  // namespace ppi::analysis
