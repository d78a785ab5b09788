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

#include "report/provenance.h"
#include "report/qcreport.h"
#include "run/regiontimecourse.h"
#include "design/plan.h"
#include "run/regressors.h"
#include "design/runsettings.h"
#include "design/motionmodel.h"
#include "numerics/motionmeasures.h"
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

// The settings a record names for a run and one of its subjects.
SettingsRecord settingsRecord(const RunSettings& run, const SubjectSettings& subject);

// The plug-in and the host it runs in, as records and reports name them.
PluginIdentity runningPlugin();

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
  // Where the regressor code leaves the weighted conditions' box-cars before
  // convolution for the subject under way; null when no recorder is active.
  BoxCars* boxCars() { return active_ && subject_ != nullptr ? &boxCars_ : nullptr; }
  // After the design matrix is assembled: its plan and the predictors read
  // back from the host.
  void noteDesign(const SubjectSettings& settings, const DesignPlan& plan,
                  const std::vector<Predictor>& predictors, const DesignStats& stats);
  // At the neural level: how the region signal's deconvolution went, the
  // neural signal (centred) and the fit it makes of the region signal.
  void noteDeconvolution(const DeconvolutionSummary& deconvolution,
                         const std::vector<float>& neural, const std::vector<float>& reconvolved);
  // At the neural level, once the terms are formed: the weights their factor
  // was centred on.
  void noteFactorCentre(FactorCentre centre);
  // The saved design matrix's record.
  void recordSaved(const PathText& savedPath);
  // A subject whose design was not saved (a check found an error): it is in
  // the report with its findings, and has no record.
  void recordNotSaved();
  // The merged design matrix's record; it stands for the subject in the report.
  // `motion`, when given, is the subject's displacement and censoring.
  void recordMerged(const PathText& mergedPath, const std::string& motionPath,
                    const numerics::MotionSummary* motion = nullptr);
  // Writes the report and publishes its path in "PPIReportFile".
  // `stoppedAt`: 0 when the run completed, else the subject (from 1) that stopped it.
  // `notListed`: the subjects whose design has an error. `stopReason`: why
  // the run stopped, as the stopping step gave it.
  void finishRun(std::size_t stoppedAt, const std::vector<std::string>& notListed = {},
                 const std::string& stopReason = {});
  // The report finishRun wrote (its summary page); empty when none was.
  const std::string& reportPath() const { return reportPath_; }
  // The subject pages of that report that were written.
  const std::vector<std::string>& reportPages() const { return reportPages_; }

 private:
  void writeRecord(const std::string& designPath, const DesignStats& stats,
                   const MotionInput& motion);
  void warn(const std::string& where, const std::string& what);
  // The findings of the subject under way, as the command's report has them.
  std::vector<Finding> subjectFindings() const;
  SubjectReport subjectReport(const std::string& designFile) const;

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
  DesignStats hostStats_;
  DesignPlan plan_;
  BoxCars boxCars_;
  std::vector<float> neural_, reconvolved_;
  std::string firstSaved_;
  std::string reportPath_;
  std::vector<std::string> reportPages_;

  std::vector<SubjectReport> subjects_;
};

}  // namespace ppi::analysis
