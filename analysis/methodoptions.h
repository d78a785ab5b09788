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
//                       always centred (analysis/neuralppi.h).
#pragma once

#include "common/boundedtext.h"

namespace ppi::analysis {

struct MethodOptions {
  int interactionLevel = 0;
  int regionSummary = 0;
  int centrePsych = 0;

  bool neuralLevel() const { return interactionLevel == 1; }
  bool eigenvariate() const { return regionSummary == 1; }
  // Whether the psychological factor is centred before the product.
  bool centred() const { return centrePsych == 1 || neuralLevel(); }
  bool any() const { return interactionLevel != 0 || regionSummary != 0 || centrePsych != 0; }
};

struct MethodOptionsRead {
  bool ok = false;
  MethodOptions options;
  MessageText why;  // empty when ok; otherwise the parameter whose value is unknown
};

// Reads the three parameters. Fails, saying which, for a value other than 0 or 1.
MethodOptionsRead readMethodOptions();

// "interactionLevel 0 (BOLD), regionSummary 0 (mean), centrePsych 1 (centred)"; at the neural
// level "centrePsych 0 (centred: always at the neural level)".
MessageText describeMethodOptions(const MethodOptions& options);

}  // namespace ppi::analysis
