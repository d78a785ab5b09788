// The provenance record of one design matrix: a JSON file beside it (named
// like it, ".json" for ".sdm") that tells how it was made, from what, and what
// it holds.
//
//   {
//     "plugin":   {"name", "version", "hostVersion", "created": "YYYY-MM-DDThh:mm:ssZ"},
//     "settings": {"approach": "standard" | "generalized", "baseline", "gPPIConditions": [names],
//                  "conditions": [{"name", "entry": text | null, "weight": -1 | 0 | 1 | "no
//                  entry"}], "conditionEntries": [texts], "label", "multiStudy": {"enabled",
//                  "path"}, "motion": {"merge", "zTransform", "model", "censorFD"},
//                  "method": {"interactionLevel",
//                  "regionSummary", "centrePsych"}},
//     "inputs":   {"timeCourse": {"path", "grid": {"x": [start, end], "y": [..], "z": [..]},
//                                 "resolution", "volumes", "sampleType": "int16" | "float32",
//                                 "checksum": 16 hex digits},
//                  "protocol": {"path": path | "linked to the time course", "conditions": [names]},
//                  "region": {"file", "name", "index", "voxelsListed", "voxelsInside"},
//                  "motion": {"path", "checksum", "meanFD", "maxFD",
//                             "censoredVolumes": [volumes from 1]} | null when not merged},
//     "signal":   {"mean", "standardDeviation", "eigenvariateShare" (with the first
//                  eigenvariate only)},
//     "deconvolution": {"penalty", "relativePenalty", "effectiveParameters", "volumes",
//                       "kernelVolumes", "gridEdge": "lowest" | "highest" | null,
//                       "factorCentre": "coupling weights" | "resolution diagonal" (once
//                       the terms are formed)}
//                      (at the neural level only),
//     "predictors": [{"name", "mean", "standardDeviation", "minimum", "maximum", "constant"}],
//     "correlations": {"names": [the varying predictors], "matrix": [[r, ...], ...],
//                      "vif": [{"name", "vif": number | "infinite"}]},
//     "warnings": [texts],
//     "findings": [{"id", "severity": "error" | "warning" | "note", "where", "what", "todo"}]
//   }
//
// The host's texts are written as UTF-8 by common/hosttext.h's rule (a path in
// a Windows code page, or in Latin-1, keeps its characters).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/report.h"
#include "numerics/designstats.h"
#include "report/runrecord.h"
#include "numerics/deconvolution.h"

namespace ppi::analysis {

enum class SampleType { int16, float32 };

struct TimeCourseInput {
  std::string path;
  std::int32_t xStart = 0, xEnd = 0, yStart = 0, yEnd = 0, zStart = 0, zEnd = 0;  // the grid
  std::int32_t resolution = 0;
  std::int32_t volumes = 0;
  SampleType sampleType = SampleType::float32;
  std::uint64_t checksum = 0;  // checksum64 of the samples as the host hands them out
};

struct ProtocolInput {
  std::string chosenPath;  // the protocol file the user chose; empty: linked to the time course
  std::vector<ConditionWeight> conditions;  // in protocol order, with their weights
};

struct RegionInput {
  std::string file;  // the region file
  std::string name;
  std::int32_t index = 0;  // within the region file, from 0
  std::int32_t voxelsListed = 0;
  std::int32_t voxelsInside = 0;  // of those, inside the time course's grid
};

struct MotionInput {
  bool merged = false;
  std::string path;            // the motion-estimates file, when merged
  std::uint64_t checksum = 0;  // checksum64 of its bytes
  double meanFD = 0.0;         // framewise displacement over the run, mm
  double maxFD = 0.0;
  std::vector<std::size_t> censored;  // volumes with a spike predictor, from 0
};

// The region's signal (mean or eigenvariate) before z-normalisation.
struct SignalSummary {
  double mean = 0;
  double standardDeviation = 0;
  double eigenvariateShare = -1;  // with the first eigenvariate, the variance it explains
};

struct ProvenanceInput {
  PluginIdentity plugin;
  std::int64_t createdUtc = 0;  // seconds since 1970-01-01 00:00:00 UTC
  SettingsRecord settings;
  TimeCourseInput timeCourse;
  ProtocolInput protocol;
  RegionInput region;
  MotionInput motion;
  SignalSummary signal;
  DeconvolutionSummary deconvolution;  // at the neural level
  DesignStats design;  // computeDesignStats of the saved predictors
  std::vector<std::string> warnings;  // the findings as the dialog lists them
  std::vector<Finding> findings;      // the subject's findings: checks, region, motion
};

// The "settings" object of a record as JSON text (no conditions' weights),
// for other files that name a run's settings.
std::string settingsJsonText(const SettingsRecord& settings);

// The record as JSON text, indented by two spaces, ending in a line feed.
// Numbers that are not finite (other than an infinite VIF) are written as null.
std::string provenanceJson(const ProvenanceInput& input);

}  // namespace ppi::analysis
