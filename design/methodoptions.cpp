#include "design/methodoptions.h"

namespace ppi::analysis {
MessageText describeMethodOptions(const MethodOptions& options) {
  MessageText text;
  text.format("interactionLevel %d (%s), regionSummary %d (%s), centrePsych %d (%s)",
              options.interactionLevel, options.neuralLevel() ? "neural" : "BOLD",
              options.regionSummary, options.eigenvariate() ? "first eigenvariate" : "mean",
              options.centrePsych, options.centred() ? "centred" : "as is");
  return text;
}

}  // namespace ppi::analysis
