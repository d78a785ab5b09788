#include "commands/handlers.h"

#include <string>
#include <vector>

#include "commands/choosesubject.h"
#include "commands/conditioncheck.h"
#include "formats/listfile.h"
#include "host/hostapi.h"

namespace ppi::commands {
namespace {

using host::HostFunction;

// The refused lines the report names one by one; the log names every one.
constexpr std::size_t kListedRefusals = 25;

// The report's share of a long list's refusals: the first ones in full, then
// one line that counts the others.
class Refusals {
 public:
  explicit Refusals(Report& report) : report_(report) {}

  void add(int lineNumber, std::string where, std::string what, std::string todo) {
    if (++count_ <= kListedRefusals) {
      report_.error(std::move(where), std::move(what), std::move(todo));
    } else if (firstUnlisted_ == 0) {
      firstUnlisted_ = lineNumber;
    }
  }

  // The line that counts the refusals past the listed ones, if any.
  void finish(const std::string& listName) {
    if (count_ <= kListedRefusals) return;
    report_.error(listName,
                  counted(count_ - kListedRefusals, "more line") + " refused, from line " +
                      std::to_string(firstUnlisted_) + " on; the log gives each one's reason.",
                  "Correct the lines listed above first: the others often share their cause.");
  }

  std::size_t count() const { return count_; }

 private:
  Report& report_;
  std::size_t count_ = 0;
  int firstUnlisted_ = 0;
};

}  // namespace

Outcome handleLoad(model::PluginState& state, const char* command) {
  if (Outcome offered = host::requireHostFunctions(
          {HostFunction::nkLogText, HostFunction::nkGetOpenFileName,
           HostFunction::nkLinkVTCToCurrentVMR, HostFunction::nkGetHeaderOfVTCOfCurrentVMR,
           HostFunction::nkLoadProtocol, HostFunction::nkGetProtocol,
           HostFunction::nkGetProtocolCondition, HostFunction::nkSetIntParameter,
           HostFunction::nkGetStringParameter, HostFunction::nkSetStringParameter,
           HostFunction::nkLoadVOIs, HostFunction::nkGetVOIs, HostFunction::nkGetVOI});
      !offered.ok()) {
    return offered;
  }
  host::logLine("Plugin> Received command: \"%s\".", command);
  // A cancelled "Load" leaves an empty list too.
  state.clearSubjects();

  std::string chosen;
  PathText listPath;
  if (!host::getOpenFileName("Select a PPI file ", ".", "*.ppi", chosen)) {
    const Failure cancelled = host::logFailure("Plugin> ", "No PPI file loaded. Please retry.");
    state.autosave.mirror(state.subjects, state.report);
    state.report.setSummary("Load: no list file chosen; the subject list is empty");
    return cancelled;
  }
  if (Outcome accepted = acceptPath(chosen, "PPI", listPath); !accepted.ok()) {
    state.autosave.mirror(state.subjects, state.report);
    state.report.setSummary("Load: list file refused; the subject list is empty");
    return accepted;
  }
  const std::string listName = fileNameOf(listPath.view());

  // The whole file is read before the autosave list is rewritten, which may
  // be the very file being loaded.
  std::string text;
  std::vector<model::ListFileLine> lines;
  if (model::readWholeFile(listPath.str(), text)) lines = model::readListFileText(text);
  if (lines.empty()) {
    host::logText("Unable to open the PPI file.");
    state.autosave.mirror(state.subjects, state.report);
    state.report.setSummary("Load: 0 subjects loaded from " + listName);
    state.report.error(listName, "cannot be opened or holds no subject line.",
                       "Choose a list file saved by the plug-in's Save.");
    return {};
  }

  std::vector<std::string> conditionNames;
  Refusals refusals(state.report);
  std::vector<int> acceptedLines;  // each subject's line in the file
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const model::ListFileLine& line = lines[i];
    const std::string where = listName + " line " + std::to_string(line.lineNumber);
    if (line.rejected()) {
      host::logLine("Plugin> Line %d of the PPI file rejected: it %s.", line.lineNumber,
                    line.problem.c_str());
      refusals.add(line.lineNumber, where, "rejected: it " + line.problem + ".",
                   "Write the line as <time course> TAB <region file> TAB <region index>.");
      continue;
    }
    int chosenVOI = *line.chosenVOI;
    host::logLine("\tSubject \t%i\n\t%s\n\t%s\n\t%i", static_cast<int>(i), line.vtcPath.c_str(),
                  line.voiPath.c_str(), chosenVOI);
    const std::size_t same = state.subjects.findTimeCourse(line.vtcPath);
    if (same < state.subjects.size()) {
      const int sameLine = acceptedLines[same];
      host::logLine("Plugin> Line %d of the PPI file rejected: it lists the time course of line %d "
                    "again.",
                    line.lineNumber, sameLine);
      refusals.add(line.lineNumber, where + " (" + line.vtcPath + ")",
                   "rejected: line " + std::to_string(sameLine) +
                       " lists the same time course; each may be listed once.",
                   "Remove one of the two lines, or correct the path.");
      continue;
    }
    PathText vtcPath, voiPath, motionPath;
    model::SubjectRecord timeCourse;
    Outcome paths = acceptPath(line.vtcPath, "VTC", vtcPath);
    if (paths.ok()) paths = acceptPath(line.voiPath, "VOI", voiPath);
    if (paths.ok() && !line.motionPath.empty()) {
      paths = acceptPath(line.motionPath, "motion-estimates", motionPath);
    }
    if (!paths.ok()) {
      refusals.add(line.lineNumber, where, paths.reason(), "Shorten the path.");
      continue;
    }
    if (Outcome chosen = chooseTimeCourseAndProtocol(state.saveWeights, true, vtcPath, timeCourse);
        !chosen.ok()) {
      refusals.add(line.lineNumber, where + " (" + line.vtcPath + ")", chosen.reason(),
                   "Check that the time course exists and has a protocol, or correct the "
                   "line.");
      continue;
    }
    std::string todo;
    if (Outcome completed = completeSubject(state, true, timeCourse, voiPath, chosenVOI, todo);
        !completed.ok()) {
      refusals.add(line.lineNumber,
                   where + " (" + line.voiPath + ", region " + std::to_string(chosenVOI) + ")",
                   completed.reason(), todo);
      continue;
    }
    // The line's motion-estimates file stays with the subject: a run merges
    // it without asking.
    state.subjects.keepMotionPath(state.subjects.size() - 1, motionPath);
    acceptedLines.push_back(line.lineNumber);
    noteConditionNamesDiffer(state, state.subjects.size() - 1);
    // The first subject's, as read while its protocol was the host's current
    // one: the dialog shows the first protocol's conditions, as after
    // "AddSubject".
    if (!state.saveWeights && state.subjects.size() == 1) {
      conditionNames = state.subjects.back().timeCourse.conditionNames;
    }
  }
  refusals.finish(listName);
  state.autosave.mirror(state.subjects, state.report);

  // The GUI's conditions are the first accepted subject's; with none accepted
  // they stay as they were.
  if (state.subjectCount() > 0) {
    host::setIntParameter("NrOfConditions",
                          state.subjects[0].timeCourse.protocol.nrOfConditions());
    host::setIntParameter("saveWeights", state.saveWeights ? 1 : 0);
    if (!state.saveWeights) publishConditionNames(conditionNames);
  }
  state.report.setSummary("Load: " + std::to_string(state.subjects.size()) + " of " +
                          counted(lines.size(), "subject") + " loaded from " + listName);
  return {};
}

}  // namespace ppi::commands
