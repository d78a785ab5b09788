// The run's provenance records and QC report: what the per-subject step
// learns (inputs, region signal, predictors, box-cars before convolution,
// warnings) is gathered here, a record is written beside every saved and every
// merged design matrix, and one report per run when the run ends, completed or
// stopped. Both are additive: the integer parameter "noReport" at 1 turns them
// off, and a failed write is a warning in the log and the command's report,
// never a failed run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/provenance.h"
#include "analysis/qcreport.h"
#include "analysis/regiontimecourse.h"
#include "analysis/regressors.h"
#include "analysis/runsettings.h"
#include "model/pluginstate.h"

namespace ppi::analysis {

// "<design>.json" for "<design>.sdm" (the extension in any letter case);
// ".json" appended to a path without it.
std::string recordPathFor(std::string_view designPath);

// The folder part of a path ("" for a bare file name), "/" or "\\" ending it.
std::string folderOf(std::string_view path);

// The first of "<folder>PPI_report.html", "<folder>PPI_report_2.html", ...
// that names nothing yet (through the file layer).
std::string freeReportPath(const std::string& folder);

// The roles of a design's predictors in file order: those the plug-in added
// (`added`, in the order added) get the role their place under the approach
// gives them; any other name (a merged motion predictor) is motion.
std::vector<PredictorRole> predictorRoles(const std::vector<std::string>& fileNames,
                                          const PredictorNames& added, bool generalized,
                                          std::size_t ppiTerms);

// The weights the "CondID-" entries give the protocol's conditions, with the
// entry each came from, as the standard approach assigns them; under the
// generalized approach every condition from the baseline on is modelled
// (weight 1) and those before it are not (weight 0).
std::vector<ConditionWeight> conditionWeights(const SubjectSettings& settings);

class RunRecorder {
 public:
  // Reads "noReport"; everything below does nothing when it is 1.
  RunRecorder(model::PluginState& state, const RunSettings& settings);
  ~RunRecorder();
  RunRecorder(const RunRecorder&) = delete;
  RunRecorder& operator=(const RunRecorder&) = delete;

  bool active() const { return active_; }

  void beginSubject(const model::Subject& subject);
  void noteRegion(const RegionTimeCourse& region);
  // At the neural level: how the region signal's deconvolution went, the
  // neural signal (centred) and the fit it makes of the region signal.
  void noteDeconvolution(const DeconvolutionSummary& deconvolution,
                         const std::vector<float>& neural, const std::vector<float>& reconvolved);
  // After the design matrix is assembled: the predictors read back from the host.
  void noteDesign(const SubjectSettings& settings, const PredictorNames& names);
  // The saved design matrix's record.
  void recordSaved(const PathText& savedPath);
  // The merged design matrix's record; it stands for the subject in the report.
  void recordMerged(const PathText& mergedPath, const std::string& motionPath);
  // Writes the report and publishes its path in "PPIReportFile".
  // `stoppedAt`: 0 when the run completed, else the subject (from 1) that stopped it.
  void finishRun(std::size_t stoppedAt);

  // Called by the regressor code before the host convolves a box-car: reads
  // the predictor's values (a read only) when a recorder is active.
  static void noteWeightedBoxCars(const char* predictor, const SubjectSettings& settings,
                                  const std::vector<std::int32_t>& weights);
  static void noteConditionBoxCar(const char* predictor, const std::string& condition);

 private:
  void writeRecord(const std::string& designPath, const std::vector<Predictor>& predictors,
                   const MotionInput& motion);
  void warn(const std::string& where, const std::string& what);
  std::vector<std::string> subjectWarnings() const;

  model::PluginState& state_;
  const RunSettings& settings_;
  bool active_ = false;
  PluginIdentity plugin_;
  std::int64_t started_ = 0;
  SettingsRecord runSettings_;
  bool haveRunSettings_ = false;

  // The subject under way.
  const model::Subject* subject_ = nullptr;
  std::size_t problemsBefore_ = 0;
  ProvenanceInput input_;
  std::vector<Predictor> hostPredictors_;
  PredictorNames added_;
  std::vector<ConditionBoxCar> boxCars_;
  std::vector<float> neural_, reconvolved_;
  bool generalized_ = false;
  std::size_t ppiTerms_ = 0;
  std::string firstSaved_;

  std::vector<SubjectReport> subjects_;
};

}  // namespace ppi::analysis
