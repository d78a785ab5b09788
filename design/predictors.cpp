#include "design/predictors.h"

namespace ppi::analysis {

const char* roleName(PredictorRole role) {
  switch (role) {
    case PredictorRole::regionSignal:
      return "region signal";
    case PredictorRole::task:
      return "task";
    case PredictorRole::ppiTerm:
      return "PPI";
    case PredictorRole::complementary:
      return "complementary";
    case PredictorRole::motion:
      return "motion";
    case PredictorRole::constant:
      return "constant";
    case PredictorRole::other:
      break;
  }
  return "other";
}

}  // namespace ppi::analysis
