// What a run records about itself for the provenance records beside its design
// matrices and for its QC report: the plug-in, the settings, the conditions'
// weights, the date.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "design/methodoptions.h"
#include "design/plan.h"

namespace ppi::analysis {

struct PluginIdentity {
  std::string name;
  std::string version;
  std::string hostVersion;
};

enum class Approach { standard, generalized };

// The run's settings, as read when it started.
struct SettingsRecord {
  Approach approach = Approach::standard;
  int baseline = 0;  // generalized approach: the first modelled condition, from 0
  // generalized approach: the conditions modelled by name ("gPPIConditions"); empty: none named
  std::vector<std::string> modelledConditions;
  // The texts of the "CondID-0", "CondID-1", ... entries the run read, in order.
  std::vector<std::string> conditionEntries;
  std::string label;  // the label text naming the region in predictor names; empty: none
  bool multiStudy = false;
  std::string multiStudyPath;  // the multi-study file, in multi-study mode
  bool motionMerge = false;    // the motion predictors are merged into a second design
  bool zTransform = false;     // ... z-transformed
  int motionModel = 6;         // continuous motion columns merged: 6, 12 or 24
  double censorFD = 0.0;       // mm; volumes of larger displacement get a spike; 0: none
  MethodOptions method;
};

// A date and time in UTC as ISO 8601, "YYYY-MM-DDThh:mm:ssZ", from seconds
// since 1970-01-01 00:00:00 UTC (earlier times too). Computed here, not by
// the C library, so that every system gives the same text.
std::string isoUtc(std::int64_t secondsSinceEpoch);

}  // namespace ppi::analysis
