// The design checks' findings in the log and the command's report, placed at
// the subject, its protocol or its region; and the decision whether the run
// may go on.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/outcome.h"
#include "common/report.h"
#include "design/designcheck.h"
#include "design/motionmodel.h"
#include "design/runsettings.h"
#include "model/subject.h"
#include "numerics/deconvolution.h"
#include "numerics/motionmeasures.h"

namespace ppi::analysis {

// "subject 2 (s02.vtc)".
std::string subjectWhere(std::size_t number, const model::SubjectRecord& subject);

// Before any predictor is added: fails, after one log line naming the
// condition and the protocol and an error in `report` saying what to rename,
// when a predictor name would collide.
Outcome checkPredictorNames(const DesignPlan& plan, const model::SubjectRecord& subject,
                            std::size_t number, Report& report);

// Where the design checks place a subject's findings.
CheckPlace checkPlace(std::size_t number, const model::SubjectRecord& subject);

// Adds `findings` from index `from` on to the report; each error also gets a
// log line ("Plugin> Error: <where>: <what>").
void reportFindings(const std::vector<Finding>& findings, std::size_t from, Report& report);

// The first subject's design, which every later one is held to.
struct GroupDesign {
  bool known = false;
  PredictorNames predictors;
  std::string firstWhere;
  // The first subject's seed region, when a label names every subject's.
  bool seedKnown = false;
  std::string seedName;
  std::string seedFile;
};

// After the subject's design is assembled, before it is saved: the first
// subject's design becomes the group's. A later subject's design that differs
// stops the run in multi-study mode (fails, after one log line naming the
// subject and the first predictor that differs, and an error); otherwise it is
// a warning in the log and the report, and the run goes on.
Outcome checkGroupDesign(const PredictorNames& predictors, bool multiStudy,
                         const model::SubjectRecord& subject, std::size_t number,
                         GroupDesign& group, Report& report);

// With a label, every subject's predictors are named after the label, not the
// region: the seed must be one region for the group all the same. The first
// subject's region (name and file) becomes the group's; a later subject whose
// region has another name gets a "seed-differs" finding in `findings`, an
// error in multi-study mode (its design is not saved), else a warning.
void checkGroupSeed(const std::string& regionName, const std::string& regionFile, bool multiStudy,
                    const model::SubjectRecord& subject, std::size_t number, GroupDesign& group,
                    std::vector<Finding>& findings);

// The subject's head motion, once merged: a share of censored volumes above
// the model's limit ("motion-censored") and a mean framewise displacement
// above its limit ("motion-mean-fd") are warnings, with a log line each.
void reportMotion(const numerics::MotionSummary& motion, const confounds::MotionModel& model,
                  const model::SubjectRecord& subject, std::size_t number, Report& report);

// A deconvolution at the neural level that could not separate the region
// signal from noise (separationWarning decides and words it): a warning
// ("deconvolution-noise") and a warning line in the log.
void reportDeconvolution(const DeconvolutionSummary& deconvolution,
                         const model::SubjectRecord& subject, std::size_t number, Report& report);

// Voxels of the region outside the time course's grid (the log has its line).
void reportVoxelsOutside(int outside, int total, const std::string& voiName,
                         const model::SubjectRecord& subject, std::size_t number, Report& report);

}  // namespace ppi::analysis
