#include "design/motionmodel.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace ppi::confounds {
namespace {

// A threshold as the dialog writes it: "%g" without trailing zeros.
std::string thresholdText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

bool parseNumber(std::string_view text, double fallback, double& value) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty()) {
    value = fallback;
    return true;
  }
  const char* end = text.data() + text.size();
  const std::from_chars_result read = std::from_chars(text.data(), end, value);
  return read.ec == std::errc() && read.ptr == end && std::isfinite(value) && value >= 0.0;
}

}  // namespace

std::string motionModelTag(const MotionModel& model) {
  std::string tag;
  if (model.expansion != 6) tag += "_" + std::to_string(model.expansion) + "p";
  if (model.censorFD > 0.0) tag += "_fd" + thresholdText(model.censorFD);
  return tag;
}

Result<MotionModel> parseMotionModel(int expansion, std::string_view censorFD,
                                     std::string_view maxPercent, std::string_view maxMeanFD) {
  MotionModel read;
  if (expansion == 0) expansion = 6;
  if (expansion != 6 && expansion != 12 && expansion != 24) {
    return fail("\"moCoModel\" is " + std::to_string(expansion) + "; it must be 6, 12 or 24");
  }
  read.expansion = expansion;
  auto refuse = [](const char* setting, std::string_view text, const char* unit) {
    return fail(std::string("\"") + setting + "\" is \"" + std::string(text) +
                "\"; it must be a number of " + unit + " of at least 0");
  };
  if (!parseNumber(censorFD, 0.0, read.censorFD)) return refuse("censorFD", censorFD, "mm");
  double percent = read.maxCensoredShare * 100.0;
  if (!parseNumber(maxPercent, percent, percent) || percent > 100.0) {
    return fail("\"censorMaxPercent\" is \"" + std::string(maxPercent) +
                "\"; it must be a percentage from 0 to 100");
  }
  read.maxCensoredShare = percent / 100.0;
  if (!parseNumber(maxMeanFD, read.maxMeanFD, read.maxMeanFD)) {
    return refuse("maxMeanFD", maxMeanFD, "mm");
  }
  return read;
}

}  // namespace ppi::confounds
