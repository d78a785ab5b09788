#include "model/autosave.h"

#include "common/filelayer.h"
#include "host/hostapi.h"
#include "formats/listfile.h"

namespace ppi::model {
namespace {

void reportFailure(const FileResult& result, Report& report) {
  host::logLine("Plugin> Could not write %s: it does not hold the current subject list.",
                kAutosaveFileName);
  report.warning(kAutosaveFileName,
                 "does not hold the current subject list (" + result.reason() +
                     "): crash recovery is off until the list is written to it again.",
                 "Make the working folder writable or free some disk space; the next AddSubject, "
                 "Load or Clear writes the whole list again.");
}

}  // namespace

bool AutosaveList::mirror(const SubjectList& list, Report& report) {
  const std::string lines = list.listText();
  if (!owned_ && lines.empty()) return true;
  owned_ = true;
  const FileResult written = replaceFile(kAutosaveFileName, lines, TextMode::text);
  inStep_ = written.ok();
  if (!inStep_) {
    reportFailure(written, report);
  } else if (failed_) {
    report.note(kAutosaveFileName, "holds the current subject list again: crash recovery is on.");
  }
  failed_ = !inStep_;
  return inStep_;
}

void AutosaveList::subjectAdded(const SubjectList& list, Report& report) {
  if (list.empty()) return;
  if (!owned_ || !inStep_) {
    mirror(list, report);
    return;
  }
  const Subject& added = list.back();
  const std::string line =
      formatListLine(added.timeCourse.vtcPath.view(), added.region.voiPath.view(),
                     added.region.chosenVOI, added.motionPath.view());
  // A failed append may leave a fragment at the file's end: the list is then
  // written whole, now or at the next change.
  if (!appendToFile(kAutosaveFileName, line, TextMode::text).ok()) mirror(list, report);
}

bool AutosaveList::recoveredText(std::string& text) const {
  text.clear();
  return readFileBytes(kAutosaveFileName, text).ok() || !pathExists(kAutosaveFileName);
}

}  // namespace ppi::model
