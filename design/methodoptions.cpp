#include "design/methodoptions.h"

#include <string>

namespace ppi::analysis {

bool MethodOptions::any() const {
  for (const MethodOptionInfo& option : kMethodOptions) {
    if (this->*option.field != 0) return true;
  }
  return false;
}

MessageText describeMethodOptions(const MethodOptions& options) {
  std::string text;
  for (const MethodOptionInfo& option : kMethodOptions) {
    const int value = options.*option.field;
    if (!text.empty()) text += ", ";
    // At the neural level the factor is centred whatever the option says.
    const bool alwaysCentred =
        option.field == &MethodOptions::centrePsych && options.neuralLevel();
    text += std::string(option.parameter) + " " + std::to_string(value) + " (" +
            (alwaysCentred ? "centred: always at the neural level"
                           : option.meaning[value == 1 ? 1 : 0]) +
            ")";
  }
  MessageText described;
  described.format("%s", text.c_str());
  return described;
}

}  // namespace ppi::analysis
