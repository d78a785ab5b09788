// The method of a run: how the region is summarised and at which level the
// interaction is formed. Three integer parameters, read once when the run
// starts; each 0 (or unset) keeps the plug-in's original recipe.
//
//   "interactionLevel"  0: the convolved psychological variable times the
//                       region signal (BOLD level); 1: the region signal
//                       deconvolved with the host's own response, times the
//                       unconvolved psychological variable, convolved by the
//                       host (neural level).
//   "regionSummary"     0: the region's mean; 1: its first eigenvariate.
//   "centrePsych"       0: the psychological factor as it is; 1: its mean
//                       over the run subtracted before the product. At the
//                       BOLD level only: at the neural level the factor is
//                       always centred (run/neuralppi.h).
#pragma once

#include "common/boundedtext.h"

namespace ppi::analysis {

struct MethodOptions {
  int interactionLevel = 0;
  int regionSummary = 0;
  int centrePsych = 0;

  bool neuralLevel() const { return interactionLevel == 1; }
  bool eigenvariate() const { return regionSummary == 1; }
  // Whether the psychological factor is centred before the product: at the
  // neural level always, at the BOLD level when asked.
  bool centred() const { return centrePsych == 1 || neuralLevel(); }
  bool any() const;
};

// One row per option: its parameter, its field, what its values 0 and 1 mean
// (in the log line), and its name in the QC report. Reading, the log line,
// the records and the report go through this table; a new option is a field
// above and a row here (and the dialog's choice in ppi_gui.js).
struct MethodOptionInfo {
  const char* parameter;
  int MethodOptions::*field;
  const char* meaning[2];
  const char* reportName;
};
constexpr MethodOptionInfo kMethodOptions[] = {
    {"interactionLevel", &MethodOptions::interactionLevel, {"BOLD", "neural"}, "interaction level"},
    {"regionSummary", &MethodOptions::regionSummary, {"mean", "first eigenvariate"},
     "region summary"},
    {"centrePsych", &MethodOptions::centrePsych, {"as is", "centred"}, "centre psychological"},
};

// "interactionLevel 0 (BOLD), regionSummary 0 (mean), centrePsych 1 (centred)"; at the neural
// level "centrePsych 0 (centred: always at the neural level)".
MessageText describeMethodOptions(const MethodOptions& options);

}  // namespace ppi::analysis
