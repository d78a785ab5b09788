// The settings of one analysis run: asked or read once when the run starts and
// used unchanged for every subject.
#pragma once

#include <cstddef>
#include <string>

#include "common/boundedtext.h"

namespace ppi {

// A label text longer than this could not fit "%s_predictor" into a predictor
// name; the run refuses it.
constexpr std::size_t kLabelLimit = 290;

struct RunSettings {
  bool labelFlag = false;  // "changePredName" non-zero: the label text names the region
  std::string labelText;   // at most kLabelLimit characters
  bool mdmMode = false;    // "saveMDM" non-zero: save beside the multi-study file
  PathText mdmPath;        // the multi-study file's path, in MDM mode
  int motionFlag = 0;      // "addMoCo": only 1 merges the motion predictors
  int zFlag = 0;           // "zMC", passed on to the motion merge
};

}  // namespace ppi
