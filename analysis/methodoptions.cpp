#include "analysis/methodoptions.h"

#include "host/hostapi.h"

namespace ppi::analysis {
namespace {

struct OptionParameter {
  const char* name;
  int MethodOptions::*field;
};

constexpr OptionParameter kParameters[] = {
    {"interactionLevel", &MethodOptions::interactionLevel},
    {"regionSummary", &MethodOptions::regionSummary},
    {"centrePsych", &MethodOptions::centrePsych},
};

}  // namespace

MethodOptionsRead readMethodOptions() {
  MethodOptionsRead read;
  for (const OptionParameter& parameter : kParameters) {
    const int value = host::getIntParameter(parameter.name);
    if (value != 0 && value != 1) {
      read.why.format("\"%s\" is %d; it takes 0 or 1", parameter.name, value);
      return read;
    }
    read.options.*parameter.field = value;
  }
  read.ok = true;
  return read;
}

MessageText describeMethodOptions(const MethodOptions& options) {
  MessageText text;
  text.format("interactionLevel %d (%s), regionSummary %d (%s), centrePsych %d (%s)",
              options.interactionLevel, options.neuralLevel() ? "neural" : "BOLD",
              options.regionSummary, options.eigenvariate() ? "first eigenvariate" : "mean",
              options.centrePsych,
              options.neuralLevel() ? "centred: always at the neural level"
                                    : (options.centred() ? "centred" : "as is"));
  return text;
}

}  // namespace ppi::analysis
