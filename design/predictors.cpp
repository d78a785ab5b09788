#include "design/predictors.h"

namespace ppi::analysis {

std::int32_t weightOfEntry(const std::string& entry) {
  std::int32_t weight = -2;
  if (entry.find("list0") != std::string::npos) weight = -1;
  if (entry.find("list1") != std::string::npos) weight = 0;
  if (entry.find("list2") != std::string::npos) weight = 1;
  return weight;
}

}  // namespace ppi::analysis
