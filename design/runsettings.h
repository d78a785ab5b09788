// The settings of an analysis run, as values: those read or asked once when
// the run starts, and those read for each subject once its design matrix has
// been cleared (run/readsettings.h reads them). The regressor and
// design-matrix code take them as parameters and read no parameter themselves.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "design/methodoptions.h"
#include "common/boundedtext.h"
#include "design/motionmodel.h"

namespace ppi::analysis {

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
  // "moCoModel", "censorFD", "censorMaxPercent", "maxMeanFD": read when the
  // motion flag is 1
  confounds::MotionModel motionModel;
  MethodOptions method;    // "interactionLevel", "regionSummary", "centrePsych"
  // "gPPIConditions": the conditions the generalized approach models, by name
  // (the parameter holds them tab-separated); empty: those from "baseline" on.
  std::vector<std::string> modelledConditions;
};

// "A\tB\t\tC" as {"A", "B", "C"}: the names of a tab-separated list, empty
// ones left out.
std::vector<std::string> tabSeparatedNames(const std::string& text);

// The search for "CondID-%d" entries ends at the first empty entry and never
// goes past this many.
constexpr int kMaxConditionEntries = 1024;

struct SubjectSettings {
  int baseline = 0;  // "baseline": the first condition the generalized approach models
  int approach = 0;  // "whichapproach": 1 generalized, any other value standard
  // The names of the protocol's conditions, checked against those the subject
  // was added with.
  std::vector<std::string> conditionNames;
  // Under the standard approach: "CondID-0", "CondID-1", … up to the first
  // empty entry.
  std::vector<std::string> conditionEntries;
  // The run's "gPPIConditions" (RunSettings::modelledConditions).
  std::vector<std::string> modelledConditions;

  bool generalized() const { return approach == 1; }
};

}  // namespace ppi::analysis
