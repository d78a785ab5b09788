#include "run/checkreport.h"

#include <string>
#include <vector>

#include "common/paths.h"
#include "host/hostapi.h"

namespace ppi::analysis {
namespace {

std::string protocolOf(const model::SubjectRecord& subject) {
  return subject.protocolPath.empty() ? "the protocol linked to " + subject.timeCoursePath()
                                      : "the PRT file " + subject.protocolPath.str();
}

// The protocol in a report's "where": its file name, or whose it is.
std::string protocolWhere(const model::SubjectRecord& subject) {
  return subject.protocolPath.empty() ? "the protocol of " + fileNameOf(subject.vtcPath.view())
                                      : fileNameOf(subject.protocolPath.view());
}

}  // namespace

std::string subjectWhere(std::size_t number, const model::SubjectRecord& subject) {
  return "subject " + std::to_string(number) + " (" + fileNameOf(subject.vtcPath.view()) + ")";
}

Outcome checkPredictorNames(const DesignPlan& plan, const model::SubjectRecord& subject,
                            std::size_t number, Report& report) {
  const NameCollision collision = findNameCollision(plan);
  if (!collision.collides()) return {};
  const std::string protocol = protocolOf(subject);
  const Failure failure = host::logFailure(
      "Plugin> ",
      "Subject %zu: the condition \"%s\" of %s gives the predictor \"%s\", the name of "
      "%s too. Prepare PPI Plugin aborted.",
      number, collision.condition.c_str(), protocol.c_str(), collision.name.c_str(),
      collision.other.c_str());
  report.add({Severity::error, subjectWhere(number, subject) + ", " + protocolWhere(subject),
              "the condition " + quoted(collision.condition) + " would give a predictor named " +
                  quoted(collision.name) + ", as " + collision.other +
                  " does; the host would write one into the other.",
              "Rename the condition " + quoted(collision.condition) +
                  " in the protocol (every condition needs a name of its own, other than "
                  "\"Constant\", \"<label>_predictor\" and the PPI names), then start again.",
              "name-collision"});
  return failure;
}

CheckPlace checkPlace(std::size_t number, const model::SubjectRecord& subject) {
  const std::string where = subjectWhere(number, subject);
  return {where, where + ", " + protocolWhere(subject)};
}

void reportFindings(const std::vector<Finding>& findings, std::size_t from, Report& report) {
  for (std::size_t i = from; i < findings.size(); ++i) {
    const Finding& finding = findings[i];
    if (finding.kind == Severity::error) {
      host::logLine("Plugin> Error: %s: %s", finding.where.c_str(), finding.what.c_str());
    }
    report.add(finding);
  }
}

Outcome checkGroupDesign(const PredictorNames& predictors, bool multiStudy,
                         const model::SubjectRecord& subject, std::size_t number,
                         GroupDesign& group, Report& report) {
  if (!group.known) {
    group.known = true;
    group.predictors = predictors;
    group.firstWhere = subjectWhere(number, subject);
    return {};
  }
  const DesignDifference difference = firstDesignDifference(group.predictors, predictors);
  if (!difference.differs) return {};
  const std::string vtc = subject.timeCoursePath();
  const std::string where = subjectWhere(number, subject);
  const std::string what = "its predictor " + std::to_string(difference.index + 1) + " is " +
                           quoted(difference.other) + " where " + group.firstWhere + " has " +
                           quoted(difference.first) + " (" + std::to_string(predictors.size()) +
                           " against " + std::to_string(group.predictors.size()) + " predictors)";
  const char* todo =
      "Give every subject's protocol the same conditions, with the same names and letter case, "
      "and weight them alike.";
  if (multiStudy) {
    const Failure failure = host::logFailure(
        "Plugin> ",
        "Subject %zu (%s): its design differs from the first subject's at predictor "
        "%zu, \"%s\" where the first has \"%s\". Prepare PPI Plugin aborted.",
        number, vtc.c_str(), difference.index + 1, difference.other.c_str(),
        difference.first.c_str());
    report.add({Severity::error, where, what + "; one multi-study file cannot hold both designs.",
                todo, "group-design"});
    return failure;
  }
  host::logLine(
      "Plugin> Warning: subject %zu (%s): its design differs from the first subject's at "
      "predictor %zu, \"%s\" where the first has \"%s\".",
      number, vtc.c_str(), difference.index + 1, difference.other.c_str(),
      difference.first.c_str());
  report.add({Severity::warning, where, what + ".", todo, "group-design"});
  return {};
}

void checkGroupSeed(const std::string& regionName, const std::string& regionFile, bool multiStudy,
                    const model::SubjectRecord& subject, std::size_t number, GroupDesign& group,
                    std::vector<Finding>& findings) {
  if (!group.seedKnown) {
    group.seedKnown = true;
    group.seedName = regionName;
    group.seedFile = regionFile;
    return;
  }
  if (regionName == group.seedName) return;
  findings.push_back(
      {multiStudy ? Severity::error : Severity::warning, subjectWhere(number, subject),
       "its seed region is " + quoted(regionName) + " (" + fileNameOf(regionFile) + ") where " +
           group.firstWhere + " has " + quoted(group.seedName) + " (" +
           fileNameOf(group.seedFile) +
           "); the label names both alike, so the group's PPI terms would mix two seeds.",
       "Choose the same region for every subject (the list's third field), then start again.",
       "seed-differs"});
}

void reportDeconvolution(const DeconvolutionSummary& deconvolution,
                         const model::SubjectRecord& subject, std::size_t number, Report& report) {
  const std::string warning = separationWarning(deconvolution);
  if (warning.empty()) return;
  host::logLine("Plugin> Warning: subject %zu (%s): %s.", number,
                subject.timeCoursePath().c_str(), warning.c_str());
  report.add({Severity::warning, subjectWhere(number, subject), warning + ".", "",
              "deconvolution-noise"});
}

void reportVoxelsOutside(int outside, int total, const std::string& voiName,
                         const model::SubjectRecord& subject, std::size_t number, Report& report) {
  if (outside <= 0) return;
  report.add({Severity::warning, subjectWhere(number, subject) + ", region " + quoted(voiName),
              std::to_string(outside) + " of its " + std::to_string(total) +
                  " voxels lie outside the time course's grid; the signal is the mean of the " +
                  std::to_string(total - outside) + " inside.",
              "Check that the region was drawn for this subject's time course.",
              "voxels-outside"});
}

void reportMotion(const numerics::MotionSummary& motion, const confounds::MotionModel& model,
                  const model::SubjectRecord& subject, std::size_t number, Report& report) {
  const std::string where = subjectWhere(number, subject);
  const std::size_t volumes = motion.displacement.size();
  const double share =
      volumes == 0 ? 0.0 : static_cast<double>(motion.censored.size()) / static_cast<double>(volumes);
  if (model.censorFD > 0 && share > model.maxCensoredShare) {
    char what[300];
    formatBounded(what, sizeof what,
                  "%zu of its %zu volumes (%.1f %%) have a framewise displacement above %g mm "
                  "and are censored, more than %.1f %%.",
                  motion.censored.size(), volumes, 100.0 * share, model.censorFD,
                  100.0 * model.maxCensoredShare);
    host::logLine("Plugin> Warning: %s: %s", where.c_str(), what);
    report.add({Severity::warning, where, what,
                "Consider excluding the subject: too few volumes are left to estimate its PPI "
                "term reliably.",
                "motion-censored"});
  }
  if (model.maxMeanFD > 0 && motion.meanFD > model.maxMeanFD) {
    char what[300];
    formatBounded(what, sizeof what,
                  "its mean framewise displacement is %.3f mm (maximum %.3f mm), above %g mm.",
                  motion.meanFD, motion.maxFD, model.maxMeanFD);
    host::logLine("Plugin> Warning: %s: %s", where.c_str(), what);
    report.add({Severity::warning, where, what,
                "Check the subject's motion correction; a group exclusion rule may apply.",
                "motion-mean-fd"});
  }
}

}  // namespace ppi::analysis
